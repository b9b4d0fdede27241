#!/usr/bin/python3
"""How truthfully `stepreel` describes a scripted session in real applications.

Run on a private X desktop (scripts/bench-fidelity starts one). The session drives Firefox
ESR (a claim form), Mousepad (text view, menus, a dialog), GNOME Calculator, FeatherPad, GNOME
Text Editor's GTK 4 file chooser and LibreOffice Writer, with the pointer and keyboard as a
person would; every operation has the record it should give. Each record is scored on its
kind, application, window title, target (role and label) and before-frame (present, and not
showing the press's own effect), and the share right is printed with a table per check.

    fidelity.py STEPREEL [--runs N] [--keep PATH] [--without APP ...]
"""
import argparse
import difflib
import io
import json
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.join(HERE, "..", "..", "tests", "integration")
sys.path.insert(0, TESTS)

from PIL import Image  # noqa: E402

from real_apps import launch, place, start_firefox, stop, window_geometry, window_of  # noqa: E402
from stepreel_harness import (RecorderRun, activate_window, click_at, key, type_text,  # noqa: E402
                              wait_until, xdotool)
from toolkit_apps import shown  # noqa: E402

FIREFOX, FORM = "Firefox ESR", "Expense claim"
ANY = object()  # any label, or none: a text view's name is its toolkit's business
CHECKS = ("kind", "app", "window", "target", "before-frame")
POINTER = ("click", "doubleclick", "rightclick")


class Expect:
    """The record an operation should give: `title` is part of the window title, `label` the
    first word(s) of the target's label (None: the target has no label)."""

    def __init__(self, what, kind, app, title, role, label=None, unpressed=None):
        self.what, self.kind, self.app, self.title = what, kind, app, title
        self.role, self.label, self.unpressed = role, label, unpressed


