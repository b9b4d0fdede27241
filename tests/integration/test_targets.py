"""The element under the pointer in real applications, as the recorder's click records
describe it: role, label and a frame on the screen that holds the point clicked.

One private desktop per class: native toolkits (GTK 4, GTK 3, Qt 5) share one, Firefox ESR
has its own.
"""
import os
import subprocess
import tempfile
import unittest

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

from real_apps import (accessibles, click_at, find_element, launch,  # noqa: E402
                       start_firefox, stop, wait_until, window_of)
from stepreel_harness import activate_window, recording, xdotool  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def record_clicks(test, clicks):
    """Brings each (window, point) to the front and clicks the point, in one recording;
    returns the click records, in order."""
    run = recording(test)
    for count, (wid, point) in enumerate(clicks, 1):
        activate_window(wid)
        click_at(point)
        run.wait_for(lambda frames, n=count: len(
            [f for f in frames if f.type == "events" and f.event["kind"] == "click"]) >= n,
            f"click record {count}")
    return [r for r in run.end() if r["kind"] == "click"]


def holds(frame, point):
    x, y, width, height = frame
    return x <= point[0] < x + width and y <= point[1] < y + height


def named_child_extents(application, name):
    """Extents, as the toolkit reports them, of the first element named `name` (any state)."""
    node = find_element(application, lambda n: (n.get_name() or "").split(" ")[0] == name)
    return node.get_extents(Atspi.CoordType.WINDOW) if node is not None else None


def window_origin(wid):
    shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid],
                           capture_output=True, text=True, check=True).stdout
    values = dict(line.split("=", 1) for line in shell.split())
    return int(values["X"]), int(values["Y"])


class NativeToolkits(unittest.TestCase):
    """GTK 4 reports extents relative to its window; GTK 3 and Qt 5 answer no hit test
    inside their text editors."""

    @classmethod
    def setUpClass(cls):
        cls.apps = [launch(argv) for argv in (["gnome-calculator"],
                                              ["mousepad", "--disable-server"], ["featherpad"])]

    @classmethod
    def tearDownClass(cls):
        for app in cls.apps:
            stop(app)

    def calculator_seven(self):
        wid = window_of("Calculator")
        xdotool("windowmove", "--sync", wid, 500, 200)
        wait_until("the calculator away from the origin", lambda: window_origin(wid) == (500, 200))
        seven = wait_until("the button 7", lambda: named_child_extents("gnome-calculator", "7"))
        # Its extents count from the window's visible corner, a few pixels in from the X
        # window's: the middle of the button lies inside it either way.
        return wid, (500 + seven.x + seven.width // 2, 200 + seven.y + seven.height // 2)

    def test_clicks_name_the_element_under_the_pointer(self):
        calculator, seven = self.calculator_seven()
        mousepad = window_of("Mousepad")
        view = wait_until("Mousepad's text view", lambda: accessibles("mousepad", "text"))[0]
        featherpad = window_of("Untitled")  # FeatherPad's window is named after its document
        editor = wait_until("FeatherPad's editor", lambda: accessibles("featherpad", "text"))[0]
        cases = [  # application, window, point, role, label
            ("gnome-calculator", calculator, seven, "AXButton", "7"),
            ("Mousepad", mousepad, view, "AXTextArea", None),
            ("FeatherPad", featherpad, editor, "AXTextArea", None),
        ]
        records = record_clicks(self, [(wid, point) for _, wid, point, _, _ in cases])
        for (app, _, point, role, label), record in zip(cases, records):
            with self.subTest(app):
                target = record.get("target", {})
                self.assertEqual(target.get("role"), role, record)
                if label:
                    self.assertEqual(target.get("label", "").split(" ")[0], label, record)
                self.assertTrue(holds(target["frame"], point), record)


class Firefox(unittest.TestCase):
    """Web content: a labelled field, body text, and editable text that stays unread."""

    PARAGRAPH = (240, 145)
    EDITABLE = (240, 226)

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.browser = start_firefox(os.path.join(HERE, "test_targets_page.html"), cls.tmp.name,
                                    kiosk=True)
        cls.wid = window_of("Targets page")

    @classmethod
    def tearDownClass(cls):
        stop(cls.browser)
        cls.tmp.cleanup()

    def test_fields_and_text_by_their_labels(self):
        # Firefox builds a page's tree on the first question; how long that takes depends on
        # the machine's load, so the page is on the bus before the recording starts.
        wait_until("the page's text", lambda: accessibles("Firefox", "paragraph"))
        first = record_clicks(self, [(self.wid, self.PARAGRAPH)])[0]
        field = wait_until("the field", lambda: accessibles("Firefox", "entry"))[0]
        records = record_clicks(self, [(self.wid, field), (self.wid, self.EDITABLE)])
        cases = [  # what, record, point, role, label
            ("paragraph", first, self.PARAGRAPH, "AXStaticText",
             "Trains leave every hour from the north platform."),
            ("labelled field", records[0], field, "AXTextField", "Departure city"),
            ("editable text", records[1], self.EDITABLE, None, None),
        ]
        for what, record, point, role, label in cases:
            with self.subTest(what):
                target = record.get("target", {})
                if role:
                    self.assertEqual(target.get("role"), role, record)
                self.assertEqual(target.get("label"), label, record)
                self.assertTrue(holds(target["frame"], point), record)


if __name__ == "__main__":
    unittest.main()
