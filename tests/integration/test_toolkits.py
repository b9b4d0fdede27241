"""Menus, popups and dialogs are windows of their own, and every toolkit gives a target: a
menu bar item held open, GTK 4's file chooser, Java Swing and LibreOffice, each named after the
one application that owns it."""
import re
import signal
import subprocess
import unittest

import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

from real_apps import (find_element, holds, launch, place, selected, showing,  # noqa: E402
                       window_geometry, window_of)
from stepreel_harness import (activate_window, click_at, helper_json, key,  # noqa: E402
                              recording, scratch, type_text, wait_until, xdotool)
from toolkit_apps import named, shown, start_swing, start_writer  # noqa: E402


def target_of(record):
    target = record.get("target", {})
    return target.get("role"), (target.get("label") or "").split(" ")[0] or None


class Menus(unittest.TestCase):
    """Mousepad (GTK 3): a menu of its menu bar held open while the pointer goes to an item,
    which is chosen on release; then taps, whose item is chosen and its menu closed before
    the press is handled: on a context menu's item below the window, on a menu bar's menu's
    item over the text; and a shortcut that opens a dialog, described by the text view that
    had the focus when its key went down."""

    def test_a_menu_bar_item_held_open_is_the_item(self):
        launch(["mousepad", "--disable-server"], self)
        editor = window_of("Mousepad")
        place(editor, 120, 90, size=(500, 400))
        activate_window(editor)
        run = recording(self)
        menu = shown("mousepad", "menu", "Edit")
        xdotool("mousemove", "--sync", *menu)
        xdotool("mousedown", 1)  # held: the menu opens and takes the pointer
        item = shown("mousepad", "menu item", "Select All")
        xdotool("mousemove", "--sync", *item)
        xdotool("mouseup", 1)  # released over the item: it is chosen, the menu closes
        run.wait_record("click", where=lambda r: r["cursor"] == list(menu))
        x, y, _, _ = window_geometry(editor)
        for opening, button in (((x + 200, y + 200), 3), (menu, 1)):
            click_at(opening, button)
            item = shown("mousepad", "menu item", "Select All")
            xdotool("mousemove", "--sync", *item)
            wait_until("the item under the pointer selected", lambda: find_element(
                "mousepad", lambda n: named(n, "Select All") and showing(n) and selected(n)))
            run.wait_focus_polls()  # the recorder's loop has run since: it has seen the item
            # However late the recorder handles the press, the menu closed at its release.
            run.proc.send_signal(signal.SIGSTOP)
            try:
                xdotool("click", 1)
                wait_until("the menu closed", lambda: not find_element(
                    "mousepad", lambda n: named(n, "Select All") and showing(n)))
            finally:
                run.proc.send_signal(signal.SIGCONT)
            run.wait_record("click", where=lambda r: r["cursor"] == list(item))
        key("ctrl+shift+s")  # the focus moves to the dialog's name field it opens
        run.wait_record("shortcut")
        records = run.end()
        shortcut = [target_of(r) for r in records if r["kind"] == "shortcut"]
        self.assertEqual(shortcut, [("AXTextArea", None)], records)
        pointer = [(target_of(r), r.get("app")) for r in records if r["kind"] == "click"]
        edit = (("AXMenuBarItem", "Edit"), "Mousepad")
        select = (("AXMenuItem", "Select"), "Mousepad")
        self.assertEqual(pointer, [edit, select, edit, select], records)


def popup_at(size):
    """The screen place of the top-level X window of `size` (an override-redirect popup)."""
    tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True,
                          text=True).stdout
    for width, height, x, y in re.findall(r"(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+", tree):
        if (int(width), int(height)) == size:
            return int(x), int(y)
    return None


