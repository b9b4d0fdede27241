"""A click is described by its own moment, however late the recorder gets to it: eight
quick clicks on eight of gnome-calculator's buttons, while another application hangs in
front and while the parent is slow to grant, each come out as one "click" whose cursor is
where the pointer pressed and whose target is the button there.
"""
import io
import os
import signal
import subprocess
import time
import unittest

from PIL import Image

from real_apps import Atspi, find_element, launch, stop, wait_until, window_of
from stepreel_harness import activate_window, recording, xdotool
from test_targets import window_origin

BUTTONS = ("7", "8", "9", "4", "5", "6", "1", "2")
CALCULATOR_AT = (500, 150)
CLICK_INTERVAL = 0.25  # seconds, quicker than the recorder can describe a click here


def button_point(name):
    """The middle of the calculator's button `name`, on the screen. GTK 4 places elements
    from its window's corner."""
    node = find_element("gnome-calculator", lambda n: "button" in n.get_role_name() and
                        (n.get_name() or "").split(" ")[0] == name)
    if node is None:
        return None
    box = node.get_extents(Atspi.CoordType.WINDOW)
    return (CALCULATOR_AT[0] + box.x + box.width // 2, CALCULATOR_AT[1] + box.y + box.height // 2)


class LateClicks(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.calculator_proc = launch(["gnome-calculator"])
        cls.editor_proc = launch(["mousepad", "--disable-server"])
        cls.calculator = window_of("Calculator")
        cls.editor = window_of("Mousepad")
        xdotool("windowsize", "--sync", cls.editor, 400, 400)
        xdotool("windowmove", "--sync", cls.editor, 40, 100)
        xdotool("windowmove", "--sync", cls.calculator, *CALCULATOR_AT)
        wait_until("the calculator in place",
                   lambda: window_origin(cls.calculator) == CALCULATOR_AT)
        cls.points = [wait_until(f"the button {name}", lambda name=name: button_point(name))
                      for name in BUTTONS]

    @classmethod
    def tearDownClass(cls):
        for proc in (cls.calculator_proc, cls.editor_proc):
            stop(proc)

    def record_clicks(self, delay, before_each):
        """Clicks every button at the pace of CLICK_INTERVAL, calling `before_each` before
        each click and once after the last; returns the records of the whole stream."""
        run = recording(self, delay=delay)
        activate_window(self.calculator)
        for point in self.points:
            started = time.monotonic()
            before_each()
            xdotool("mousemove", "--sync", *point)
            xdotool("click", 1)
            time.sleep(max(0.0, CLICK_INTERVAL - (time.monotonic() - started)))
        before_each()
        run.wait_for(lambda frames: len([f for f in frames if f.type == "events" and
                                         f.event["kind"] in ("click", "doubleclick")]) >= 8,
                     "eight click records")
        return run.end()

    def test_each_click_keeps_its_own_pointer_and_target(self):
        cases = [  # what, seconds before each permit answer, editor hung
            ("another application hung in front", 0, True),
            ("permits answered late", 0.5, False),
        ]
        for what, delay, hung in cases:
            with self.subTest(what):
                # The stopped editor is brought back to the front before each click: while it
                # is frontmost, each of the recorder's questions to it waits until the
                # recorder gives up.
                if hung:
                    os.kill(self.editor_proc.pid, signal.SIGSTOP)
                try:
                    records = self.record_clicks(
                        delay, (lambda: activate_window(self.editor)) if hung else (lambda: None))
                finally:
                    if hung:
                        os.kill(self.editor_proc.pid, signal.SIGCONT)
                clicks = [r for r in records if r["kind"] in ("click", "doubleclick")]
                self.assertEqual([r["kind"] for r in clicks], ["click"] * 8, clicks)
                for name, point, record in zip(BUTTONS, self.points, clicks):
                    self.assertEqual(record["cursor"], list(point), record)
                    # The button, or its text, when the lookup finished in time.
                    label = record.get("target", {}).get("label")
                    if label is not None:
                        self.assertEqual(label.split(" ")[0], name, record)
                self.assertTrue(any("label" in r.get("target", {}) for r in clicks), clicks)
                if hung:  # some were described with the editor in front: late
                    self.assertIn("Mousepad", [r.get("app") for r in clicks])



class HeldPress(unittest.TestCase):
    """xcalc, a plain X client, draws a button pressed the moment it goes down; its
    before-frame still shows the button up, its after-frame (the button still held) down."""

    def test_before_frame_never_shows_its_own_press(self):
        calculator = launch(["xcalc", "-geometry", "+420+260"])
        self.addCleanup(stop, calculator)
        wid = window_of("Calculator")
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid],
                               capture_output=True, text=True, check=True).stdout
        box = dict(line.split("=", 1) for line in shell.split())
        x, y, width, height = (int(box[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        point = (x + width // 5, y + height * 9 // 10)  # inside a key of the bottom row
        run = recording(self)

        def brightness(record):
            frame = next(f for f in run.frames if f.type == "frame" and
                         f.header["seq"] == record["seq"])
            image = Image.open(io.BytesIO(frame.payload)).convert("L")
            box = image.crop((point[0] - 3, point[1] - 3, point[0] + 4, point[1] + 4))
            return sum(box.getdata()) / 49

        for _ in range(8):
            since = run.mark()
            xdotool("mousemove", "--sync", point[0] + 200, point[1] - 200)
            xdotool("mousemove", "--sync", *point)
            xdotool("mousedown", 1)
            _, click = run.wait_record("click", since)
            _, result = run.wait_record("result", since)
            xdotool("mouseup", 1)
            self.assertGreater(brightness(click), brightness(result) + 30, (click, result))
        run.end()


if __name__ == "__main__":
    unittest.main()
