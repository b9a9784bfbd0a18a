"""Vellumine as a user meets it: its window, drops from a file-manager-like source, its box."""
import queue
import subprocess
import threading
from pathlib import Path

from x_session import SYSTEM_PYTHON, wait_for

DONE = (86, 153, 203)
FAULT = (255, 0, 0)
WINDOW_NAME = "^Vellumine  v"
BOX_NAME = "^Vellumine$"
DIALOG_NAME = "^Choose an image$"
# Where the window is put, so that drags and pixel samples know where to go.
PLACE = (400, 200)
# Label1 within the client area.
LABEL = (0, 156, 197, 21)
# The drop picture above it.
DROP_ZONE = (0, 0, 198, 156)

# Prints Vellumine's window and controls as a screen reader finds them over AT-SPI.
ACCESSIBLE_TREE = """
import pyatspi
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == "Vellumine":
        for window in app:
            print(window.getRoleName(), repr(window.name), sep="|")
            for child in window:
                states = child.getState()
                print(child.getRoleName(), repr(child.name), states.contains(pyatspi.STATE_CHECKED),
                      states.contains(pyatspi.STATE_FOCUSED), sep="|")
"""
# Prints each change of an object's name or text, with the object's role and new text.
ACCESSIBLE_EVENTS = """
import pyatspi
def show(event):
    text = event.any_data if isinstance(event.any_data, str) else event.source.name
    print(event.type, event.source.getRoleName(), text, sep="|", flush=True)
pyatspi.Registry.registerEventListener(
    show, "object:text-changed:insert", "object:property-change:accessible-name")
print("ready", flush=True)
pyatspi.Registry.start()
"""


class Vellumine:
    def __init__(self, session, binary):
        self.session = session
        self.binary = binary
        self.process = None
        self.window = None

    def start(self):
        log = self.session.log(f"vellumine-{id(self)}.log")
        self.process = self.session.spawn([str(self.binary)], stderr=log)
        self.window = wait_for("Vellumine's window",
                               lambda: self.session.windows(WINDOW_NAME, pid=self.process.pid))[0]
        self.session.xdotool("windowmove", "--sync", self.window, *PLACE)
        return self

    def drop_point(self):
        x, y, _, _ = self.session.geometry(self.window)
        return x + 99, y + 78

    def drop(self, source_args, before_release=lambda: None):
        """Drags what source_args offer onto the drop zone; returns the drag source and a queue
        of its reports. before_release runs while the drag is over the window."""
        source, source_window = self.session.start_drag_source(source_args)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(l.strip()) for l in source.stdout],
                         daemon=True).start()
        sx, sy, sw, sh = self.session.geometry(source_window)
        self.session.drag((sx + sw // 2, sy + sh // 2), self.drop_point(),
                          before_release=before_release)
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
        """Whether the drop picture is outlined in the "done" colour, as while files are over it."""
        x, y, _, _ = self.session.geometry(self.window)
        return self.session.pixels(x + DROP_ZONE[0], y + DROP_ZONE[1], *DROP_ZONE[2:]).get(
            DONE, 0) >= 500

    def press(self, keys):
        """Presses keys (xdotool's names) in Vellumine's window, once it is the active one."""
        # Keys go to the focused window: Qt ignores keys sent to a window with XSendEvent.
        # Under load the activation can be lost, and another window would get the keys instead.
        def activated():
            self.session.xdotool("windowactivate", "--sync", self.window, check=False)
            return self.session.xdotool("getactivewindow", check=False) == str(self.window)

        wait_for("Vellumine's window to become active", activated)
        self.session.xdotool("key", "--clearmodifiers", keys)

    def open_file(self, path):
        """Chooses path in the file dialog that Ctrl+O opens, typing it as a user does."""
        self.press("ctrl+o")
        dialog = wait_for("the file dialog",
                          lambda: self.session.windows(DIALOG_NAME, pid=self.process.pid))[0]
        wait_for("the dialog to take the focus",
                 lambda: self.session.xdotool("getwindowfocus", check=False) == str(dialog))
        self.session.xdotool("type", "--delay", "10", str(path))
        # The first Return may only close the name completer's list.
        for _ in range(3):
            self.session.xdotool("key", "Return")
            try:
                return wait_for("the dialog to close", lambda: not self.session.windows(
                    DIALOG_NAME, pid=self.process.pid), timeout=3)
            except AssertionError:
                pass
        raise AssertionError("the file dialog did not take the typed path")

    def accessible_tree(self):
        """Vellumine's window and its controls over AT-SPI: (role, name, checked, focused)."""
        out = self.session.run([SYSTEM_PYTHON, "-c", ACCESSIBLE_TREE], timeout=30)
        return [tuple(line.split("|")) for line in out.splitlines()]

    def accessible_events(self):
        """Starts listening to name and text changes; returns a queue of (event, role, text)."""
        listener = self.session.spawn([SYSTEM_PYTHON, "-c", ACCESSIBLE_EVENTS],
                                      stdout=subprocess.PIPE, text=True)
        if listener.stdout.readline().strip() != "ready":
            raise RuntimeError("the accessibility listener did not start")
        events = queue.Queue()
        threading.Thread(target=lambda: [events.put(tuple(line.rstrip("\n").split("|")))
                                         for line in listener.stdout], daemon=True).start()
        return events

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
        # Alt+F4 closes whichever window is active; under load the activation can be lost, and
        # another window (a clipboard manager's, say) would be closed instead.
        def activated():
            self.session.xdotool("windowactivate", "--sync", self.window, check=False)
            return self.session.xdotool("getactivewindow", check=False) == str(self.window)

        wait_for("Vellumine's window to become active", activated)
        self.session.xdotool("key", "--clearmodifiers", "alt+F4")
        return self.process.wait(timeout=10)

    def resident_kib(self):
        for line in Path(f"/proc/{self.process.pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
        raise AssertionError("no resident size for Vellumine")

    def running(self):
        return self.process.poll() is None

    def diagnose(self):
        return (f"running={self.running()} windows={self.session.windows(WINDOW_NAME)} "
                f"box={self.warning_box()} clipboard={str(self.session.clipboard())[:60]!r}")
