#!/usr/bin/python3
"""Click-to-record latency of `stepreel`, seen by its parent.

Run on an X desktop (scripts/bench-latency starts a private 2880x1800 one). A small GTK
form is shown, the recorder runs with a parent that answers every permission request at
once, and the pointer clicks the form's heading again and again. Each sample is the time
from the synthetic button press (XTEST, sent from this process) to the arrival of the
"events" frame that records the click; two permission requests are answered in between.

    latency.py STEPREEL [--rounds N]
"""
import argparse
import ctypes
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "integration"))
from stepreel_harness import RecorderRun, TestWindow, activate  # noqa: E402


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
        """Presses and releases button 1; returns the monotonic time of the press."""
        start = time.monotonic()
        self.xtst.XTestFakeButtonEvent(self.display, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.display, 1, 0, 0)
        self.x11.XFlush(self.display)
        return start


def percentile(values, fraction):
    ordered = sorted(values)
    index = min(len(ordered) - 1, max(0, int(round(fraction * len(ordered) + 0.5)) - 1))
    return ordered[index]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("stepreel")
    parser.add_argument("--rounds", type=int, default=60)
    args = parser.parse_args()

    window = TestWindow("Latency form", "LatencyForm", (60, 60))
    activate(window)
    pointer = Pointer()
    run = RecorderRun(stepreel=args.stepreel)
    try:
        run.wait_ready()
        x, y = window.center("heading")
        samples = []
        for round_ in range(args.rounds + 1):
            # Alternate between two spots so that no two clicks count as a double click.
            pointer.move(x + (60 if round_ % 2 else -60), y)
            since = run.mark()
            start = pointer.click()

            def clicked(frames):
                for i in range(since, len(frames)):
                    f = frames[i]
                    if f.type == "events" and f.event["kind"] in ("click", "doubleclick"):
                        return i, f.event
                return None
            index, record = run.wait_for(clicked, "click record")
            arrived = run.frames[index].at
            if round_ > 0:  # the first click warms caches (AT-SPI tree, shared memory)
                samples.append((arrived - start) * 1000.0)
            # Let the result frame go by before the next click.
            run.wait_record("result", index, lambda r, s=record["seq"]: r["refSeq"] == s)
        status = run.finish()
    finally:
        run.kill()
        window.close()
    if status != 0:
        raise SystemExit(f"latency: stepreel exited with status {status}")

    screen = subprocess.run(["xdpyinfo"], capture_output=True, text=True).stdout
    size = next((line.split()[1] for line in screen.splitlines() if "dimensions:" in line), "?")
    median = statistics.median(samples)
    p99 = percentile(samples, 0.99)
    print(f"click-to-record latency on a {size} screen, {len(samples)} clicks "
          f"(press to \"events\" frame, two permits answered):")
    print(f"  median {median:.1f} ms  (target <= 50)")
    print(f"  p90    {percentile(samples, 0.90):.1f} ms")
    print(f"  p99    {p99:.1f} ms  (target <= 150)")
    print(f"  min    {min(samples):.1f} ms, max {max(samples):.1f} ms")
    ok = median <= 50 and p99 <= 150
    print("latency:", "within targets" if ok else "OVER TARGET")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
