#!/usr/bin/python3
"""Shows an image unscaled in an undecorated full-screen window; prints the X window id."""
import signal
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("GdkX11", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GdkX11, GLib, Gtk  # noqa: E402,F401


def main():
    GLib.set_prgname("quillbenchpage")
    window = Gtk.Window(title="OCR benchmark page")
    window.set_decorated(False)
    window.add(Gtk.Image.new_from_file(sys.argv[1]))
    window.connect("destroy", Gtk.main_quit)
    window.connect("map-event", lambda *_: GLib.timeout_add(
        500, lambda: print(window.get_window().get_xid(), flush=True) and False))
    window.fullscreen()
    window.show_all()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, Gtk.main_quit)
    Gtk.main()


if __name__ == "__main__":
    main()
