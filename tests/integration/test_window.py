#!/usr/bin/python3
"""An accessible GTK 3 window for the integration tests, benches and demo: a form (see `form`)
or, with --text, those lines in a large font; --url adds a document-web element with that
DocURL, --palette a utility window in front. Once placed, it prints its layout in root pixels:
{"pid": 1, "window": <X id>, "frame": [x, y, w, h], "widgets": {name: [x, y, w, h]}}"""
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


def form(grid, widgets):
    """Entries "Customer name", "Amount" and a filled "Password", "Save" (which also puts the
    heading in a frame) and "Clear" (which empties the entries), and a status line that shows
    the button's effect in the frame after it."""
    entries = {"name": (Gtk.Entry(hexpand=True), "Customer name"),
               "amount": (Gtk.Entry(hexpand=True), "Amount"),
               "password": (Gtk.Entry(visibility=False, text="hunter2-secret"), "Password")}
    widgets["heading"] = Gtk.Label(label="Customer form")
    grid.attach(widgets["heading"], 0, 0, 2, 1)

    def frame_heading():  # a level more above the heading, which stays in place
        if widgets["heading"].get_parent() is grid:
            grid.remove(widgets["heading"])
            grid.attach(Gtk.Frame(child=widgets["heading"], shadow_type=Gtk.ShadowType.NONE),
                        0, 0, 2, 1)
            grid.show_all()
    for row, (key, (entry, label)) in enumerate(entries.items(), start=1):
        grid.attach(Gtk.Label(label=label, xalign=0), 0, row, 1, 1)
        grid.attach(named(entry, label), 1, row, 1, 1)
        widgets[key] = entry
    buttons = Gtk.Box(spacing=8)
    for key, label in (("save", "Save"), ("clear", "Clear")):
        widgets[key] = named(Gtk.Button(label=label), label)
        buttons.pack_start(widgets[key], False, False, 0)
    status = Gtk.Label(label="Ready", xalign=0)
    widgets["save"].connect("clicked", lambda _: status.set_text("Saved") or frame_heading())
    widgets["clear"].connect("clicked", lambda _: [e.set_text("") for e, _ in entries.values()]
                             + [status.set_text("Cleared")])
    grid.attach(buttons, 1, 4, 1, 1)
    grid.attach(status, 0, 5, 2, 1)


def geometry(window, widgets):
    _, ox, oy = window.get_window().get_origin()

    def rect(widget):
        x, y = widget.translate_coordinates(window, 0, 0)
        return [ox + x, oy + y, widget.get_allocated_width(), widget.get_allocated_height()]
    return {"pid": os.getpid(), "window": window.get_window().get_xid(), "frame": rect(window),
            "widgets": {key: rect(widget) for key, widget in widgets.items()}}


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
                          ("--url", None)):
        parser.add_argument(flag, default=default)
    parser.add_argument("--palette", action="store_true")
    parser.add_argument("--text", nargs="*", default=[])
    args = parser.parse_args()

    GLib.set_prgname(args.app.lower())
    Gdk.set_program_class(args.app)
    window = Gtk.Window(title=args.title)
    window.set_default_size(460, 340)
    if args.at:
        window.move(*(int(v) for v in args.at.split(",")))
    grid = Gtk.Grid(row_spacing=8, column_spacing=8, margin=16)
    window.add(grid)
    widgets = {}
    for row, line in enumerate(args.text):
        label = Gtk.Label(xalign=0)
        label.set_markup('<span font_desc="Noto Sans CJK JP 28">%s</span>'
                         % GLib.markup_escape_text(line))
        grid.attach(label, 0, row, 1, 1)
    if not args.text:
        form(grid, widgets)
    if args.url:
        PageAccessible.url = args.url
        widgets["page"] = Page(hexpand=True)
        widgets["page"].set_size_request(200, 60)
        grid.attach(widgets["page"], 0, 6, 2, 1)

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
