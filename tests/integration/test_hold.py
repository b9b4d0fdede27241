"""The press held for its before-frame: it reaches the application exactly once and in time,
however the recorder or its parent ends, stops or lags; other clients keep their grabs; and
screenshots follow the screen when it shrinks and grows again."""
import os
import signal
import subprocess
import time
import unittest

from Xlib import X, display
from Xlib.ext import xinput

from real_apps import launch, start_firefox, wait_until, window_geometry, window_of
from stepreel_harness import HERE, activate_window, click_at, recording, scratch, xdotool
from test_targets import HeldPress

POINT = (640, 400)  # inside the page, which fills the screen


class PressCounter(unittest.TestCase):
    """Firefox ESR shows a page that counts its mousedowns in its title, with the wall-clock
    time at which each one reached it: a real toolkit that reacts on press."""

    @classmethod
    def setUpClass(cls):
        start_firefox(os.path.join(HERE, "press_counter.html"), scratch(cls), kiosk=True,
                      owner=cls)
        cls.wid = window_of("^presses ")

    def setUp(self):
        activate_window(self.wid)
        xdotool("mousemove", "--sync", *POINT)

    def presses(self):
        """Wall-clock seconds of each press the page has had."""
        title = subprocess.run(["xdotool", "getwindowname", self.wid], capture_output=True,
                               text=True).stdout.split(" — ")[0].split()
        return [int(t) / 1000 for t in title[2].split(",")] if len(title) > 2 else []

    def assert_pressed(self, before, count, within=5.0):
        """Exactly `count` more presses reach the page, the last within `within` seconds."""
        wait_until(f"{count} more presses", lambda: len(self.presses()) >= before + count,
                   within)
        time.sleep(0.5)  # a press delivered twice would come by now
        self.assertEqual(len(self.presses()), before + count)

    def test_a_stopped_recorder_holds_no_press_longer_than_its_limit(self):
        run = recording(self)
        os.kill(run.proc.pid, signal.SIGSTOP)
        try:
            before = len(self.presses())
            pressed = time.time()
            xdotool("click", 1)
            self.assert_pressed(before, 1)
            self.assertLess(self.presses()[-1] - pressed, 1.0)
        finally:
            os.kill(run.proc.pid, signal.SIGCONT)
        run.end()

    def test_a_press_held_when_the_recording_ends_goes_on_exactly_once(self):
        endings = {"SIGKILL": lambda run: run.proc.kill(),
                   "SIGINT": lambda run: run.proc.send_signal(signal.SIGINT),
                   "parent gone": lambda run: run.close_pipes()}
        for name, end in endings.items():
            with self.subTest(name):
                unanswered = [False]
                run = recording(self, hold=lambda n: unanswered[0])
                run.wait_focus_polls(1)
                before = len(self.presses())
                # The next request stays unanswered: the press waits for its screenshot.
                unanswered[0] = True
                xdotool("click", 1)
                end(run)
                self.assert_pressed(before, 1)
                run.proc.wait(30)

    def test_a_burst_with_a_slow_parent_reaches_the_page_in_time(self):
        run = recording(self, delay=0.3)
        before = len(self.presses())
        xdotool("click", "--repeat", 50, "--delay", 20, 1)
        done = time.time()
        self.assert_pressed(before, 50, within=30)
        self.assertLess(self.presses()[-1] - done, 1.0)
        run.end()

    def test_another_clients_grab_on_the_root_window_is_granted_and_served_first(self):
        run = recording(self)
        other = display.Display()
        self.addCleanup(other.close)
        other.xinput_query_version()
        root = other.screen().root
        for modifiers, pressed_by_us in (([xinput.AnyModifier], False),
                                         ([X.ControlMask], True)):
            with self.subTest(modifiers=modifiers):
                granted = xinput.passive_grab_device(
                    root, xinput.AllMasterDevices, X.CurrentTime, 1, xinput.GrabtypeButton,
                    xinput.GrabModeAsync, xinput.GrabModeAsync, False, xinput.ButtonPressMask,
                    modifiers)
                self.assertEqual(list(granted.modifiers), [])
                since, before = run.mark(), len(self.presses())
                xdotool("click", 1)
                # Taken by the other client's grab, or held by ours and delivered.
                self.assert_pressed(before, 1 if pressed_by_us else 0, within=3)
                run.wait_record("click", since)
                if not pressed_by_us:
                    event = wait_until("the other client's press", lambda: other.pending_events()
                                       and other.next_event(), 10)
                    self.assertEqual((event.type, event.evtype),
                                     (X.GenericEvent, xinput.ButtonPress))
                xinput.passive_ungrab_device(root, xinput.AllMasterDevices, 1,
                                             xinput.GrabtypeButton, modifiers)
                other.sync()
        run.end()


class WindowManagerBindings(unittest.TestCase):
    """openbox moves a window dragged with Alt held: its grab on the frame still gets the press."""

    def test_alt_drag_moves_a_window_while_recording(self):
        launch(["xlogo", "-geometry", "200x200+300+200"], self)
        wid = window_of("xlogo")
        x, y, _, _ = window_geometry(wid)
        run = recording(self)
        xdotool("mousemove", "--sync", x + 100, y + 100)
        xdotool("keydown", "alt", "mousedown", 1)
        xdotool("mousemove", "--sync", x + 250, y + 150)
        xdotool("mouseup", 1, "keyup", "alt")
        wait_until("the window moved", lambda: window_geometry(wid)[:2] == (x + 150, y + 50), 10)
        run.end()


class HeldPressWithoutWindowManager(HeldPress):
    """The before-frame of a press on a desktop without a window manager: the grabs lie on
    the applications' own top-level windows."""


class ScreenChanges(unittest.TestCase):
    """The screen shrinks to 800 × 600 and grows back to 1280 × 800 under the recorder."""

    def test_every_screenshot_is_the_whole_screen_with_the_pointer_measured_against_it(self):
        subprocess.run(["xrandr", "--newmode", "800x600", "0", "800", "0", "0", "0", "600",
                        "0", "0", "0"], check=True)
        subprocess.run(["xrandr", "--addmode", "screen", "800x600"], check=True)
        self.addCleanup(subprocess.run, ["xrandr", "--output", "screen", "--mode", "1280x800"])
        run = None
        for size, point in (("800x600", (100, 150)), ("1280x800", (1000, 700))):
            subprocess.run(["xrandr", "--output", "screen", "--mode", size], check=True)
            run = run or recording(self)  # its first screenshot on the small screen
            since = run.mark()
            click_at(point)
            _, record = run.wait_record("click", since)
            frame = next(f.header for f in run.frames
                         if f.type == "frame" and f.header["seq"] == record["seq"])
            width, height = map(int, size.split("x"))
            self.assertEqual((frame["width"], frame["height"]), (width, height), size)
            self.assertEqual(record["cursor"], list(point))
            for got, want in zip(frame["cursor"], (point[0] / width, point[1] / height)):
                self.assertAlmostEqual(got, want)
        run.end()


if __name__ == "__main__":
    unittest.main()
