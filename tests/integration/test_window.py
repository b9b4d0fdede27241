#!/usr/bin/python3
"""An accessible GTK 3 window with known widgets, for the integration tests, benches and demo.

Without --text: a form (heading, "Customer name" entry holding --value, "Amount" entry, a
filled password field, a check box, a slider at 42.5, "Save" and "Clear" buttons, a status
line); with --text, those lines in a large font. --url adds a page whose accessible role is
document-web with the URL as its DocURL; --palette puts a utility window "Palette" in front.
WM_CLASS is (class in lower case, class). Once the geometry has settled, prints one JSON line
in root-window pixels: {"pid": 1, "window": <X id>, "frame": [x, y, w, h], "widgets":
{name: [x, y, w, h]}}
"""
import argparse
import json
import os
import signal

import gi

gi.require_version("Atk", "1.0")
gi.require_version("Gdk", "3.0")
gi.require_version("GdkX11", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Atk, Gdk, GdkX11, GLib, Gtk  # noqa: E402,F401


class PageAccessible(Gtk.WidgetAccessible, Atk.Document):
    url = ""

    def do_get_role(self):
        return Atk.Role.DOCUMENT_WEB

    def do_get_name(self):
        return "Test page"

    def do_get_document_attribute_value(self, name):
        return PageAccessible.url if name == "DocURL" else None

    def do_get_document_attributes(self):
        return None


class Page(Gtk.DrawingArea):
    pass


Page.set_accessible_type(PageAccessible.__gtype__)


def named(widget, name):
    widget.get_accessible().set_name(name)
    return widget


def form(grid, widgets, value):
    status = Gtk.Label(label="Ready", xalign=0)
    entries = {"name": named(Gtk.Entry(hexpand=True, text=value), "Customer name"),
               "amount": named(Gtk.Entry(hexpand=True), "Amount"),
               "password": named(Gtk.Entry(visibility=False, text="hunter2-secret"), "Password")}
    widgets["heading"] = Gtk.Label(label="Customer form")
    grid.attach(widgets["heading"], 0, 0, 2, 1)
    for row, entry in enumerate(entries.values(), start=1):
        grid.attach(Gtk.Label(label=entry.get_accessible().get_name(), xalign=0), 0, row, 1, 1)
        grid.attach(entry, 1, row, 1, 1)
    widgets.update(entries)
    widgets["check"] = Gtk.CheckButton(label="Remember me", active=True)
    widgets["scale"] = Gtk.Scale.new_with_range(Gtk.Orientation.HORIZONTAL, 0, 100, 1)
    widgets["scale"].set_digits(1)
    widgets["scale"].set_value(42.5)
    buttons = Gtk.Box(spacing=8)
    for key, label in (("save", "Save"), ("clear", "Clear")):
        widgets[key] = named(Gtk.Button(label=label), label)
        buttons.pack_start(widgets[key], False, False, 0)

    def clear(_button):
        for entry in entries.values():
            entry.set_text("")
        status.set_text("Cleared")
    widgets["save"].connect("clicked", lambda _: status.set_text("Saved"))
    widgets["clear"].connect("clicked", clear)
    for row, key in enumerate(("check", "scale"), start=4):
        grid.attach(widgets[key], 1, row, 1, 1)
    grid.attach(buttons, 1, 6, 1, 1)
    widgets["status"] = status
    grid.attach(status, 0, 7, 2, 1)


def geometry(window, widgets):
    gdk_window = window.get_window()
    _, ox, oy = gdk_window.get_origin()
    rects = {}
    for key, widget in widgets.items():
        x, y = widget.translate_coordinates(window, 0, 0)
        allocation = widget.get_allocation()
        rects[key] = [ox + x, oy + y, allocation.width, allocation.height]
    return {"pid": os.getpid(), "window": gdk_window.get_xid(),
            "frame": [ox, oy, window.get_allocated_width(), window.get_allocated_height()],
            "widgets": rects}


def report_when_settled(window, widgets, previous=None):
    """The window manager places and decorates a window after mapping: report once two looks
    a tenth of a second apart agree."""
    current = geometry(window, widgets)
    if current != previous:
        GLib.timeout_add(100, report_when_settled, window, widgets, current)
    else:
        print(json.dumps(current), flush=True)
    return False


def main():
    parser = argparse.ArgumentParser()
    for flag, default in (("--title", "Test Window"), ("--app", "QuillTestWindow"), ("--at", None),
                          ("--value", ""), ("--url", None)):
        parser.add_argument(flag, default=default)
    parser.add_argument("--no-focus", action="store_true")
    parser.add_argument("--palette", action="store_true")
    parser.add_argument("--text", nargs="*", default=[])
    args = parser.parse_args()

    GLib.set_prgname(args.app.lower())
    Gdk.set_program_class(args.app)
    window = Gtk.Window(title=args.title)
    window.set_default_size(460, 340)
    if args.at:
        window.move(*(int(v) for v in args.at.split(",")))
    if args.no_focus:
        window.set_accept_focus(False)
        window.set_focus_on_map(False)
    grid = Gtk.Grid(row_spacing=8, column_spacing=8, margin=16)
    window.add(grid)
    widgets = {}
    for row, line in enumerate(args.text):
        label = Gtk.Label(xalign=0)
        label.set_markup('<span font_desc="Noto Sans CJK JP 28">%s</span>'
                         % GLib.markup_escape_text(line))
        grid.attach(label, 0, row, 1, 1)
    if not args.text:
        form(grid, widgets, args.value)
    if args.url:
        PageAccessible.url = args.url
        widgets["page"] = Page(hexpand=True)
        widgets["page"].set_size_request(200, 60)
        grid.attach(widgets["page"], 0, 8, 2, 1)

    last = window
    if args.palette:
        last = Gtk.Window(title="Palette", type_hint=Gdk.WindowTypeHint.UTILITY)
        last.set_transient_for(window)
        last.set_default_size(160, 120)
        last.add(Gtk.Label(label="tools"))
        window.connect("map-event", lambda *_: last.show_all())
    last.connect("map-event", lambda *_: report_when_settled(window, widgets))
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, Gtk.main_quit)
    Gtk.main()


if __name__ == "__main__":
    main()
