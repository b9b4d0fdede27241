"""Click targets in real applications: role, label and a frame holding the point pressed, and the
application of the window pressed in, however late the recorder gets to a click (another
application hung in front, permits answered late)."""
import io
import os
import signal
import time
import unittest

from PIL import Image

from real_apps import (accessibles, center, find_element, holds, launch, place, wait_until,
                       window_geometry, window_of)
from stepreel_harness import activate_window, click_at, recording, type_text, xdotool

BUTTONS = ("7", "8", "9", "4", "5", "6", "1", "2")
CALCULATOR_AT = (500, 150)
EDITOR_AREA = (40, 100, 420, 440)  # Mousepad's 400 × 400 and its frame, clear of the calculator
CLICK_INTERVAL = 0.25  # seconds, quicker than the recorder can describe a click here


def center_of(wid):
    x, y, width, height = window_geometry(wid)
    return x + width // 2, y + height // 2


def button_node(name):
    return find_element("gnome-calculator", lambda n: "button" in n.get_role_name() and
                        (n.get_name() or "").split(" ")[0] == name)


def button(name):
    """The middle of gnome-calculator's button `name`; GTK 4 places it from its window."""
    node = button_node(name)
    return node and center(node, CALCULATOR_AT)


def shown_name(node):
    """The text a person reads on `node`: a GTK 4 button's label's, which its own name repeats
    ("7 7"). Walks into the button: hit tests answer with the label from then on."""
    children = [node.get_child_at_index(i) for i in range(node.get_child_count())]
    labels = [child.get_name() for child in children if child.get_role_name() == "label"]
    return labels[0] if len(labels) == 1 and labels[0] else node.get_name()


def described(node):
    """What a record says of `node` besides role, label and frame, read here one request at a
    time: its role's name, its help and the titles (else descriptions) of its first siblings."""
    parent = node.get_parent()
    siblings = [parent.get_child_at_index(i) for i in range(min(parent.get_child_count(), 8))]
    attributes = node.get_attributes() or {}
    return {"roleDescription": node.get_localized_role_name(),
            "identifier": node.get_accessible_id() or None,
            "help": attributes.get("help-text") or attributes.get("tooltip") or None,
            "nearbyText": [text for text in (shown_name(s) or s.get_description()
                                             for s in siblings) if text][:6]}


class Desktop(unittest.TestCase):
    """gnome-calculator (GTK 4: extents relative to its window) in place, Mousepad (GTK 3) and
    FeatherPad (Qt 5), whose text editors answer no hit test."""

    @classmethod
    def setUpClass(cls):
        cls.apps = [launch(argv, cls) for argv in (
            ["gnome-calculator"], ["mousepad", "--disable-server"], ["featherpad"])]
        cls.calculator, cls.editor = window_of("Calculator"), window_of("Mousepad")
        cls.featherpad = window_of("^Untitled$")  # its document alone: Mousepad adds its name
        place(cls.editor, *EDITOR_AREA[:2], size=(400, 400))
        wait_until("the calculator in place",
                   lambda: place(cls.calculator, *CALCULATOR_AT)[:2] == CALCULATOR_AT)


class NativeToolkits(Desktop):
    def test_clicks_name_the_element_under_the_pointer(self):
        # Found without walking into its label: once a walk has listed a GTK 4 button's label,
        # hit tests answer with the label.
        seven = wait_until("the button 7", lambda: button("7"))
        # Inside the window as it is and as it was placed: under load a move can land late.
        view = wait_until("Mousepad's text view where it was moved", lambda: [
            p for p in accessibles("mousepad", "text")
            if holds(window_geometry(self.editor), p) and holds(EDITOR_AREA, p)])[0]
        editor = wait_until("FeatherPad's editor", lambda: accessibles("featherpad", "text"))[0]
        cases = [(self.featherpad, editor, "AXTextArea", None),  # window, point, role, label
                 (self.calculator, seven, "AXButton", "7"),
                 (self.editor, view, "AXTextArea", None)]
        # Typing in an editor focused before the recording began, so found by a search (Qt also
        # marks the current page tab focused), until the click on it.
        activate_window(self.featherpad)
        click_at(editor)
        run = recording(self)
        type_text("notes")
        for count, (wid, point, _, _) in enumerate(cases, 1):
            activate_window(wid)
            click_at(point)
            run.wait_settled(count)
        for (_, point, role, label), record in zip(cases, run.records("click")):
            target = record.get("target", {})
            self.assertEqual(target.get("role"), role, record)
            if label:
                self.assertEqual(target.get("label", "").split(" ")[0], label, record)
            self.assertTrue(holds(target["frame"], point), record)
        seven_target = run.records("click")[1]["target"]
        truth = described(button_node("7"))
        self.assertEqual({key: seven_target.get(key) for key in truth}, truth)
        typed = run.records("type")
        self.assertEqual([(r["app"], r["target"]["role"]) for r in typed],
                         [("FeatherPad", "AXTextArea")], typed)
        run.end()


