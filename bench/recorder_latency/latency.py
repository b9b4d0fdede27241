#!/usr/bin/python3
"""Click latency of `stepreel` in our own window and in real applications.

Run on an X desktop (scripts/bench-latency starts a private 2880x1800 one). The recorder
runs with a parent that answers every permission request at once, and the pointer clicks
a harmless spot of one application again and again (alternating between two spots 120
pixels apart, so that no two clicks make a double click). Two times are taken per click,
both from the synthetic button press (XTEST, sent from this process):

- press to pixels: when the "before" frame's pixels were taken. An on-screen clock
  (screen_clock.py, top right corner) shows CLOCK_MONOTONIC; the value read back from the
  frame is the last redraw the screenshot saw. It trails the moment of the capture by the
  clock's drawing lag plus at most one redraw period, both printed at the end, so the
  figures are lower bounds by that much.
- press to "events" frame: when the record of the click arrived at the parent.

Also shown, without a target: press to the arrival of the "before" frame at the parent,
which splits the second figure into the screenshot's share and the rest.

Scenarios: our own GTK 3 form, Firefox ESR, Mousepad (GTK 3), GNOME Calculator (GTK 4),
FeatherPad (Qt 5), and clicks in our form and in FeatherPad while another application is
frozen by SIGSTOP. Every window sits away from the screen's origin.

Each scenario starts once every running application is idle (see `settle`): a freshly
started application's own start-up work is not the recorder's latency.

GTK 4 applications draw with GTK's cairo renderer here. Xvfb has no GPU, so GTK 4's default
GL renderer would run on Mesa's llvmpipe: a software GPU whose threads rasterise every frame
on the same two processors as the recorder, work that a desktop's GPU does. The press hold
takes the pointer from the clicked window for a moment, and GTK 4 redraws for that; on
llvmpipe those frames contend with the recorder's screenshot encoding for both processors
and decide the slowest clicks. --gtk4-gl keeps the GL renderer, to measure exactly that.

With --no-clock the clock is left out and only the times to frames are taken: the clock
redraws 2,000 times a second, and that load on the X server and the processors is part of
the figures taken with it.

    latency.py STEPREEL [--rounds N] [--only NAME ...] [--no-clock] [--gtk4-gl]
"""
import argparse
import ctypes
import io
import json
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "integration"))
from real_apps import (accessibles, find_element, launch, start_firefox, stop,  # noqa: E402
                       wait_until, window_of)
from stepreel_harness import RecorderRun, TestWindow, activate_window, xdotool  # noqa: E402
import screen_clock  # noqa: E402

PIXELS_TARGET = (10.0, 25.0)  # median, p99 in ms
EVENTS_TARGET = (20.0, 40.0)
CLOCK_ORIGIN_FROM_RIGHT = (screen_clock.WIDTH + 16, 16)

PAGE = """<!DOCTYPE html><html><head><title>Latency page</title></head>
<body style="margin:40px;font:16px sans-serif">
<p>A quiet page; the clicks land on the empty space below this line.</p></body></html>"""


class Pointer:
    """Button presses through XTEST from this process, so the clock starts at the press."""

    def __init__(self):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_int, ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            raise SystemExit("latency: cannot open the X display")

    def move(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.display, -1, x, y, 0)
        self.x11.XSync(self.display, 0)

    def click(self):
        """Presses and releases button 1; returns the monotonic time of the press in ns."""
        start = time.monotonic_ns()
        self.xtst.XTestFakeButtonEvent(self.display, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.display, 1, 0, 0)
        self.x11.XFlush(self.display)
        return start


def percentile(values, fraction):
    ordered = sorted(values)
    index = min(len(ordered) - 1, max(0, int(round(fraction * len(ordered) + 0.5)) - 1))
    return ordered[index]


def screen_size():
    screen = subprocess.run(["xdpyinfo"], capture_output=True, text=True).stdout
    size = next(line.split()[1] for line in screen.splitlines() if "dimensions:" in line)
    width, height = size.split("x")
    return int(width), int(height)


def window_origin(wid):
    shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(wid)],
                           capture_output=True, text=True, check=True).stdout
    values = dict(line.split("=", 1) for line in shell.split())
    return int(values["X"]), int(values["Y"])


