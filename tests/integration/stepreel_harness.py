"""Drives the real `stepreel` and `quillmap-helper` on an X desktop and checks every byte they
write: a `RecorderRun` parses the recorder's frames as they come and answers its requests."""
import contextlib
import fcntl
import json
import os
import pathlib
import select
import signal
import subprocess
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
STEPREEL = os.environ.get("STEPREEL", "stepreel")
STEPREEL_PARENT = os.environ.get("STEPREEL_PARENT", "stepreel-parent")
HELPER = os.environ.get("QUILLMAP_HELPER", "quillmap-helper")
# Every deadline of the suite is multiplied by STEPREEL_TEST_TIME_SCALE (default 1), set once
# for a slow or busy machine; waits end as soon as their condition holds, whatever the scale.
TIME_SCALE = float(os.environ.get("STEPREEL_TEST_TIME_SCALE") or "1")
WAIT = float(os.environ.get("STEPREEL_TEST_TIMEOUT", "60")) * TIME_SCALE


def scaled(seconds):
    """A deadline of `seconds` on this machine."""
    return seconds * TIME_SCALE


BANNER_START = "✓ トレース記録を開始しました → クラウド画像送信\n"
PAUSED = "⏸ 一時停止\n"
RESUMED = "▶︎ 再開\n"
FINISHED = "\n■ 記録を終了しました → クラウド画像送信\n"
DISPLAY_LOST = "✗ ディスプレイとの接続が切れたため、記録を終了しました。\n"

SESSION, RECORD = {"type", "sessionId"}, {"type", "sessionId", "event"}
FRAME_MEMBERS = {"permit": {"type"}, "events": RECORD, "focus": RECORD, "loss": SESSION,
                 "finish": SESSION,
                 "frame": SESSION | {"seq", "kind", "width", "height", "cursor", "targetBounds"}}


class StreamFault(AssertionError):
    pass


class Frame:
    def __init__(self, offset, header, payload):
        self.offset, self.header, self.payload = offset, header, payload
        self.at = time.monotonic()  # when the frame was complete
        self.type, self.event = header["type"], header.get("event")

    def __repr__(self):
        header = json.dumps(self.header, ensure_ascii=False)
        return f"<{self.offset}: {header} +{len(self.payload)}B>"


def _reject_constant(name):
    raise ValueError(f"non-standard JSON constant {name}")


def check_frame(header, payload):
    """What is wrong with a frame's layout, or None."""
    kind = header.get("type")
    if kind not in FRAME_MEMBERS:
        return f"unknown frame type {kind!r}"
    if set(header) != FRAME_MEMBERS[kind]:
        return f"{kind} frame has members {sorted(header)}"
    if kind != "frame" and payload:
        return f"{kind} frame carries a payload"
    if kind == "frame":
        if not (payload[:2] == b"\xff\xd8" and payload[-2:] == b"\xff\xd9"):
            return "screenshot payload is not a JPEG file"
        if header["targetBounds"] is not None or len(header["cursor"]) != 2:
            return f"bad screenshot header {header}"
    if kind in ("events", "focus"):
        event = header["event"]
        if "null" in json.dumps(event):
            return "record contains null"
        schema = "quillmap.trace.v0" if kind == "events" else "quillmap.focus.v0"
        if event.get("schema") != schema or event.get("episodeId") != header["sessionId"]:
            return f"record schema or episode wrong: {event}"
    return None


def parse_stream(data, base=0):
    """Parses bytes that start at stream offset `base` on a frame boundary; returns the
    complete frames and the count of bytes left over after the last of them."""
    frames, pos = [], 0
    while len(data) - pos >= 8:
        hlen = int.from_bytes(data[pos:pos + 4], "big")
        plen = int.from_bytes(data[pos + 4:pos + 8], "big")
        if len(data) - pos < 8 + hlen + plen:
            break
        text, fault = bytes(data[pos + 8:pos + 8 + hlen]), None
        payload = bytes(data[pos + 8 + hlen:pos + 8 + hlen + plen])
        if not text.startswith(b"{") or not text.endswith(b"}"):
            fault = "header is not one compact JSON object"
        else:
            try:
                header = json.loads(text.decode("utf-8"), parse_constant=_reject_constant)
                fault = check_frame(header, payload)
            except (UnicodeDecodeError, ValueError) as error:
                fault = f"header is not JSON: {error}"
        if fault:
            raise StreamFault(f"byte offset {base + pos}: {fault}")
        frames.append(Frame(base + pos, header, payload))
        pos += 8 + hlen + plen
    return frames, len(data) - pos