class Gtk4Popover(unittest.TestCase):
    """GNOME Text Editor's main menu, a GTK 4 popover that its toolkit places from the window it
    pops up over and lists under its button, and the Save As dialog its item opens, which GTK 4
    lists neither active nor shown: keys typed into the dialog's name field."""

    def test_a_popovers_item_and_keys_in_the_dialog_it_opens(self):
        launch(["gnome-text-editor", "--standalone"], self)
        editor = window_of("Text Editor")
        place(editor, 60, 60, size=(700, 500))
        menu = shown("gnome-text-editor", "push button", "Menu", editor, relative=True)
        activate_window(editor)
        run = recording(self)
        click_at(menu)
        run.wait_settled(1)
        item = wait_until("the popover's item", lambda: find_element(
            "gnome-text-editor", lambda n: n.get_role_name() == "menu item" and
            n.get_name() == "Save As\u2026"))
        popover = item.get_parent()
        while popover.get_role_name() != "menu":
            popover = popover.get_parent()
        box = popover.get_extents(Atspi.CoordType.WINDOW)
        at = wait_until("the popover on the screen", lambda: popup_at((box.width, box.height)))
        own = item.get_extents(Atspi.CoordType.WINDOW)
        point = (at[0] + own.x - box.x + own.width // 2, at[1] + own.y - box.y + own.height // 2)
        click_at(point)
        dialog = window_of("^Save As$")
        cancel = shown("gnome-text-editor", "push button", "Cancel", dialog, relative=True)
        key("ctrl+a")
        type_text("report")
        click_at(cancel)
        run.wait_settled(3)
        records = run.end()
        chosen = [r for r in records if r["kind"] == "click"][1]
        self.assertEqual(target_of(chosen), ("AXMenuItem", "Save"), chosen)
        self.assertTrue(holds(chosen["target"]["frame"], point), chosen)
        keyed = [(r["kind"], r.get("target", {}).get("role"), r.get("target", {}).get(
            "windowTitle")) for r in records if r["kind"] in ("shortcut", "type")]
        self.assertEqual(keyed, [("shortcut", "AXTextField", "Save As"),
                                 ("type", "AXTextField", "Save As")], records)


class Toolkits(unittest.TestCase):
    """A Java Swing window, GTK 4's file chooser (a filler listed as not showing) opened by a
    shortcut in its editor's text view before anything in it was pressed, and LibreOffice
    Writer, whose dialogs' windows carry a class of their own: a click in one is Writer's, in
    the dialog's window."""

    def test_every_toolkit_gives_a_target_in_its_one_application(self):
        swing = start_swing(scratch(self), (700, 420), self)
        launch(["gnome-text-editor", "--standalone"], self)
        editor = window_of("Text Editor")
        place(editor, 60, 60, size=(560, 460))
        writer = start_writer(self)
        place(writer, 660, 40, size=(760, 360))
        order = shown("Swing order form", "push button", "Place order")
        view = shown("gnome-text-editor", "text", None, editor, relative=True)
        body = shown("soffice", "document text", None)
        activate_window(editor)
        run = recording(self)
        # Ctrl+O in the text view, focused unannounced since it opened, never pressed; once
        # the recorder has seen its window in front.
        run.wait_focus_polls(3)
        for n, (wid, point) in enumerate(((None, "Cancel"), (swing, order), (editor, view),
                                          (writer, body)), 1):
            if wid is None:
                key("ctrl+o")
                wid = window_of("^Open File$")
                point = shown("gnome-text-editor", "push button", point, wid, relative=True)
            activate_window(wid)
            click_at(point)
            run.wait_settled(n)
        key("ctrl+k")  # Writer's Hyperlink dialog, a window of the same process
        click_at(shown("soffice", "push button", "Close"))
        run.wait_settled(5)
        context = helper_json("context")
        records = run.end()
        clicks = [r for r in records if r["kind"] == "click"]
        self.assertEqual(target_of(clicks[1]), ("AXButton", "Place"), clicks)
        shortcut = [r.get("target", {}).get("role") for r in records if r["kind"] == "shortcut"]
        # Not the chooser, nor the window; in Writer, not the pane it marked focused when its
        # window became active.
        self.assertEqual(shortcut, ["AXTextArea", "AXTextArea"], records)
        # The chooser's own button, not the editor's window behind it.
        self.assertEqual(target_of(clicks[0]), ("AXButton", "Cancel"), clicks[0])
        self.assertEqual(clicks[3]["target"].get("role"), "AXTextArea", clicks[3])
        # GTK 4 names a button after its label twice, and what nothing labels after its class.
        gtk4 = [clicks[0]["target"].get("label"), clicks[2]["target"].get("label")]
        self.assertEqual(gtk4, ["Cancel", None], clicks)
        dialog = clicks[4]
        dialog = (target_of(dialog), dialog.get("app"), dialog["target"].get("windowTitle"))
        self.assertEqual(dialog, (("AXButton", "Close"), clicks[3].get("app"), "Hyperlink"), clicks)
        apps = [r.get("app") for r in clicks]
        self.assertTrue(all(apps), clicks)
        self.assertEqual(len(set(apps)), 3, clicks)
        # One process, one name: Writer's dialogs and menus are Writer, whatever is asked.
        self.assertEqual(context.get("appName"), apps[3], context)
        running = [a["name"] for a in helper_json("running-apps")]
        self.assertEqual(running.count(apps[3]), 1, running)


if __name__ == "__main__":
    unittest.main()