def place(wid, at, size=None):
    if size:
        xdotool("windowsize", "--sync", wid, *size)
    xdotool("windowmove", "--sync", wid, *at)

    def placed():
        origin = window_origin(wid)
        return origin if origin[0] >= at[0] - 8 and origin[1] >= at[1] - 8 else None
    return wait_until(f"window {wid} away from the origin", placed)


class Application:
    """A running application with one window and a harmless spot to click in it: either a
    process group of its own (`group`) or a single process (`pid`)."""

    def __init__(self, wid, spot, close, group=None, pid=None):
        self.wid, self.spot, self.close, self.group, self.pid = wid, spot, close, group, pid

    def signal(self, sig):
        """Sends `sig` to the application's process group."""
        os.killpg(self.group, sig)

    def cpu_ticks(self):
        """Processor time used so far by the application's processes, in clock ticks."""
        total = 0
        for entry in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()  # from field 3 (1-based) on
            except OSError:
                continue  # ended meanwhile
            if (int(fields[2]) == self.group) if self.group else (int(entry) == self.pid):
                total += int(fields[11]) + int(fields[12])  # utime, stime: fields 14 and 15
        return total


QUIET_SHARE = 0.03  # of one processor, over one second
SETTLE_LIMIT_S = 60


def settle(apps):
    """Waits until `apps` together use at most QUIET_SHARE of a processor over one second.
    GNOME Calculator, for one, spends about 10 s after its start at 30-50 % of a processor.
    Returns the seconds waited, or None when they were not quiet within SETTLE_LIMIT_S."""
    tick = os.sysconf("SC_CLK_TCK")
    start = time.monotonic()
    used = sum(app.cpu_ticks() for app in apps)
    while time.monotonic() - start < SETTLE_LIMIT_S:
        time.sleep(1)
        now = sum(app.cpu_ticks() for app in apps)
        if (now - used) / tick <= QUIET_SHARE:
            return time.monotonic() - start
        used = now
    return None


def own_form():
    window = TestWindow("Latency form", "LatencyForm", (300, 300))
    return Application(window.wid, window.center("heading"), window.close, pid=window.proc.pid)


# Added to a GTK 4 application's environment (see the module's description); main() clears
# it for --gtk4-gl.
GTK4_ENVIRONMENT = {"GSK_RENDERER": "cairo"}


def real_application(argv, title, at, size, offset, ready=None, proc=None, environment=None):
    """Starts `argv` (unless `proc` is given) with `environment` added to ours, places its
    window named `title` at `at` and clicks at `offset` from the window's corner."""
    proc = proc or launch(argv, env={**os.environ, **(environment or {})})
    wid = window_of(title)
    origin = place(wid, at, size)
    if ready:
        wait_until(f"{title} on the accessibility bus", ready)
    return Application(wid, (origin[0] + offset[0], origin[1] + offset[1]), lambda: stop(proc),
                       proc.pid)  # launched in a session of its own


def firefox(workdir):
    page = os.path.join(workdir, "latency.html")
    with open(page, "w") as f:
        f.write(PAGE)
    proc = start_firefox(page, workdir)
    return real_application(None, "Latency page", (400, 250), (1200, 900), (600, 500),
                            lambda: accessibles("Firefox", "paragraph"), proc)


APPLICATIONS = {
    "own window": lambda workdir: own_form(),
    "firefox": firefox,
    "mousepad": lambda workdir: real_application(
        ["mousepad", "--disable-server"], "Mousepad", (1000, 950), (700, 500), (350, 260),
        lambda: accessibles("mousepad", "text")),
    "gnome-calculator": lambda workdir: real_application(  # its empty history pane
        ["gnome-calculator"], "Calculator", (300, 900), None, (182, 110),
        lambda: find_element("gnome-calculator", lambda n: "button" in n.get_role_name()),
        environment=GTK4_ENVIRONMENT),
    "featherpad": lambda workdir: real_application(  # its window is named after the document
        ["featherpad"], "^Untitled$", (1800, 300), (700, 500), (350, 230),
        lambda: accessibles("featherpad", "text")),
}