class LateClicks(Desktop):
    def test_each_click_keeps_its_own_pointer_and_target(self):
        points = [wait_until(f"the button {name}", lambda name=name: button(name))
                  for name in BUTTONS]
        for what, delay, hung in (("another application hung in front", 0, True),
                                  ("permits answered late", 0.5, False)):
            with self.subTest(what):
                # The stopped editor is brought to the front before each click: while it is
                # frontmost, each question to it waits until the recorder gives up.
                front = (lambda: activate_window(self.editor)) if hung else (lambda: None)
                os.kill(self.apps[1].pid, signal.SIGSTOP if hung else signal.SIGCONT)
                try:
                    run = recording(self, delay=delay)
                    activate_window(self.calculator)
                    for point in points:
                        started = time.monotonic()
                        front()
                        click_at(point)
                        time.sleep(max(0.0, CLICK_INTERVAL - (time.monotonic() - started)))
                    front()
                    run.wait_settled(8)
                    records = run.end()
                finally:
                    os.kill(self.apps[1].pid, signal.SIGCONT)
                clicks = [r for r in records if r["kind"] in ("click", "doubleclick")]
                self.assertEqual([r["kind"] for r in clicks], ["click"] * 8, clicks)
                for name, point, record in zip(BUTTONS, points, clicks):
                    self.assertEqual(record["cursor"], list(point), record)
                    # The button, or its text, when the lookup finished in time.
                    if (label := record.get("target", {}).get("label")) is not None:
                        self.assertEqual(label.split(" ")[0], name, record)
                self.assertTrue(any("label" in r.get("target", {}) for r in clicks), clicks)
                # Each click belongs to the window pressed in, whatever was in front by the
                # time it was described.
                self.assertEqual({r.get("app") for r in clicks}, {"Calculator"}, clicks)


class LateKeys(Desktop):
    def test_keys_described_late_keep_the_application_they_went_to(self):
        # The stopped editor holds up the description of its run's first key, so the rest of
        # its keys are described after FeatherPad has come to the front.
        run = recording(self)
        activate_window(self.editor)
        os.kill(self.apps[1].pid, signal.SIGSTOP)
        try:
            type_text("abc")
            activate_window(self.featherpad)
            type_text("xyz")
            click_at(center_of(self.featherpad))
            run.wait_settled(1)
        finally:
            os.kill(self.apps[1].pid, signal.SIGCONT)
        typed = [(r["app"], r["inputCharCount"]) for r in run.end() if r["kind"] == "type"]
        self.assertEqual(typed, [("Mousepad", 3), ("FeatherPad", 3)])


class HeldPress(unittest.TestCase):
    """xcalc, a plain X client, draws a button pressed the moment it goes down; its
    before-frame still shows the button up, its after-frame (the button still held) down.
    The grabs lie on the window manager's frames."""

    def test_before_frame_never_shows_its_own_press(self):
        launch(["xcalc", "-geometry", "+420+260"], self)
        x, y, width, height = window_geometry(window_of("Calculator"))
        point = (x + width // 5, y + height * 9 // 10)  # inside a key of the bottom row
        run = recording(self)

        def brightness(record):
            frame = next(f for f in run.frames if f.type == "frame" and
                         f.header["seq"] == record["seq"])
            image = Image.open(io.BytesIO(frame.payload)).convert("L")
            spot = image.crop((point[0] - 3, point[1] - 3, point[0] + 4, point[1] + 4))
            return sum(spot.getdata()) / 49

        # The first press also activates xcalc, which may still be drawing itself, just
        # started on a busy machine: its frames show that, and only the later ones are compared.
        for attempt in range(9):
            since = run.mark()
            xdotool("mousemove", "--sync", point[0] + 200, point[1] - 200)
            xdotool("mousemove", "--sync", *point)
            xdotool("mousedown", 1)
            _, click = run.wait_record("click", since)
            _, result = run.wait_record("result", since)
            xdotool("mouseup", 1)
            if attempt:
                self.assertGreater(brightness(click), brightness(result) + 30, (click, result))
        run.end()


class HeldPressWithoutWindowManager(HeldPress):
    """The same without a window manager: the grabs lie on the applications' own windows."""


if __name__ == "__main__":
    unittest.main()
