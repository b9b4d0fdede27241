"""The press held for its before-frame: it reaches the application exactly once and in time,
however the recorder or its parent ends, stops or lags; other clients keep their grabs; and
screenshots follow the screen when it shrinks and grows again."""
import array
import fcntl
import os
import re
import select
import signal
import subprocess
import termios
import threading
import time
import unittest

from Xlib import X, display
from Xlib.ext import xinput, xtest

from real_apps import launch, start_firefox, wait_until, window_geometry, window_of
from stepreel_harness import (BANNER_START, HERE, STEPREEL, activate_window, click_at, later,
                              recording, scaled, scratch, xdotool)

POINT = (640, 400)  # inside the page, which fills the screen


class PressCounter(unittest.TestCase):
    """Firefox ESR shows a page that counts its mousedowns in its title, with the wall-clock
    time at which each one reached it: a real toolkit that reacts on press."""

    @classmethod
    def setUpClass(cls):
        start_firefox(os.path.join(HERE, "press_counter.html"), scratch(cls), kiosk=True,
                      owner=cls)
        cls.wid = window_of("^presses ")
        cls.input = display.Display()  # presses made at a moment of the test's choosing
        later(cls, cls.input.close)

    def setUp(self):
        activate_window(self.wid)
        xdotool("mousemove", "--sync", *POINT)
        # The page answers presses before any recorder runs (a browser just started may not).
        before = self.presses()
        xdotool("click", 1)
        self.assert_pressed(before, 1, within=scaled(60))

    def pressed(self):
        """How many presses the page has had, and the wall-clock second of the last one."""
        title = subprocess.run(["xdotool", "getwindowname", self.wid], capture_output=True,
                               text=True).stdout.split(" — ")[0].split()
        return int(title[1]), int(title[2]) / 1000 if len(title) > 2 else None

    def presses(self):
        return self.pressed()[0]

    def last_press(self):
        return self.pressed()[1]

    def assert_pressed(self, before, count, within=scaled(5.0)):
        """Exactly `count` more presses reach the page, the last within `within` seconds."""
        wait_until(f"{count} more presses than {before} (now {self.presses()})",
                   lambda: self.presses() >= before + count, within)
        time.sleep(0.5)  # a press delivered twice would come by now
        self.assertEqual(self.presses(), before + count)

    def test_a_stopped_recorder_holds_no_press_longer_than_its_limit(self):
        run = recording(self)
        os.kill(run.proc.pid, signal.SIGSTOP)
        try:
            before = self.presses()
            pressed = time.time()
            xdotool("click", 1)
            self.assert_pressed(before, 1)
            self.assertLess(self.last_press() - pressed, scaled(1.0))
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
                before = self.presses()
                # The next request stays unanswered: the press waits for its screenshot, and
                # the recording ends well within the 0.1 s a press may be held.
                unanswered[0] = True
                xtest.fake_input(self.input, X.ButtonPress, 1)
                self.input.sync()
                time.sleep(0.03)
                end(run)
                xtest.fake_input(self.input, X.ButtonRelease, 1)
                self.input.sync()
                self.assert_pressed(before, 1)
                run.proc.wait(30)

    def test_a_burst_with_a_slow_parent_reaches_the_page_in_time(self):
        run = recording(self, delay=0.3)
        before = self.presses()
        xdotool("click", "--repeat", 50, "--delay", 20, 1)
        done = time.time()
        # The browser itself misses a press of such a burst now and then.
        wait_until("the burst's presses", lambda: self.presses() >= before + 45, scaled(30))
        time.sleep(1)
        self.assertLess(self.last_press() - done, scaled(1.0))
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
                since, before = run.mark(), self.presses()
                xdotool("click", 1)
                # Taken by the other client's grab, or held by ours and delivered.
                self.assert_pressed(before, 1 if pressed_by_us else 0, within=scaled(3))
                run.wait_record("click", since)
                if not pressed_by_us:
                    event = wait_until("the other client's press", lambda: other.pending_events()
                                       and other.next_event(), scaled(10))
                    self.assertEqual(event.evtype, xinput.ButtonPress)
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
        # Step by step, as a hand drags: openbox starts a move on motion after the press.
        for step in (["keydown", "alt"], ["mousedown", 1], ["mousemove", "--sync", x + 180, y + 130],
                     ["mousemove", "--sync", x + 250, y + 150], ["mouseup", 1], ["keyup", "alt"]):
            xdotool(*step)
            time.sleep(0.1)
        wait_until("the window moved", lambda: window_geometry(wid)[:2] == (x + 150, y + 50),
                   scaled(10))
        run.end()


class ParentNotReading(unittest.TestCase):
    """A parent that granted every request ahead and then stopped reading the recorder's
    output, which fills the pipe with the first screenshots."""

    def stalled_recorder(self):
        proc = subprocess.Popen([STEPREEL, "--stream"], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(lambda: (proc.kill(), proc.wait(), proc.stdin.close(),
                                 proc.stdout.close(), proc.stderr.close()))
        proc.stdin.write(b"\x01" * 4096)
        proc.stdin.flush()
        banner = bytearray()

        def ready():  # reads standard error up to the banner only
            shown = BANNER_START.encode()
            while shown not in banner and select.select([proc.stderr], [], [], 0)[0]:
                banner.extend(os.read(proc.stderr.fileno(), 1))
            return shown in banner
        wait_until("the recorder ready", ready)
        # Clicks until the output is full (a screenshot is larger than a pipe holds): then it
        # stops growing, however many clicks come.
        unread, sizes = array.array("i", [0]), []

        def full():
            click_at((300, 300))
            time.sleep(scaled(0.5))
            fcntl.ioctl(proc.stdout.fileno(), termios.FIONREAD, unread)
            sizes.append(unread[0])
            return len(sizes) >= 4 and sizes[-1] == sizes[-2] > 0
        wait_until("the recorder's output full", full)
        return proc

    def test_ctrl_c_ends_the_recording_within_a_second(self):
        proc = self.stalled_recorder()
        started = time.monotonic()
        proc.send_signal(signal.SIGINT)
        self.assertEqual(proc.wait(10), 0)
        self.assertLess(time.monotonic() - started, scaled(1.0))
        self.assertIn("終了フレームを送れませんでした", proc.stderr.read().decode())

    def test_input_kept_meanwhile_is_bounded_and_what_is_left_out_is_counted(self):
        proc = self.stalled_recorder()
        xdotool("type", "--delay", 0, "a" * 6000)  # well past the 2048 events kept
        # The parent reads again: the recorder takes what it kept and says what it left out.
        drained = threading.Thread(target=proc.stdout.read, daemon=True)
        drained.start()
        said = bytearray()

        def counted():
            while select.select([proc.stderr], [], [], 0)[0] and (chunk := os.read(
                    proc.stderr.fileno(), 4096)):
                said.extend(chunk)
            return re.search(r"入力 (\d+) 件が上限を超え", said.decode(errors="replace"))
        left_out = wait_until("the input left out counted", counted)
        self.assertGreater(int(left_out.group(1)), 0)
        proc.send_signal(signal.SIGINT)
        self.assertEqual(proc.wait(30), 0)


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