# (name, application clicked, application frozen by SIGSTOP meanwhile)
SCENARIOS = [
    ("own window", "own window", None),
    ("firefox", "firefox", None),
    ("mousepad", "mousepad", None),
    ("gnome-calculator", "gnome-calculator", None),
    ("featherpad", "featherpad", None),
    ("own window, mousepad frozen", "own window", "mousepad"),
    ("featherpad, firefox frozen", "featherpad", "firefox"),
]


class Sample:
    def __init__(self, press_ns, events_at, before, app):
        self.press_ns, self.events_at, self.before, self.app = press_ns, events_at, before, app

    def ms_to(self, arrival):
        return (int(arrival * 1e9) - self.press_ns) / 1e6


def click_rounds(stepreel, pointer, app, rounds):
    """Records `rounds` clicks (after one warm-up click) at `app`'s spot."""
    activate_window(app.wid)
    run = RecorderRun(stepreel=stepreel)
    samples = []
    try:
        run.wait_ready()
        x, y = app.spot
        for round_ in range(rounds + 1):
            pointer.move(x + (60 if round_ % 2 else -60), y)
            since = run.mark()
            press = pointer.click()

            def clicked(frames):
                for i in range(since, len(frames)):
                    f = frames[i]
                    if f.type == "events" and f.event["kind"] in ("click", "doubleclick"):
                        return i, f.event
                return None
            index, record = run.wait_for(clicked, "click record")
            # Let the result frame go by before the next click.
            run.wait_record("result", index, lambda r, s=record["seq"]: r["refSeq"] == s)
            before = next((f for f in run.frames[since:] if f.type == "frame" and
                           f.header["seq"] == record["seq"] and f.header["kind"] == "before"),
                          None)
            if round_ > 0:  # the first click warms caches (accessibility tree, shared memory)
                samples.append(Sample(press, run.frames[index].at, before,
                                      record.get("app", "?")))
        status = run.finish()
    finally:
        run.kill()
    if status != 0:
        raise SystemExit(f"latency: stepreel exited with status {status}")
    return samples


def press_to_pixels(samples, screen, clock_origin):
    """Milliseconds from each press to the clock reading in its "before" frame; the count
    of frames whose clock could not be read."""
    delays, unreadable = [], 0
    for sample in samples:
        if sample.before is None:
            unreadable += 1
            continue
        image = Image.open(io.BytesIO(sample.before.payload))
        value = screen_clock.decode(image, clock_origin, image.width / screen[0])
        if value is None:
            unreadable += 1
            continue
        shown = screen_clock.unwrap(value, sample.press_ns)
        delays.append((shown - sample.press_ns) / 1e6)
    return delays, unreadable


def figures(values):
    if not values:
        return None
    return statistics.median(values), percentile(values, 0.99)


def cell(pair, target):
    if pair is None:
        return f"{'-':>8} {'-':>8}  "
    flag = "" if pair[0] <= target[0] and pair[1] <= target[1] else " !"
    return f"{pair[0]:8.1f} {pair[1]:8.1f}{flag:2}"


def ratio(pair, reference):
    if not pair or not reference or reference[0] <= 0:
        return f"{'':6}    "
    return f"{pair[0] / reference[0]:6.2f}    "