class RecorderRun:
    """One `stepreel` process with its three standard streams under test control. Request n
    is denied when deny(n), left unanswered when hold(n), else granted, `delay` seconds after
    it came; `popen` goes to subprocess.Popen (cwd, preexec_fn)."""

    def __init__(self, *args, stream=True, deny=None, hold=None, delay=0, env=None,
                 stepreel=None, **popen):
        self.deny, self.hold = deny or (lambda n: False), hold or (lambda n: False)
        self.raw, self.stderr, self.frames = bytearray(), bytearray(), []
        self.permits, self.fault, self._parsed, self.delay = 0, None, 0, delay
        self.cond = threading.Condition()
        argv = [stepreel or STEPREEL] + (["--stream"] if stream else []) + list(args)
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, bufsize=0, env=env, **popen)
        self._stop_reading, self._stop = os.pipe()
        self._threads = [threading.Thread(target=self._read_stdout, daemon=True),
                         threading.Thread(target=self._read_stderr, daemon=True)]
        for thread in self._threads:
            thread.start()

    def _read_stdout(self):
        fd = self.proc.stdout.fileno()
        while True:
            if fd not in select.select([fd, self._stop_reading], [], [])[0]:
                self.proc.stdout.close()  # told to stop: the parent closes its read end
                break
            chunk = os.read(fd, 1 << 16)
            if not chunk:
                break
            with self.cond:
                self.raw += chunk
                frames, leftover = [], len(self.raw) - self._parsed
                if not self.fault:
                    try:
                        frames, leftover = parse_stream(self.raw[self._parsed:], self._parsed)
                    except StreamFault as fault:
                        self.fault = fault
                    self._parsed = len(self.raw) - leftover
                for frame in frames:
                    if frame.type == "permit":
                        self.permits += 1
                        if not self.hold(self.permits):
                            self._answer(not self.deny(self.permits), self.delay)
                self.frames.extend(frames)
                self.cond.notify_all()
        with self.cond:
            self.cond.notify_all()

    def _answer(self, grant, delay=0):
        if delay > 0:  # the recorder asks again only once answered, so answers keep their order
            threading.Timer(delay, self._answer, (grant,)).start()
            return
        with contextlib.suppress(BrokenPipeError, ValueError):
            self.proc.stdin.write(b"\x01" if grant else b"\x00")

    def _read_stderr(self):
        while chunk := os.read(self.proc.stderr.fileno(), 4096):
            with self.cond:
                self.stderr += chunk
                self.cond.notify_all()

    def wait_for(self, predicate, what, timeout=WAIT):
        """Waits until predicate(frames) is truthy and returns its value."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                if self.fault:
                    raise self.fault
                if result := predicate(self.frames):
                    return result
                remaining = deadline - time.monotonic()
                ended = self.proc.poll() is not None and not self._threads[0].is_alive()
                if remaining <= 0 or ended:
                    notable = [f for f in self.frames if f.type != "permit"]
                    raise AssertionError(f"no {what} after {timeout:.0f} s; frames: "
                                         f"{notable[-16:]}; stderr: {self.stderr_text()!r}")
                self.cond.wait(min(remaining, 0.5))

    def wait_stderr(self, text):
        return self.wait_for(lambda _: text in self.stderr_text(), f"{text!r} on standard error")

    def wait_ready(self):
        self.wait_stderr(BANNER_START)

    def records(self, kind=None, since=0, frame_type="events"):
        return [f.event for f in self.frames[since:]  # a slice is a copy, taken at once
                if f.type == frame_type and kind in (None, f.event.get("kind"))]

    def wait_record(self, kind, since=0, where=lambda r: True):
        """Waits for an "events" record of `kind` among frames[since:]; returns (index, record)."""
        def find(frames):
            return next(((i, f.event) for i, f in enumerate(frames) if i >= since and
                         f.type == "events" and f.event["kind"] == kind and where(f.event)), None)
        return self.wait_for(find, f'"{kind}" record')

    def wait_focus_polls(self, count=2):
        """Idle, each permission request is a focus poll: `count` of them see the front window."""
        since = self.mark()
        self.wait_for(lambda frames: sum(f.type == "permit" for f in frames[since:]) >= count,
                      f"{count} focus polls")

    def wait_settled(self, clicks, then=()):
        """Waits for `clicks` clicks, the last one's result and a record of each kind in `then`."""
        def settled(frames):
            recs = [f.event for f in frames if f.type == "events"]
            seqs = [r["seq"] for r in recs if r["kind"] == "click"]
            return len(seqs) >= clicks and all(any(r["kind"] == k for r in recs) for k in then) \
                and any(r["kind"] == "result" and r["refSeq"] == seqs[-1] for r in recs)
        self.wait_for(settled, f"{clicks} clicks and the last one's result")

    def end(self):
        """Ends the recording with Ctrl+C, checks the whole stream and returns its records."""
        assert self.finish() == 0, self.stderr_text()
        check_episode_invariants(self.frames)
        return self.records()

    def mark(self):
        return len(self.frames)

    def stderr_text(self):
        return bytes(self.stderr).decode("utf-8", "replace")

    def close_pipes(self):
        """The parent goes away: it stops reading the recorder's output and closes both pipes."""
        os.write(self._stop, b"x")
        self._threads[0].join(WAIT)
        self.proc.stdin.close()

    def finish(self, sig=signal.SIGINT, timeout=WAIT, text_after_frames=False):
        """Sends `sig` if still running, waits for the exit and the end of both streams. Unless
        the output may end in text (a one-shot answer), a partial frame at the end is a fault."""
        if self.proc.poll() is None and sig is not None:
            self.proc.send_signal(sig)
        try:
            status = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise
        for thread in self._threads:
            thread.join(timeout)
        if self.fault:
            raise self.fault
        if len(self.raw) > self._parsed and not text_after_frames:
            raise StreamFault(f"byte offset {self._parsed}: stream ends inside a frame")
        return status

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if self._stop is not None:
            os.write(self._stop, b"x")  # ends the reader if the recorder's end did not
            for thread in self._threads:
                thread.join(WAIT)
            os.close(self._stop_reading)
            os.close(self._stop)
            self._stop = None
        for stream in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            stream.close()


