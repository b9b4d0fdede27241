#!/usr/bin/python3
"""An on-screen clock that screenshots can be timed by.

    screen_clock.py X Y

Keeps a small override-redirect strip on top of the desktop at root position (X, Y) and
redraws it every half millisecond of CLOCK_MONOTONIC. The time, in
units of 100 µs modulo 2^24, is drawn as BITS black (1) or white (0) cells, most
significant bit first, and below them the same bits inverted, so that a reader can tell
a clean reading from a damaged one. Each redraw is one CopyArea from a pixmap, which the
X server carries out in one piece: a screenshot never sees half of two readings.

Prints "ready" once the strip is mapped. On SIGTERM it prints one JSON line with its own
timing and exits: the period between redraws and the drawing lag (from reading the clock
to the X server's answer after the copy, sampled every SAMPLE_EVERY redraws), in ms.
"""
import ctypes
import json
import signal
import sys
import time

BITS = 24
CELL_W = 16  # pixels per bit; still 11 pixels after a 2880 → 2048 reduction
ROW_H = 20
WIDTH = BITS * CELL_W
HEIGHT = 2 * ROW_H
UNIT_NS = 100_000
REDRAW_NS = 500_000  # a redraw every 0.5 ms keeps the X server's share small
SAMPLE_EVERY = 50
RAISE_EVERY = 200


class XRectangle(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort)]


class XSetWindowAttributes(ctypes.Structure):
    _fields_ = [("background_pixmap", ctypes.c_ulong), ("background_pixel", ctypes.c_ulong),
                ("border_pixmap", ctypes.c_ulong), ("border_pixel", ctypes.c_ulong),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("cursor", ctypes.c_ulong)]


CW_BACK_PIXEL = 1 << 1
CW_OVERRIDE_REDIRECT = 1 << 9


def load_xlib():
    x11 = ctypes.CDLL("libX11.so.6")
    p, i, u, ul = ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong
    signatures = {
        "XOpenDisplay": (p, [ctypes.c_char_p]),
        "XDefaultScreen": (i, [p]),
        "XRootWindow": (ul, [p, i]),
        "XDefaultDepth": (i, [p, i]),
        "XBlackPixel": (ul, [p, i]),
        "XWhitePixel": (ul, [p, i]),
        "XCreateWindow": (ul, [p, ul, i, i, u, u, u, i, u, p, ul,
                               ctypes.POINTER(XSetWindowAttributes)]),
        "XMapRaised": (i, [p, ul]),
        "XRaiseWindow": (i, [p, ul]),
        "XCreatePixmap": (ul, [p, ul, u, u, u]),
        "XCreateGC": (p, [p, ul, ul, p]),
        "XSetForeground": (i, [p, p, ul]),
        "XFillRectangle": (i, [p, ul, p, i, i, u, u]),
        "XFillRectangles": (i, [p, ul, p, ctypes.POINTER(XRectangle), i]),
        "XCopyArea": (i, [p, ul, ul, p, i, i, u, u, i, i]),
        "XFlush": (i, [p]),
        "XSync": (i, [p, i]),
    }
    for name, (result, arguments) in signatures.items():
        function = getattr(x11, name)
        function.restype = result
        function.argtypes = arguments
    return x11


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))] if ordered else None


