#!/usr/bin/python3
"""A GTK 3 window for the helper's integration tests.

    helper_test_window.py --title TITLE --app CLASS [--url URL] [--palette] [--text LINE ...]

Shows the given lines of text in a large font (for `ocr`) and, with --url, a page-like
element whose accessible role is document-web and whose "DocURL" document attribute is the
URL, as a web browser exposes its page. --palette adds a small utility window titled
"Palette" in front of the main one (and prints the main window's id). WM_CLASS is (app in lower case, app), so a desktop
entry with StartupWMClass=APP belongs to it. Once the window is mapped, prints its X window
id (decimal) and flushes standard output.
"""
import argparse
import signal
import sys

import gi

gi.require_version("Atk", "1.0")
gi.require_version("Gdk", "3.0")
gi.require_version("GdkX11", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Atk, Gdk, GdkX11, GLib, Gtk  # noqa: E402,F401


class PageAccessible(Gtk.WidgetAccessible, Atk.Document):
    """The accessible of a web page: role document-web, DocURL attribute."""

    url = ""

    def do_get_role(self):
        return Atk.Role.DOCUMENT_WEB

    def do_get_name(self):
        return "Test page"

    def do_get_document_attribute_value(self, name):
        return PageAccessible.url if name == "DocURL" else None

    def do_get_document_attributes(self):
        return None

    def do_get_document_locale(self):
        return "en"


class Page(Gtk.DrawingArea):
    pass


Page.set_accessible_type(PageAccessible.__gtype__)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--title", required=True)
    parser.add_argument("--app", required=True)
    parser.add_argument("--url")
    parser.add_argument("--palette", action="store_true")
    parser.add_argument("--text", nargs="*", default=[])
    args = parser.parse_args()

    GLib.set_prgname(args.app.lower())
    Gdk.set_program_class(args.app)
    window = Gtk.Window(title=args.title)
    window.set_default_size(900, 500)
    box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=12, margin=24)
    window.add(box)
    for line in args.text:
        label = Gtk.Label(xalign=0)
        label.set_markup(
            '<span font_desc="Noto Sans CJK JP 28">%s</span>' % GLib.markup_escape_text(line)
        )
        box.pack_start(label, False, False, 0)
    if args.url:
        PageAccessible.url = args.url
        page = Page()
        page.set_size_request(200, 80)
        box.pack_start(page, True, True, 0)
    window.connect("destroy", Gtk.main_quit)

    def announce(*_):
        print(window.get_window().get_xid(), flush=True)
        return False

    if args.palette:
        palette = Gtk.Window(title="Palette")
        palette.set_type_hint(Gdk.WindowTypeHint.UTILITY)
        palette.set_transient_for(window)
        palette.set_default_size(160, 120)
        palette.add(Gtk.Label(label="tools"))
        window.connect("map-event", lambda *_: palette.show_all())
        palette.connect("map-event", lambda *_: GLib.timeout_add(200, announce))
    else:
        window.connect("map-event", lambda *_: GLib.timeout_add(200, announce))
    window.show_all()
    signal.signal(signal.SIGTERM, lambda *_: Gtk.main_quit())
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, Gtk.main_quit)
    Gtk.main()


if __name__ == "__main__":
    sys.exit(main())
