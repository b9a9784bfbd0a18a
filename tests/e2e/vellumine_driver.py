"""Vellumine as a user meets it: its window, drops from a file-manager-like source, its box."""
import os
import queue
import re
import subprocess
import threading
import time
from pathlib import Path

from x_session import SYSTEM_PYTHON, wait_for

DONE = (86, 153, 203)
FAULT = (255, 0, 0)
WINDOW_NAME = "^Vellumine  v"
BOX_NAME = "^Vellumine$"
# Where the window is put, so that drags and pixel samples know where to go.
PLACE = (400, 200)


def form1_numbers(field):
    """The numbers of one of Form1's fields in window/form1.h, where both backends read it."""
    form1_h = (Path(__file__).resolve().parents[2] / "window" / "form1.h").read_text()
    line = re.search(rf"^\s*\.{field} = (.*),$", form1_h, re.MULTILINE).group(1)
    return [int(number) for number in re.findall(r"\d+", line)]


# Label1 within the client area, and the drop picture above it.
LABEL = (0, 156, 197, 21)
DROP_ZONE = form1_numbers("drop_zone")
# The drop outline's straight runs, which each backend draws on whole pixels in DONE.
_, _, _WIDTH, _HEIGHT, _CORNER, _PEN = form1_numbers("drop_outline")
OUTLINE_PIXELS = 2 * _PEN * (_WIDTH + _HEIGHT - 4 * _CORNER)
# Prints Vellumine's window and controls as a screen reader finds them (role|name|checked|
# focused), then "ready", then each name or text change and each object shown (event|role|text).
ACCESSIBILITY_PROBE = """
import pyatspi, time
show = lambda *values: print(*values, sep="|", flush=True)
while not [app for app in pyatspi.Registry.getDesktop(0) if app and app.name == "Vellumine"]:
    time.sleep(0.1)
for window in [app for app in pyatspi.Registry.getDesktop(0) if app.name == "Vellumine"][0]:
    show(window.getRoleName(), window.name)
    for c in window:
        show(c.getRoleName(), c.name, *map(c.getState().contains, (pyatspi.STATE_CHECKED,
                                                                     pyatspi.STATE_FOCUSED)))
pyatspi.Registry.registerEventListener(lambda e: show(e.type, e.source.getRoleName(), e.any_data
    if isinstance(e.any_data, str) else e.source.name), "object:text-changed:insert",
    "object:property-change:accessible-name", "object:state-changed:showing")
show("ready")
pyatspi.Registry.start()
"""
# Copies as a GTK program does: "--pixbuf FILE" a picture, as image viewers and screenshot tools
# do; "TARGET FILE ..." each file's bytes as its target.
PICTURE_SOURCE = """
import sys, gi
gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GdkPixbuf, Gtk
clipboard = Gdk.SELECTION_CLIPBOARD
if sys.argv[1] == "--pixbuf":
    Gtk.Clipboard.get(clipboard).set_image(GdkPixbuf.Pixbuf.new_from_file(sys.argv[2]))
else:
    offers, owner = dict(zip(sys.argv[1::2], sys.argv[2::2])), Gtk.Invisible()
    owner.connect("selection-get", lambda _w, data, _i, _t: data.set(
        data.get_target(), 8, open(offers[data.get_target().name()], "rb").read()))
    for target in offers:
        Gtk.selection_add_target(owner, clipboard, Gdk.Atom.intern(target, False), 0)
    Gtk.selection_owner_set(owner, clipboard, Gdk.CURRENT_TIME)
Gtk.main()
"""