class Clock:
    def __init__(self, x, y):
        self.x11 = x11 = load_xlib()
        self.display = x11.XOpenDisplay(None)
        if not self.display:
            raise SystemExit("screen_clock: cannot open the X display")
        screen = x11.XDefaultScreen(self.display)
        root = x11.XRootWindow(self.display, screen)
        attributes = XSetWindowAttributes(override_redirect=1,
                                          background_pixel=x11.XWhitePixel(self.display, screen))
        self.window = x11.XCreateWindow(self.display, root, x, y, WIDTH, HEIGHT, 0, 0, 1, None,
                                        CW_BACK_PIXEL | CW_OVERRIDE_REDIRECT,
                                        ctypes.byref(attributes))
        self.pixmap = x11.XCreatePixmap(self.display, self.window, WIDTH, HEIGHT,
                                        x11.XDefaultDepth(self.display, screen))
        self.black = x11.XCreateGC(self.display, self.window, 0, None)
        x11.XSetForeground(self.display, self.black, x11.XBlackPixel(self.display, screen))
        self.white = x11.XCreateGC(self.display, self.window, 0, None)
        x11.XSetForeground(self.display, self.white, x11.XWhitePixel(self.display, screen))
        x11.XMapRaised(self.display, self.window)
        x11.XSync(self.display, 0)
        self.cells = (XRectangle * BITS)()

    def draw(self, value):
        count = 0
        for bit in range(BITS):
            on = (value >> (BITS - 1 - bit)) & 1
            self.cells[count] = XRectangle(bit * CELL_W, 0 if on else ROW_H, CELL_W, ROW_H)
            count += 1
        x11, d = self.x11, self.display
        x11.XFillRectangle(d, self.pixmap, self.white, 0, 0, WIDTH, HEIGHT)
        x11.XFillRectangles(d, self.pixmap, self.black, self.cells, count)
        x11.XCopyArea(d, self.pixmap, self.window, self.black, 0, 0, WIDTH, HEIGHT, 0, 0)

    def run(self):
        periods, lags = [], []
        stopping = []
        signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
        print("ready", flush=True)
        last_tick, last_draw, draws = None, None, 0
        while not stopping:
            now = time.monotonic_ns()
            tick = now // REDRAW_NS
            if tick != last_tick:
                value = (now // UNIT_NS) & ((1 << BITS) - 1)
                self.draw(value)
                draws += 1
                if draws % SAMPLE_EVERY == 0:
                    self.x11.XSync(self.display, 0)
                    lags.append((time.monotonic_ns() - now) / 1e6)
                else:
                    self.x11.XFlush(self.display)
                if draws % RAISE_EVERY == 0:
                    self.x11.XRaiseWindow(self.display, self.window)
                if last_draw is not None:
                    periods.append((now - last_draw) / 1e6)
                last_tick, last_draw = tick, now
            time.sleep((REDRAW_NS - now % REDRAW_NS) / 1e9)
        print(json.dumps({"draws": draws,
                          "period_ms": {"median": percentile(periods, 0.5),
                                        "p99": percentile(periods, 0.99),
                                        "max": max(periods, default=None)},
                          "lag_ms": {"median": percentile(lags, 0.5),
                                     "p99": percentile(lags, 0.99),
                                     "max": max(lags, default=None)}}), flush=True)


def decode(image, origin, scale):
    """The clock value shown in `image` (a PIL image of the screen reduced by `scale`) with
    the strip at root position `origin`, or None when the two rows disagree."""
    gray = image.convert("L")
    value = 0
    for bit in range(BITS):
        cx = (origin[0] + bit * CELL_W + CELL_W / 2) * scale
        upper = _mean(gray, cx, (origin[1] + ROW_H / 2) * scale)
        lower = _mean(gray, cx, (origin[1] + ROW_H * 1.5) * scale)
        if (upper < 128) == (lower < 128):
            return None
        value = (value << 1) | (upper < 128)
    return value


def _mean(gray, cx, cy):
    x, y = int(cx), int(cy)
    pixels = [gray.getpixel((x + dx, y + dy)) for dx in (-1, 0, 1) for dy in (-1, 0, 1)]
    return sum(pixels) / len(pixels)


def unwrap(value, near_ns):
    """The monotonic time in ns of a clock `value`, taking the wrap-around nearest to
    `near_ns`."""
    period = 1 << BITS
    near = near_ns // UNIT_NS
    base = near - (near % period)
    candidates = [(base + k * period + value) for k in (-1, 0, 1)]
    return min(candidates, key=lambda c: abs(c - near)) * UNIT_NS


if __name__ == "__main__":
    Clock(int(sys.argv[1]), int(sys.argv[2])).run()