class Session:
    def __init__(self, stepreel, workdir, without):
        self.stepreel, self.workdir, self.without = stepreel, workdir, without
        self.expected, self.apps, self.run = [], [], None

    def start_apps(self):
        self.apps.append(start_firefox(os.path.join(TESTS, "claim_form.html"), self.workdir))
        self.firefox = window_of("Expense claim")
        place(self.firefox, 1000, 40, size=(880, 960))
        self.apps.append(launch(["mousepad", "--disable-server"]))
        self.mousepad = window_of("Mousepad")
        place(self.mousepad, 40, 60, size=(520, 400))
        self.apps.append(launch(["featherpad"]))
        self.featherpad = window_of("^Untitled$")
        place(self.featherpad, 40, 560, size=(480, 400))
        self.apps.append(launch(["gnome-calculator"]))
        self.calculator = window_of("Calculator")
        wait_until("the calculator in place",
                   lambda: place(self.calculator, 600, 520)[:2] == (600, 520))
        for wid in (self.firefox, self.mousepad, self.featherpad, self.calculator):
            activate_window(wid)
        self.firefox_field = {name: shown("Firefox", "entry", name, self.firefox)
                              for name in ("Employee name", "E-mail")}
        self.amount = shown("Firefox", "entry", "", self.firefox)
        self.submit = shown("Firefox", "push button", "Submit claim", self.firefox)
        self.country = shown("Firefox", "combo box", "Country", self.firefox)
        self.link = shown("Firefox", "link", "Next page", self.firefox)
        self.mousepad_text = self.inside(self.mousepad, 200, 150)
        self.featherpad_text = self.inside(self.featherpad, 240, 200)

    @staticmethod
    def inside(wid, dx, dy):
        x, y, _, _ = window_geometry(wid)
        return x + dx, y + dy

    def expect(self, *args, **options):
        self.expected.append(Expect(*args, **options))

    def settle(self):
        """Waits until every pointer operation so far has its record and result."""
        want = sum(e.kind in POINTER for e in self.expected)

        def done(frames):
            records = [f.event for f in frames if f.type == "events"]
            pointer = [r["seq"] for r in records if r["kind"] in POINTER]
            return len(pointer) >= want and (not pointer or any(
                r["kind"] == "result" and r["refSeq"] == pointer[-1] for r in records))
        self.run.wait_for(done, f"{want} pointer operations")

    def click(self, point, *expect, repeat=1, rest=False):
        if rest:  # the pointer comes to rest on a menu item before the click, as a person's does
            xdotool("mousemove", "--sync", *point)
            time.sleep(0.3)
        click_at(point, repeat=repeat)
        self.expect(*expect, unpressed=point if expect[0] == "press-reactive button" else None)
        self.settle()

    def script(self):
        """Each part of the session; one that cannot go on (an element never shown) is left."""
        parts = [self.form, self.editors, self.calculator_buttons, self.menus]
        parts += [self.file_chooser] if "text-editor" not in self.without else []
        parts += [self.writer] if "writer" not in self.without else []
        for part in parts + [self.form_again]:
            try:
                part()
            except (AssertionError, subprocess.SubprocessError) as failed:
                print(f"  part {part.__name__} stopped: {failed}")

    def form(self):
        ff, form = FIREFOX, FORM
        name, mail = self.firefox_field["Employee name"], self.firefox_field["E-mail"]
        self.click(name, "form field", "click", ff, form, "AXTextField", "Employee name")
        type_text("Ada Lovelace")
        self.expect("typing", "type", ff, form, "AXTextField", "Employee name")
        self.click(mail, "next field after typing", "click", ff, form, "AXTextField", "E-mail")
        type_text("ada@example.org")
        self.expect("typing", "type", ff, form, "AXTextField", "E-mail")
        self.click(self.amount, "unlabelled field", "click", ff, form, "AXTextField")
        type_text("125")
        self.expect("typing", "type", ff, form, "AXTextField")
        self.click(self.submit, "press-reactive button", "click", ff, form, "AXButton",
                   "Submit claim")
        self.click(self.country, "select", "click", ff, form, "AXPopUpButton", "Country")
        self.click(self.country, "select, closing", "click", ff, form, "AXPopUpButton", "Country")
        self.click(self.link, "link", "click", ff, form, "AXLink", "Next page")

    def editors(self):
        mp, fp, fp_title = "Mousepad", "FeatherPad", "Untitled"
        # Mousepad, brought to the front by a click; a shortcut with the pointer over Firefox. No
        # word typed here may show in a later window title ("Draft" would): it would be withheld.
        self.click(self.mousepad_text, "text view (to front)", "click", mp, mp, "AXTextArea")
        type_text("quarterly report figures")
        self.expect("typing", "type", mp, mp, "AXTextArea")
        # A double click: its first press is a click, its second the double click.
        self.expect("double click, first press", "click", mp, mp, "AXTextArea")
        self.click(self.mousepad_text, "double click on a word", "doubleclick", mp, mp,
                   "AXTextArea", repeat=2)
        xdotool("mousemove", "--sync", *self.submit)
        key("ctrl+a")
        self.expect("shortcut, pointer over Firefox", "shortcut", mp, mp, "AXTextArea")
        key("ctrl+c")
        self.expect("copy, pointer over Firefox", "shortcut", mp, mp, "AXTextArea")
        self.click(self.featherpad_text, "Qt editor (to front)", "click", fp, fp_title,
                   "AXTextArea")
        key("ctrl+v")
        self.expect("paste", "paste", fp, fp_title, "AXTextArea")
        type_text("notes")
        self.expect("typing", "type", fp, fp_title, "AXTextArea")
        # Typing in one application, then in another brought to the front by the keyboard.
        activate_window(self.mousepad)
        type_text("second line")
        self.expect("typing after a switch", "type", mp, mp, "AXTextArea")
        activate_window(self.featherpad)
        type_text("more")
        self.expect("typing after a switch", "type", fp, fp_title, "AXTextArea")

    def calculator_buttons(self):
        calc = "Calculator"
        # The calculator, brought to the front right after typing elsewhere.
        for digit in ("7", "8", "9", "4", "5", "6"):
            point = shown("gnome-calculator", "push button", digit, self.calculator, True)
            self.click(point, "GTK 4 button", "click", calc, calc, "AXButton", digit)

    def menus(self):
        mp = "Mousepad"
        # Mousepad's menus and a dialog.
        activate_window(self.mousepad)
        menu = shown("mousepad", "menu", "Edit", self.mousepad)
        self.click(menu, "menu bar item", "click", mp, mp, "AXMenuBarItem", "Edit")
        item = shown("mousepad", "menu item", "Select All", None)
        self.click(item, "menu item", "click", mp, mp, "AXMenuItem", "Select All", rest=True)
        key("ctrl+shift+s")
        self.expect("shortcut opening a dialog", "shortcut", mp, mp, "AXTextArea")
        cancel = shown("mousepad", "push button", "Cancel", window_of("^Save As$"))
        self.click(cancel, "dialog button", "click", mp, "Save As", "AXButton", "Cancel")

    def form_again(self):
        ff, form = FIREFOX, FORM
        name, mail = self.firefox_field["Employee name"], self.firefox_field["E-mail"]
        activate_window(self.firefox)
        self.click(name, "field", "click", ff, form, "AXTextField", "Employee name")
        type_text("Grace")
        self.expect("typing", "type", ff, form, "AXTextField", "Employee name")
        # Back to the form: typing then at once a press-reactive button.
        self.click(mail, "next field after typing", "click", ff, form, "AXTextField", "E-mail")
        type_text("x")
        self.expect("typing", "type", ff, form, "AXTextField", "E-mail")
        self.click(self.submit, "press-reactive button", "click", ff, form, "AXButton",
                   "Submit claim")

    def file_chooser(self):
        te = "Text Editor"
        self.apps.append(launch(["gnome-text-editor", "--standalone"]))
        editor = window_of("Text Editor")
        place(editor, 560, 60, size=(420, 400))
        activate_window(editor)
        # Clicked once it is on the accessibility bus, as a person would a window that has opened.
        view = shown("gnome-text-editor", "text", None, editor, True)
        self.click(view, "GTK 4 text view", "click", te, te, "AXTextArea", ANY)
        key("ctrl+o")
        self.expect("shortcut opening the file chooser", "shortcut", te, te, "AXTextArea", ANY)
        cancel = shown("gnome-text-editor", "push button", "Cancel", window_of("^Open File$"),
                         True)
        self.click(cancel, "GTK 4 file chooser button", "click", te, "Open File", "AXButton",
                   "Cancel")

    def writer(self):
        lo = "LibreOffice Writer"
        office = launch(["libreoffice", "--writer", "--norestore", "--nologo"])
        self.apps.append(office)
        writer = window_of("LibreOffice Writer")
        # Away from the form; a move waited for may never be seen, so it is not waited for.
        xdotool("windowsize", writer, 900, 420)
        xdotool("windowmove", writer, 560, 560)
        try:
            wait_until("Writer in place", lambda: window_geometry(writer)[1] >= 540, 20)
        except AssertionError:
            print("  Writer stayed where it opened")
        activate_window(writer)
        self.click(self.inside(writer, 450, 300), "document body", "click", lo, "Writer",
                   "AXTextArea", ANY)
        type_text("Minutes")
        self.expect("typing in a document", "type", lo, "Writer", "AXTextArea", ANY)
        key("ctrl+s")  # ends the run, then Writer goes: it may cover the form, as it opened
        self.expect("shortcut in a document", "shortcut", lo, "Writer", "AXTextArea", ANY)
        stop(office)

    def record(self):
        self.start_apps()
        self.run = RecorderRun(stepreel=self.stepreel)
        try:
            self.run.wait_ready()
            self.run.wait_focus_polls()
            self.script()
            key("shift")  # nothing recorded: ends nothing, but lets the last run be written
            time.sleep(0.5)
            self.run.finish()
        finally:
            self.run.kill()
            for proc in self.apps:
                stop(proc)
        return self.run