class Vellumine:
    def __init__(self, session, binary):
        self.session = session
        self.binary = binary
        self.process = None
        self.window = None

    def start(self, *args):
        log = self.session.log(f"vellumine-{id(self)}.log")
        self.process = self.session.spawn([str(self.binary), *args], stderr=log)
        self.window = wait_for("Vellumine's window",
                               lambda: self.session.windows(WINDOW_NAME, pid=self.process.pid))[0]
        self.session.place(self.window, *PLACE)
        return self

    def drop_point(self):
        x, y, _, _ = self.session.geometry(self.window)
        return x + 99, y + 78

    def drop(self, source_args, before_release=lambda: None):
        """Drags what source_args offer onto the drop zone; returns the source and its reports."""
        source, source_window = self.session.start_drag_source(source_args)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(l.strip()) for l in source.stdout],
                         daemon=True).start()
        sx, sy, sw, sh = self.session.geometry(source_window)
        self.session.drag((sx + sw // 2, sy + sh // 2), self.drop_point(), 12, before_release)
        return source, lines

    def drop_and_settle(self, source_args, timeout=10):
        """Drops and waits for the drag source to hear that the drop is over; returns its report.

        A file drop that the source reports as "finished none" never reached the window: on a
        loaded machine the button can go up before the window has answered the drag's last
        position, and the source then gives up. Such a drop is made again, up to three times.
        Both programs take every file drop, so a program that refused one would still fail.
        """
        settled = None
        for _ in range(3):
            settled = self._drop_once(source_args, timeout)
            if settled != "finished none" or source_args[:1] in (["--text"], ["--uri"]):
                break
        return settled

    def _drop_once(self, source_args, timeout):
        source, lines = self.drop(source_args)
        try:
            return lines.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError("the drop did not finish: "
                                 f"{self.diagnose()}") from None
        finally:
            source.terminate()

    def status_colour(self):
        """'done' or 'fault' by the colour of the status line's text, or None when empty."""
        x, y, _, _ = self.session.geometry(self.window)
        counts = self.session.pixels(x + LABEL[0], y + LABEL[1], LABEL[2], LABEL[3])
        if counts.get(DONE, 0) >= 8:
            return "done"
        if counts.get(FAULT, 0) >= 8:
            return "fault"
        return None

    def drop_target_shown(self):
        x, y, _, _ = self.session.geometry(self.window)
        zone = self.session.pixels(x + DROP_ZONE[0], y + DROP_ZONE[1], *DROP_ZONE[2:])
        return zone.get(DONE, 0) >= OUTLINE_PIXELS  # outlined, as while files are over it

    def activate(self):
        """Makes Vellumine's window the active one; under load an activation can be lost."""
        def activated():
            self.session.xdotool("windowactivate", "--sync", self.window, check=False)
            return self.session.xdotool("getactivewindow", check=False) == str(self.window)

        wait_for("Vellumine's window to become active", activated)

    def press(self, keys):
        """Sends keys to the active window (Qt ignores XSendEvent's); returns when they went."""
        self.activate()
        sent = time.monotonic()
        self.session.xdotool("key", "--clearmodifiers", keys)
        return sent

    def paste(self, *offers):
        """Copies with PICTURE_SOURCE's arguments, or with xclip when one target is offered
        alone, and presses Ctrl+V; returns when the key went."""
        args = [str(arg) for arg in offers]
        if len(args) == 2 and args[0] != "--pixbuf":
            self.session.spawn(["xclip", "-selection", "clipboard", "-t", args[0], "-i", args[1]])
        else:
            self.session.spawn([SYSTEM_PYTHON, "-c", PICTURE_SOURCE, *args])
        target = "image/png" if args[0] == "--pixbuf" else args[0]
        wait_for(f"the clipboard to offer {target}", lambda: target in (
            self.session.clipboard("-t", "TARGETS") or "").split())
        return self.press("ctrl+v")

    def open_file(self, path):
        """Types path into the file dialog that Ctrl+O opens, and presses Return."""
        self.press("ctrl+o")
        dialog = lambda: self.session.windows("^Choose an image$", pid=self.process.pid)
        wait_for("the dialog to take the focus", lambda: dialog() and self.session.xdotool(
            "getwindowfocus", check=False) == str(dialog()[0]))
        self.session.xdotool("type", "--delay", "10", str(path))
        # Each Return after the first (which may only close the name completer) is a retry.
        wait_for("the dialog to close", lambda: self.session.xdotool("key", "Return") or
                 not dialog(), interval=1)

    def accessibility(self):
        """Starts ACCESSIBILITY_PROBE; returns a queue of its lines, split into tuples."""
        probe = self.session.spawn([SYSTEM_PYTHON, "-c", ACCESSIBILITY_PROBE],
                                   stdout=subprocess.PIPE, text=True)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(tuple(line.rstrip("\n").split("|")))
                                         for line in probe.stdout], daemon=True).start()
        return lines

    def warning_box(self):
        boxes = self.session.windows(BOX_NAME, pid=self.process.pid)
        return boxes[0] if boxes else None

    def close_box(self, box):
        # Keys go to the focused window: Qt ignores keys sent to a window with XSendEvent.
        self.session.xdotool("windowactivate", "--sync", box, check=False)
        wait_for("the box to take the focus",
                 lambda: self.session.xdotool("getwindowfocus", check=False) == str(box))
        self.session.xdotool("key", "Return")
        wait_for("the warning box to close", lambda: self.warning_box() is None)

    def close(self):
        """Closes the window as a user does, through the window manager."""
        # Alt+F4 closes whichever window is active: another (a clipboard manager's, say) would
        # be closed instead.
        self.activate()
        pressed = time.monotonic()
        self.session.xdotool("key", "--clearmodifiers", "alt+F4")
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            # Once in some twenty runs the key never reached the window manager (the window
            # stayed up, answering the clipboard); a user presses again. A program that hangs
            # while closing still fails below.
            if self.session.windows(WINDOW_NAME, pid=str(self.process.pid)):
                self.activate()
                pressed = time.monotonic()
                self.session.xdotool("key", "--clearmodifiers", "alt+F4")
        code = self.process.wait(timeout=10)
        self.exit_seconds = time.monotonic() - pressed  # from the key that closed it
        return code

    def resident_kib(self):
        return self.memory_kib("VmRSS")

    def cpu_seconds(self):
        """The processor time Vellumine has used, all its threads, user and system."""
        fields = Path(f"/proc/{self.process.pid}/stat").read_text().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def memory_kib(self, field):
        """A size from /proc/PID/status: VmRSS now, or VmHWM, the peak."""
        for line in Path(f"/proc/{self.process.pid}/status").read_text().splitlines():
            if line.startswith(field + ":"):
                return int(line.split()[1])
        raise AssertionError(f"no {field} for Vellumine")

    def running(self):
        return self.process.poll() is None

    def diagnose(self):
        return (f"running={self.running()} windows={self.session.windows(WINDOW_NAME)} "
                f"box={self.warning_box()} clipboard={str(self.session.clipboard())[:60]!r}")
