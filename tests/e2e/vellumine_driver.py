"""Vellumine as a user meets it: its window, drops from a file-manager-like source, its box."""
import queue
import subprocess
import threading
from pathlib import Path

from x_session import wait_for

DONE = (86, 153, 203)
FAULT = (255, 0, 0)
WINDOW_NAME = "^Vellumine  v"
BOX_NAME = "^Vellumine$"
# Where the window is put, so that drags and pixel samples know where to go.
PLACE = (400, 200)
# Label1 within the client area.
LABEL = (0, 156, 197, 21)


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

    def drop(self, source_args):
        """Drags what source_args offer onto the drop zone; returns the source's end report."""
        source, source_window = self.session.start_drag_source(source_args)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(l.strip()) for l in source.stdout],
                         daemon=True).start()
        sx, sy, sw, sh = self.session.geometry(source_window)
        self.session.drag((sx + sw // 2, sy + sh // 2), self.drop_point())
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
