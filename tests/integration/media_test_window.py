#!/usr/bin/python3
"""An accessible GTK 3 window with known widgets, for the media port contract tests.

    media_test_window.py [--title TITLE] [--at X,Y] [--no-focus]

--no-focus maps the window without taking the focus (it still goes on top). Once the window is mapped and laid out, prints one JSON line on standard output:

    {"pid": 123, "window": <X id>, "frame": [x, y, w, h], "widgets": {"name": [x, y, w, h]}}

Rectangles are in root-window pixels. The window stays until standard input closes.
"""
import argparse
import json
import os
import sys

import gi

gi.require_version("Atk", "1.0")
gi.require_version("Gtk", "3.0")
gi.require_version("GdkX11", "3.0")
from gi.repository import Atk, GdkX11, GLib, Gtk  # noqa: E402,F401

TITLE = "Media Contract Window"
PAGE_URL = "https://example.com/page?q=1"


class PageAccessible(Atk.Object, Atk.Document, Atk.Component):
    """A web document as a browser exposes it: role document-web, its address as DocURL."""

    def __init__(self, widget):
        super().__init__()
        self.widget = widget
        self.set_role(Atk.Role.DOCUMENT_WEB)
        self.set_name("Example page")

    def do_get_document_attribute_value(self, name):
        return {"DocURL": PAGE_URL}.get(name)

    def do_get_document_attributes(self):
        return []

    def do_get_n_children(self):
        return 0

    def do_ref_state_set(self):
        states = Atk.StateSet()
        for state in (Atk.StateType.VISIBLE, Atk.StateType.SHOWING, Atk.StateType.ENABLED):
            states.add_state(state)
        return states

    def do_get_extents(self, coord_type):
        toplevel = self.widget.get_toplevel()
        _, origin_x, origin_y = toplevel.get_window().get_origin()
        x, y = self.widget.translate_coordinates(toplevel, 0, 0)
        allocation = self.widget.get_allocation()
        return (origin_x + x, origin_y + y, allocation.width, allocation.height)

    def do_get_index_in_parent(self):
        parent = self.widget.get_parent()
        return parent.get_children().index(self.widget) if parent else -1


class Page(Gtk.DrawingArea):
    def __init__(self):
        super().__init__()
        self.accessible = None

    def do_get_accessible(self):
        if self.accessible is None:
            self.accessible = PageAccessible(self)
            self.accessible.set_parent(self.get_parent().get_accessible())
        return self.accessible


def build(title, at, focus):
    window = Gtk.Window(title=title)
    window.set_default_size(460, 340)
    window.move(*at)
    if not focus:
        window.set_accept_focus(False)
        window.set_focus_on_map(False)
    grid = Gtk.Grid(row_spacing=8, column_spacing=8, margin=16)
    window.add(grid)
    widgets = {}

    caption = Gtk.Label(label="Customer name", xalign=0)
    entry = Gtk.Entry(hexpand=True, text="Hello, 世界")
    entry.get_accessible().set_name("Customer name")
    grid.attach(caption, 0, 0, 1, 1)
    grid.attach(entry, 1, 0, 1, 1)
    widgets["caption"] = caption
    widgets["entry"] = entry

    password = Gtk.Entry(visibility=False, hexpand=True, text="hunter2-secret")
    password.get_accessible().set_name("Password")
    grid.attach(Gtk.Label(label="Password", xalign=0), 0, 1, 1, 1)
    grid.attach(password, 1, 1, 1, 1)
    widgets["password"] = password

    check = Gtk.CheckButton(label="Remember me", active=True)
    grid.attach(check, 1, 2, 1, 1)
    widgets["check"] = check

    scale = Gtk.Scale.new_with_range(Gtk.Orientation.HORIZONTAL, 0, 100, 1)
    scale.set_value(42.5)
    scale.set_digits(1)
    grid.attach(scale, 1, 3, 1, 1)
    widgets["scale"] = scale

    page = Page()
    page.set_size_request(-1, 40)
    grid.attach(page, 0, 5, 2, 1)
    widgets["page"] = page

    button = Gtk.Button(label="Submit")
    button.set_tooltip_text("Sends the form")
    grid.attach(button, 1, 4, 1, 1)
    widgets["button"] = button
    return window, widgets


def report(window, widgets):
    gdk_window = window.get_window()
    _, origin_x, origin_y = gdk_window.get_origin()
    rects = {}
    for name, widget in widgets.items():
        allocation = widget.get_allocation()
        x, y = widget.translate_coordinates(window, 0, 0)
        rects[name] = [origin_x + x, origin_y + y, allocation.width, allocation.height]
    print(
        json.dumps(
            {
                "pid": os.getpid(),
                "window": gdk_window.get_xid(),
                "frame": [origin_x, origin_y, window.get_allocated_width(), window.get_allocated_height()],
                "widgets": rects,
            }
        ),
        flush=True,
    )
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--title", default=TITLE)
    parser.add_argument("--at", default="40,40")
    parser.add_argument("--no-focus", action="store_true")
    args = parser.parse_args()
    window, widgets = build(args.title, [int(v) for v in args.at.split(",")], not args.no_focus)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    # Report once the layout has settled after mapping.
    window.connect("map-event", lambda *_: GLib.timeout_add(300, report, window, widgets) and False)
    GLib.io_add_watch(sys.stdin, GLib.IO_HUP | GLib.IO_IN, lambda *_: Gtk.main_quit() or False)
    Gtk.main()


if __name__ == "__main__":
    main()