def load_average():
    with open("/proc/loadavg") as f:
        return f.read().split()[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("stepreel")
    parser.add_argument("--rounds", type=int, default=40, help="clicks per scenario")
    parser.add_argument("--only", nargs="*", help="scenario names (default: all)")
    parser.add_argument("--no-clock", action="store_true",
                        help="no on-screen clock: times to frames only")
    parser.add_argument("--gtk4-gl", action="store_true",
                        help="GTK 4 applications draw with their GL renderer (software here)")
    args = parser.parse_args()
    if args.gtk4_gl:
        GTK4_ENVIRONMENT.clear()
    scenarios = [s for s in SCENARIOS if not args.only or s[0] in args.only]

    screen = screen_size()
    clock_origin = (screen[0] - CLOCK_ORIGIN_FROM_RIGHT[0], CLOCK_ORIGIN_FROM_RIGHT[1])
    clock = None if args.no_clock else subprocess.Popen(
        ["/usr/bin/python3", os.path.join(HERE, "screen_clock.py"), *map(str, clock_origin)],
        stdout=subprocess.PIPE, text=True)
    if clock and clock.stdout.readline().strip() != "ready":
        raise SystemExit("latency: the screen clock did not start")
    load_before = load_average()
    workdir = tempfile.TemporaryDirectory()
    apps = {}
    pointer = Pointer()
    results = []
    try:
        needed = {name for _, clicked, frozen in scenarios for name in (clicked, frozen) if name}
        for name in APPLICATIONS:
            if name in needed:
                apps[name] = APPLICATIONS[name](workdir.name)
        for label, clicked, frozen in scenarios:
            if frozen:
                apps[frozen].signal(signal.SIGSTOP)
            try:
                settled = settle(apps.values())
                samples = click_rounds(args.stepreel, pointer, apps[clicked], args.rounds)
            finally:
                if frozen:
                    apps[frozen].signal(signal.SIGCONT)
            pixels, unreadable = press_to_pixels(samples, screen, clock_origin) if clock \
                else (None, 0)
            events = [s.ms_to(s.events_at) for s in samples]
            frames = [s.ms_to(s.before.at) for s in samples if s.before]
            results.append((label, len(samples), unreadable, figures(pixels), figures(events),
                            figures(frames), sorted({s.app for s in samples}), settled))
    finally:
        for app in apps.values():
            app.close()
        clock_report = {}
        if clock:
            clock.terminate()
            clock_report = json.loads(clock.communicate(timeout=30)[0] or "{}")
        workdir.cleanup()

    print(f"click latency on a {screen[0]}x{screen[1]} screen, ms from the button press "
          f"(! = over target; x = median over our own window's in this run; "
          f"[the application the records name]):")
    print(f"  {'scenario':30} {'N':>4}   {'press to pixels':^25}    "
          f"{'press to events frame':^25}    {'to before frame':^17}")
    print(f"  {'':30} {'':>4}   " + f"{'median':>8} {'p99':>8}  {'x':>6}    " * 2
          + f"{'median':>8} {'p99':>8}")
    reference = next((r for r in results if r[0] == "own window"), None)
    ok = True
    for label, count, unreadable, pixels, events, frames, recorded, settled in results:
        note = f"  [{', '.join(recorded)}]"
        note += f" idle after {settled:.0f} s" if settled is not None else \
            f" NOT IDLE within {SETTLE_LIMIT_S} s"
        note += f" ({unreadable} clock readings failed)" if unreadable else ""
        print(f"  {label:30} {count:4}   {cell(pixels, PIXELS_TARGET)}"
              f"{ratio(pixels, reference and reference[3])}"
              f"{cell(events, EVENTS_TARGET)}{ratio(events, reference and reference[4])}"
              f"{cell(frames, (float('inf'), float('inf')))}{note}")
        for pair, target in ((pixels, PIXELS_TARGET), (events, EVENTS_TARGET)):
            if clock or pair is events:
                ok = ok and pair is not None and pair[0] <= target[0] and pair[1] <= target[1]
    print(f"  targets: pixels median <= {PIXELS_TARGET[0]:g}, p99 <= {PIXELS_TARGET[1]:g}; "
          f"events median <= {EVENTS_TARGET[0]:g}, p99 <= {EVENTS_TARGET[1]:g}")
    print(f"  GTK 4 renderer: {GTK4_ENVIRONMENT.get('GSK_RENDERER', 'GL (llvmpipe)')}")
    if clock_report.get("draws"):
        period, lag = clock_report["period_ms"], clock_report["lag_ms"]
        print(f"  screen clock: {clock_report['draws']} redraws, period median "
              f"{period['median']:.2f} p99 {period['p99']:.2f} ms, drawing lag median "
              f"{lag['median']:.2f} p99 {lag['p99']:.2f} ms (the tails include stalls "
              f"while the X server serves screenshots); a pixels figure trails the capture "
              f"by about one lag plus at most one period")
    print(f"  load average (1 min) {load_before} before, {load_average()} after, on "
          f"{os.cpu_count()} processors")
    print("latency:", "within targets" if ok else "OVER TARGET")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