def later(owner, function, *args):
    """Calls function(*args) once test `owner`, or test class `owner`, is done."""
    (owner.addClassCleanup if isinstance(owner, type) else owner.addCleanup)(function, *args)


def scratch(owner):
    """A temporary folder, removed once `owner` is done."""
    folder = tempfile.TemporaryDirectory()
    later(owner, folder.cleanup)
    return folder.name


@contextlib.contextmanager
def root_property(name, value=None):
    """Meanwhile the root window's text property `name` is `value`, or absent for None."""
    shown = subprocess.run(["xprop", "-root", name], capture_output=True, text=True).stdout
    before = shown[shown.index('"') + 1:shown.rindex('"')] if '"' in shown else None

    def put(text):
        change = ["-remove", name] if text is None else ["-f", name, "8s", "-set", name, text]
        subprocess.run(["xprop", "-root", *change], check=True)
    put(value)
    try:
        yield
    finally:
        put(before)


def recording(test, *args, **options):
    """A recorder that has printed its banner, killed when `test` ends."""
    run = RecorderRun(*args, **options)
    test.addCleanup(run.kill)
    run.wait_ready()
    return run


def start_x_server(test):
    """A bare Xvfb of `test`'s own, to take away under a running recorder: returns its process
    and display. Starts are serialised with scripts/with-virtual-desktop's."""
    with open(os.path.join(os.environ.get("TMPDIR", "/tmp"), ".with-virtual-desktop.lock"),
              "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        ready, announce = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(announce), "-screen", "0",
                                   "800x600x24", "-nolisten", "tcp", "-noreset"],
                                  pass_fds=(announce,), stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        test.addCleanup(lambda: (server.kill(), server.wait()))
        os.close(announce)
        with os.fdopen(ready) as numbers:
            number = numbers.readline().strip()  # written once it accepts clients
    test.assertTrue(number.isdigit(), "Xvfb did not start")
    return server, f":{number}"


def desktop_process(name):
    """The id of a process of this test's desktop (scripts/with-virtual-desktop marks them all)
    whose command line contains `name`, or None."""
    mark = f"STEPREEL_DESKTOP_MARK={os.environ['STEPREEL_DESKTOP_MARK']}".encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError):
            with open(f"/proc/{pid}/environ", "rb") as environ, \
                    open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                if mark in environ.read().split(b"\0") and name.encode() in cmdline.read():
                    return int(pid)
    return None


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    pathlib.Path(path).write_bytes(data if isinstance(data, bytes) else data.encode())


def files_under(folder):
    """The contents of every file below `folder`, by relative path."""
    paths = [os.path.join(root, name) for root, _, names in os.walk(folder) for name in names]
    return {os.path.relpath(path, folder): pathlib.Path(path).read_bytes() for path in paths}


