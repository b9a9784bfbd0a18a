#!/usr/bin/python3
"""A GTK 3 drag source that offers what a file manager offers: file:// URIs as text/uri-list.

    drag_source.py FILE...          offers the files (as GNOME's and Xfce's file managers do)
    drag_source.py --text TEXT      offers plain text only, as an editor does
    drag_source.py --uri URI...     offers the URIs as given (for http and other addresses)
    drag_source.py --target         takes files instead, as a second program that a user drops
                                    onto or pastes into: prints "dropped URI..." or, at Ctrl+V,
                                    "pasted URI..."

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


def take_files(window, area):
    """Prints the files dropped onto area, and those the clipboard offers at Ctrl+V."""
    area.drag_dest_set(Gtk.DestDefaults.ALL, [Gtk.TargetEntry.new("text/uri-list", 0, URI_LIST)],
                       Gdk.DragAction.COPY)
    area.connect("drag-data-received", lambda _widget, _context, _x, _y, data, _info, _time:
                 print("dropped", *data.get_uris(), flush=True))
    clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)

    def on_key(_widget, event):
        if event.keyval in (Gdk.KEY_v, Gdk.KEY_V) and event.state & Gdk.ModifierType.CONTROL_MASK:
            clipboard.request_uris(lambda _clipboard, uris: print("pasted", *uris, flush=True))

    window.connect("key-press-event", on_key)


def main() -> None:
    args = ARGS
    target = args == ["--target"]
    if target:
        payload_text, uris = "", []
    elif args and args[0] == "--text":
        targets = [Gtk.TargetEntry.new("text/plain;charset=utf-8", 0, TEXT),
                   Gtk.TargetEntry.new("text/plain", 0, TEXT)]
        payload_text, uris = args[1], []
    else:
        uris = args[1:] if args and args[0] == "--uri" else \
            [GLib.filename_to_uri(path, None) for path in args]
        targets = [Gtk.TargetEntry.new("text/uri-list", 0, URI_LIST)]
        payload_text = ""

    window = Gtk.Window(title="drop target" if target else "drag source")
    window.set_default_size(120, 120)
    window.move(0, 0)
    area = Gtk.EventBox()
    area.add(Gtk.Label(label="drag me"))
    window.add(area)
    if target:
        take_files(window, area)
    else:
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
