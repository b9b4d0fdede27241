#!/usr/bin/python3
"""A small accessible GTK 3 form for driving the recorder on an X desktop.

    test_window.py --title TITLE [--app NAME] [--at X,Y]

Shows one window with a label, two text fields, a password field and two buttons, each
with an accessible name. Once the window is mapped and placed, prints two lines on
standard output and flushes them:

    <X window id, decimal>
    {"window": id, "frame": [x, y, w, h], "widgets": {"name": [x, y, w, h], ...}}

Widget rectangles are in root-window pixels, so a driver can click the centre of one.
--app sets the program name and WM_CLASS, which is what the desktop reports as the
application's name when it has no desktop entry.
"""
import argparse
import json
import signal
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
gi.require_version("GdkX11", "3.0")
from gi.repository import Gdk, GdkX11, GLib, Gtk  # noqa: E402,F401


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--title", required=True)
    parser.add_argument("--app", default="StepreelForm")
    parser.add_argument("--at", default=None, help="top-left position X,Y")
    return parser.parse_args()


def named(widget, name):
    widget.get_accessible().set_name(name)
    return widget


class FormWindow(Gtk.Window):
    def __init__(self, title):
        super().__init__(title=title)
        self.set_default_size(420, 260)
        self.widgets = {}
        grid = Gtk.Grid(row_spacing=8, column_spacing=8, margin=16)
        self.add(grid)

        heading = Gtk.Label(label="Customer form")
        grid.attach(heading, 0, 0, 2, 1)
        self.widgets["heading"] = heading

        for row, (key, caption) in enumerate(
            [("name", "Customer name"), ("amount", "Amount")], start=1
        ):
            label = Gtk.Label(label=caption, xalign=0)
            entry = named(Gtk.Entry(hexpand=True), caption)
            grid.attach(label, 0, row, 1, 1)
            grid.attach(entry, 1, row, 1, 1)
            self.widgets[key] = entry

        password = named(Gtk.Entry(visibility=False, hexpand=True), "Password")
        grid.attach(Gtk.Label(label="Password", xalign=0), 0, 3, 1, 1)
        grid.attach(password, 1, 3, 1, 1)
        self.widgets["password"] = password

        buttons = Gtk.Box(spacing=8)
        save = named(Gtk.Button(label="Save"), "Save")
        clear = named(Gtk.Button(label="Clear"), "Clear")
        clear.connect("clicked", self.on_clear)
        buttons.pack_start(save, False, False, 0)
        buttons.pack_start(clear, False, False, 0)
        grid.attach(buttons, 1, 4, 1, 1)
        self.widgets["save"] = save
        self.widgets["clear"] = clear

        self.status = Gtk.Label(label="Ready", xalign=0)
        grid.attach(self.status, 0, 5, 2, 1)
        self.widgets["status"] = self.status
        save.connect("clicked", lambda _b: self.status.set_text("Saved"))

        self.connect("destroy", Gtk.main_quit)
        self.connect("map-event", self.on_mapped)
        self.reported = False

    def on_clear(self, _button):
        for key in ("name", "amount", "password"):
            self.widgets[key].set_text("")
        self.status.set_text("Cleared")

    def on_mapped(self, *_args):
        # The window manager places and decorates the window after mapping; report once
        # the geometry has settled.
        GLib.timeout_add(150, self.report_when_settled, None)
        return False

    def geometry(self):
        gdk_window = self.get_window()
        _, ox, oy = gdk_window.get_origin()
        widgets = {}
        for key, widget in self.widgets.items():
            alloc = widget.get_allocation()
            wx, wy = widget.translate_coordinates(self, 0, 0)
            widgets[key] = [ox + wx, oy + wy, alloc.width, alloc.height]
        frame = gdk_window.get_frame_extents()
        return {
            "window": gdk_window.get_xid(),
            "frame": [frame.x, frame.y, frame.width, frame.height],
            "widgets": widgets,
        }

    def report_when_settled(self, previous):
        current = self.geometry()
        if current != previous:
            GLib.timeout_add(150, self.report_when_settled, current)
            return False
        if not self.reported:
            self.reported = True
            print(current["window"])
            print(json.dumps(current))
            sys.stdout.flush()
        return False


def main():
    args = parse_args()
    GLib.set_prgname(args.app)
    Gdk.set_program_class(args.app)
    window = FormWindow(args.title)
    if args.at:
        x, y = (int(v) for v in args.at.split(","))
        window.move(x, y)
    window.show_all()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, Gtk.main_quit)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGINT, Gtk.main_quit)
    Gtk.main()


if __name__ == "__main__":
    main()
