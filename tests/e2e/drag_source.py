#!/usr/bin/python3
"""A GTK 3 drag source that offers what a file manager offers: file:// URIs as text/uri-list.

    drag_source.py FILE...          offers the files (as GNOME's and Xfce's file managers do)
    drag_source.py --text TEXT      offers plain text only, as an editor does
    drag_source.py --uri URI...     offers the URIs as given (for http and other addresses)

The window sits at the top left of the screen and is 120 x 120; press inside it, move past the
drag threshold and release over the target to drop. It prints "ready" once it is shown and
"finished ACTION" after each drag ends, then keeps running until it is killed.
"""
import sys

# GDK reads sys.argv as UTF-8 when it loads; a file name in another encoding must not reach it.
ARGS, sys.argv[1:] = sys.argv[1:], []

import gi  # noqa: E402

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

URI_LIST, TEXT = 0, 1


def main() -> None:
    args = ARGS
    if args and args[0] == "--text":
        targets = [Gtk.TargetEntry.new("text/plain;charset=utf-8", 0, TEXT),
                   Gtk.TargetEntry.new("text/plain", 0, TEXT)]
        payload_text, uris = args[1], []
    else:
        uris = args[1:] if args and args[0] == "--uri" else \
            [GLib.filename_to_uri(path, None) for path in args]
        targets = [Gtk.TargetEntry.new("text/uri-list", 0, URI_LIST)]
        payload_text = ""

    window = Gtk.Window(title="drag source")
    window.set_default_size(120, 120)
    window.move(0, 0)
    area = Gtk.EventBox()
    area.add(Gtk.Label(label="drag me"))
    window.add(area)
    area.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, targets,
                         Gdk.DragAction.COPY | Gdk.DragAction.MOVE)

    def on_get(_widget, _context, data, info, _time):
        if info == URI_LIST:
            data.set_uris(uris)
        else:
            data.set_text(payload_text, -1)

    def on_end(_widget, context):
        print("finished", context.get_selected_action().value_nicks[0]
              if context.get_selected_action() else "none", flush=True)

    area.connect("drag-data-get", on_get)
    area.connect("drag-end", on_end)
    window.connect("map-event", lambda *_: print("ready", flush=True))
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