def red(frame, point):
    image = Image.open(io.BytesIO(frame.payload)).convert("RGB")
    r, g, b = image.getpixel(tuple(point))
    return r > 200 and g < 80 and b < 80


def checks(expect, record, frames):
    """Right or wrong for each check of one record; None where a check does not apply."""
    target = record.get("target", {})
    label = target.get("label")
    if expect.label is ANY:
        label_right = True
    elif expect.label is None:
        label_right = label is None
    else:
        label_right = label is not None and label.split(" ")[0] == expect.label.split(" ")[0]
    before = None
    if expect.kind in POINTER + ("paste",):
        frame = next((f for f in frames if f.type == "frame" and f.header["seq"] == record["seq"]
                      and f.header["kind"] == "before"), None)
        before = frame is not None and not (expect.unpressed and red(frame, expect.unpressed))
    return {"kind": record["kind"] == expect.kind, "app": record.get("app") == expect.app,
            "window": expect.title in target.get("windowTitle", ""),
            "target": target.get("role") == expect.role and label_right,
            "before-frame": before}


def score(expected, run):
    records = [r for r in run.records() if r["kind"] not in ("result", "navigate")]
    matcher = difflib.SequenceMatcher(None, [e.kind for e in expected],
                                      [r["kind"] for r in records], autojunk=False)
    pairs = {}
    for block in matcher.get_matching_blocks():
        for k in range(block.size):
            pairs[block.a + k] = records[block.b + k]
    rows = []
    for i, expect in enumerate(expected):
        record = pairs.get(i)
        if record is None:
            rows.append((expect, None, {c: False for c in CHECKS}))
        else:
            rows.append((expect, record, checks(expect, record, run.frames)))
    extra = len(records) - len(pairs)
    return rows, extra