def check_episode_invariants(frames):
    """Order rules a parent relies on, over a whole stream; returns the session id."""
    session, expected_seq, screenshots, operations, previous = None, 0, {}, {}, None
    for i, f in enumerate(frames):
        if "sessionId" in f.header:
            session = session or f.header["sessionId"]
            assert f.header["sessionId"] == session, f"two sessions in one stream at {f}"
        if f.type == "frame":
            screenshots[f.header["seq"]] = f.header["kind"]
        elif f.type == "events":
            r = f.event
            assert r["seq"] == expected_seq, f"seq {r['seq']} where {expected_seq} was due: {f}"
            expected_seq += 1
            # Times never go back, and each gap is the difference of consecutive timestamps.
            gap = 0 if previous is None else r["timestampMs"] - previous
            assert gap >= 0 and r["dtMsFromPrev"] == gap, f"dtMsFromPrev is not {gap}: {r}"
            previous = r["timestampMs"]
            if "screenshotFull" in r:
                assert r["screenshotFull"] == f"frames/{r['seq']}-full.jpg", r
                want = "after" if r["kind"] == "result" else "before"
                assert screenshots.get(r["seq"]) == want, f"record {r} without its {want} frame"
            if r["kind"] == "result":
                assert operations.get(r["refSeq"]) in ("click", "doubleclick", "paste"), r
            operations[r["seq"]] = r["kind"]
        elif f.type == "finish":
            assert i == len(frames) - 1, "frames after finish"
    return session


class TestWindow:
    """A window of test_window.py in its own process; `options` become its flags (url="…" is
    --url …, text=[…] is --text …, palette=True is --palette)."""

    def __init__(self, title, app="QuillTestWindow", at=None, **options):
        argv = ["/usr/bin/python3", os.path.join(HERE, "test_window.py"), "--title", title,
                "--app", app] + (["--at", f"{at[0]},{at[1]}"] if at else [])
        for name, value in options.items():
            argv += [f"--{name}"] + ([] if value is True else value if isinstance(value, list)
                                     else [value])
        self.proc = subprocess.Popen(argv, stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line:
            raise RuntimeError(f"test window {title!r} did not start")
        self.layout = json.loads(line)
        self.wid = self.layout["window"]

    def center(self, widget):
        x, y, w, h = self.layout["widgets"][widget]
        return x + w // 2, y + h // 2

    def close(self):
        self.proc.terminate()
        self.proc.wait(WAIT)
        self.proc.stdout.close()


def opened(test, *args, **options):
    """A test window, closed after `test`, activated unless a palette keeps the focus."""
    window = TestWindow(*args, **options)
    test.addCleanup(window.close)
    if not options.get("palette"):
        activate(window)
    return window


def run_helper(*args, stdin=b"", env=None):
    return subprocess.run([HELPER, *args], input=stdin, capture_output=True, env=env, timeout=WAIT)


def helper_json(*args, stdin=b"", env=None):
    """The helper's one JSON document; it must succeed silently with exactly one line."""
    done = run_helper(*args, stdin=stdin, env=env)
    assert (done.returncode, done.stderr) == (0, b""), (args, done.returncode, done.stderr)
    assert done.stdout.endswith(b"\n") and done.stdout.count(b"\n") == 1, done.stdout
    return json.loads(done.stdout)


def xdotool(*args):
    args = [str(a) for a in args]
    # `mousemove --sync` to where the pointer already is waits 15 s for a motion that never
    # comes: there is nothing to wait for.
    if args[:2] == ["mousemove", "--sync"] and pointer() == tuple(int(float(a)) for a in args[2:4]):
        del args[:4]  # the move alone: whatever is chained after it still runs
        if not args:
            return
    subprocess.run(["xdotool", *args], check=True)


def pointer():
    shown = subprocess.run(["xdotool", "getmouselocation"], capture_output=True, text=True)
    fields = dict(f.split(":", 1) for f in shown.stdout.split() if ":" in f)
    return int(fields.get("x", -1)), int(fields.get("y", -1))


def root_size():
    output = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True)
    return tuple(map(int, output.stdout.split()))


def click_at(point, button=1, repeat=1):
    xdotool("mousemove", "--sync", *point)
    xdotool("click", *(["--repeat", repeat, "--delay", 60] if repeat > 1 else []), button)
    return point


def click(window, widget, button=1, repeat=1):
    return click_at(window.center(widget), button, repeat)


def type_text(text):
    xdotool("type", "--delay", 40, text)


def key(*combos):
    xdotool("key", "--delay", 40, *combos)


def wait_until(what, probe, timeout=WAIT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if found := probe():
            return found
        time.sleep(0.2)
    raise AssertionError(f"{what} did not happen within {timeout:.0f} s")


def activate_window(wid):
    """Gives window `wid` the focus and waits until the window manager reports it active.
    xdotool's --sync returns at once while no window is active, and a request sent before
    the manager has taken the window over is dropped: so ask again until it is."""
    def active():
        subprocess.run(["xdotool", "windowactivate", str(wid)], capture_output=True)
        time.sleep(0.05)
        shown = subprocess.run(["xdotool", "getactivewindow"], capture_output=True, text=True)
        return shown.stdout.strip() == str(wid)
    wait_until(f"window {wid} active", active, scaled(20))


def activate(window):
    activate_window(window.wid)