def report(rows, extra):
    right_ops = sum(all(v is not False for v in result.values()) for _, _, result in rows)
    for expect, record, result in rows:
        if any(v is False for v in result.values()):
            got = record and {k: record.get(k) for k in ("seq", "kind", "app")}
            got = got and dict(got, target={k: record.get("target", {}).get(k)
                                            for k in ("role", "label", "windowTitle")})
            wrong = [c for c in CHECKS if result[c] is False]
            print(f"  wrong {wrong}: {expect.what} ({expect.kind}, {expect.role}"
                  f" {expect.label!r}) got {got}")
    print(f"{right_ops}/{len(rows)} operations right ({100 * right_ops / len(rows):.1f} %),"
          f" {extra} records for no operation")
    print(f"{'check':<13} {'right':>5} {'of':>4}")
    for check in CHECKS:
        values = [result[check] for _, _, result in rows if result[check] is not None]
        print(f"{check:<13} {sum(values):>5} {len(values):>4}")
    return right_ops == len(rows) and extra == 0


def private_home(workdir):
    """Every application gets a fresh home and XDG folders of its own."""
    home = os.path.join(workdir, "home")
    for name, sub in (("HOME", ""), ("XDG_CONFIG_HOME", ".config"), ("XDG_DATA_HOME",
                      ".local/share"), ("XDG_CACHE_HOME", ".cache")):
        os.makedirs(os.path.join(home, sub), exist_ok=True)
        os.environ[name] = os.path.join(home, sub)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("stepreel")
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--keep", help="writes each run's records to KEEP.<run>.jsonl")
    parser.add_argument("--without", nargs="*", default=[], choices=("text-editor", "writer"))
    options = parser.parse_args()
    load = os.getloadavg()
    print(f"load average at start: {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}")
    all_right = True
    for n in range(1, options.runs + 1):
        with tempfile.TemporaryDirectory(prefix="bench-fidelity-") as workdir:
            private_home(workdir)
            session = Session(os.path.abspath(options.stepreel), workdir, options.without)
            run = session.record()
            print(f"run {n}: {len(session.expected)} operations")
            if options.keep:
                with open(f"{options.keep}.{n}.jsonl", "w") as out:
                    out.writelines(json.dumps(r, ensure_ascii=False) + "\n" for r in run.records())
            all_right &= report(*score(session.expected, run))
    subprocess.run(["uptime"])
    return 0 if all_right else 1


if __name__ == "__main__":
    sys.exit(main())
