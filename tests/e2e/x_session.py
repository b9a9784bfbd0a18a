"""A private X desktop for driving Vellumine from outside: Xvfb, openbox, xdotool, xclip.

Everything started here is stopped again when the session closes, on every path. Waits poll
with a timeout; nothing sleeps blindly for an effect to happen.
"""
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import uuid
from pathlib import Path

HERE = Path(__file__).resolve().parent
DRAG_SOURCE = HERE / "drag_source.py"
# Test tooling that needs Debian's GTK bindings runs on Debian's own interpreter.
SYSTEM_PYTHON = "/usr/bin/python3"
PROBE_TITLE = "window manager probe"


class Timeout(AssertionError):
    pass


def wait_for(what, probe, timeout=10.0, interval=0.05, raise_=True):
    """Polls probe() until it returns something truthy; fails naming what it waited for."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = probe()
        if last:
            return last
        if time.monotonic() > deadline:
            if not raise_:
                return last
            raise Timeout(f"timed out after {timeout:.0f} s waiting for {what} (last: {last!r})")
        time.sleep(interval)


class XSession:
    def __init__(self, width=1024, height=768, window_manager=True):
        self.width, self.height = width, height
        self.window_manager = window_manager
        self.processes = []
        self.logs = []
        self.tmp = Path(tempfile.mkdtemp(prefix="vellumine-e2e-"))
        self.env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"):
            self.env.pop(name, None)
        # Every process of this session carries the mark, and no other does: a run of the same
        # build in another namespace can have the same display number and the same binary.
        self.env["VELLUMINE_TEST_SESSION"] = uuid.uuid4().hex
        self.env["XDG_RUNTIME_DIR"] = str(self.tmp / "runtime")
        (self.tmp / "runtime").mkdir(mode=0o700)
        self.env["HOME"] = str(self.tmp / "home")
        (self.tmp / "home").mkdir()
        # Programs keep their settings and history in the session's folder, not the machine's.
        for name, folder in (("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                             ("XDG_CACHE_HOME", "cache")):
            self.env[name] = str(self.tmp / "home" / folder)

    # -- life cycle -------------------------------------------------------------------------
    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def start(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
             f"{self.width}x{self.height}x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(xvfb)
        os.close(write_fd)
        with os.fdopen(read_fd) as display_pipe:
            number = display_pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = f":{number}"
        self.env["DISPLAY"] = self.display
        if self.window_manager:
            self.spawn(["openbox"])
            wait_for("the window manager", lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in
                     self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False))
            self.wait_until_windows_are_managed()

    def wait_until_windows_are_managed(self, attempts=10):
        """Waits until the window manager maps a new window.

        Openbox (3.6) announces itself before it is ready: a window mapped in its first moments
        can stay unmapped for good. A probe window is shown, and shown again, until one appears.
        """
        for _ in range(attempts):
            probe = self.spawn(["xmessage", "-title", PROBE_TITLE, "probe"])
            try:
                wait_for("the probe window", lambda: self.windows(f"^{PROBE_TITLE}$"),
                         timeout=2)
                return
            except Timeout:
                pass
            finally:
                probe.terminate()
                probe.wait(timeout=10)
                self.processes.remove(probe)
        raise RuntimeError("the window manager maps no windows")

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
        for process in reversed(self.processes):
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        for process in self.processes:
            for stream in (process.stdin, process.stdout, process.stderr):
                if stream:
                    stream.close()
        self.processes.clear()
        for log in self.logs:
            log.close()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def spawn(self, args, **kwargs):
        kwargs.setdefault("stdout", subprocess.DEVNULL)
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        process = subprocess.Popen(args, env=self.env, **kwargs)
        self.processes.append(process)
        return process

    def log(self, name):
        """A file in the session's folder for a program's output, closed with the session."""
        log = open(self.tmp / name, "w")
        self.logs.append(log)
        return log

    def run(self, args, check=True, timeout=20, input=None):
        done = subprocess.run(args, env=self.env, capture_output=True, text=True,
                              timeout=timeout, input=input)
        if check and done.returncode != 0:
            raise RuntimeError(f"{' '.join(map(str, args))} failed: {done.stderr.strip()}")
        return done.stdout

    def start_accessibility_bus(self):
        """A session bus with AT-SPI's bus on it; Qt programs started afterwards use it."""
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, text=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        self.spawn(["/usr/libexec/at-spi-bus-launcher"])
        wait_for("the accessibility bus", lambda: "unix:" in self.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"], check=False))
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"  # as when a screen reader runs

    # -- windows ----------------------------------------------------------------------------
    def xdotool(self, *args, check=True):
        return self.run(["xdotool", *map(str, args)], check=check).strip()

    def windows(self, name_regex=None, pid=None):
        args = ["search", "--all", "--onlyvisible"]
        args += ["--pid", pid] if pid is not None else []
        args += ["--name", name_regex] if name_regex is not None else ["--name", "."]
        out = self.xdotool(*args, check=False)
        return [int(w) for w in out.split()]

    def geometry(self, window):
        """The window's client area as (x, y, width, height) on the screen."""
        # xwininfo rather than xdotool: xdotool counts the frame's offset twice under openbox.
        out = self.run(["xwininfo", "-id", str(window)])
        values = dict(re.findall(r"^\s*(Absolute upper-left [XY]|Width|Height):\s+(-?\d+)", out,
                                 re.MULTILINE))
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def prop(self, window, name):
        return self.run(["xprop", "-id", str(window), name], check=False).strip()

    def stacking(self):
        out = self.prop_root("_NET_CLIENT_LIST_STACKING")
        return [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", out)]

    def prop_root(self, name):
        return self.run(["xprop", "-root", name], check=False).strip()

    # -- clipboard --------------------------------------------------------------------------
    def clipboard(self, *target):
        """The clipboard's text (or ["-t", TARGET]), or None when nobody offers it."""
        # xclip waits for ever on an owner that hands the clipboard on while it asks (seen with
        # CopyQ reading at the same moment): no answer in time counts as none, and a poll asks again.
        try:
            done = subprocess.run(["xclip", "-selection", "clipboard", "-o", *target],
                                  env=self.env, capture_output=True, timeout=3)
        except subprocess.TimeoutExpired:
            return None
        return done.stdout.decode("utf-8", "replace") if done.returncode == 0 else None

    def set_clipboard(self, text, *target):
        # xclip stays behind to serve the text until another program takes the clipboard.
        owner = self.spawn(["xclip", "-selection", "clipboard", "-i", "-quiet", *target],
                           stdin=subprocess.PIPE)
        owner.stdin.write(text.encode())
        owner.stdin.close()
        wait_for(f"the clipboard to read {text!r}", lambda: self.clipboard(*target) == text)

    def start_copyq(self):
        """CopyQ on a session bus of its own; returns once it records what is copied."""
        # The bus is started here rather than by dbus-run-session, which leaves its bus running
        # when it is stopped by a signal.
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, text=True)
        self.spawn(["env", f"DBUS_SESSION_BUS_ADDRESS={bus.stdout.readline().strip()}", "copyq"])
        marks = iter(range(1000))

        def recorded():
            # It takes in only changes made after it started: each try copies anew.
            mark = f"CopyQ listens {next(marks)}"
            self.set_clipboard(mark)
            return wait_for("CopyQ's history", lambda: self.run(
                ["copyq", "read", "0"], check=False) == mark, timeout=1, raise_=False)

        wait_for("CopyQ to record the clipboard", recorded, timeout=60)

    def running(self, *programs):
        """The ids of this session's processes that run one of the given programs."""
        found, mark = [], f"VELLUMINE_TEST_SESSION={self.env['VELLUMINE_TEST_SESSION']}".encode()
        for process in Path("/proc").iterdir():
            try:
                if (process.name.isdigit() and os.readlink(process / "exe") in map(str, programs)
                        and mark in (process / "environ").read_bytes().split(b"\0")):
                    found.append(int(process.name))
            except OSError:
                pass  # ended meanwhile
        return found

    # -- pixels -----------------------------------------------------------------------------
    def pixels(self, x, y, width, height):
        """Counts of each (r, g, b) colour in a screen rectangle."""
        out = self.run(["import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                        "+repage", "-depth", "8", "txt:-"])
        counts = {}
        # One pixel a line, "X,Y: (R,G,B)  #RRGGBB  srgb(R,G,B)": only the first triple counts.
        for match in re.finditer(r"^\d+,\d+: \((\d+),(\d+),(\d+)", out, re.MULTILINE):
            colour = tuple(int(v) for v in match.groups())
            counts[colour] = counts.get(colour, 0) + 1
        return counts

    def screenshot(self, path, crop=None):
        args = ["import", "-window", "root"]
        if crop:
            args += ["-crop", "{}x{}+{}+{}".format(*crop), "+repage"]
        self.run(args + [str(path)])

    # -- pointer ----------------------------------------------------------------------------
    def drag(self, start, end, steps=12, before_release=lambda: None):
        """Presses at start, moves past the drag threshold in small steps, releases at end."""
        (x0, y0), (x1, y1) = start, end
        self.xdotool("mousemove", "--sync", x0, y0)
        self.xdotool("mousedown", 1)
        for dx in range(3, 25, 3):
            self.xdotool("mousemove", x0 + dx, y0 + dx)
            time.sleep(0.02)
        for i in range(1, steps + 1):
            self.xdotool("mousemove", x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
            time.sleep(0.02)
        # Let the target answer the last position before the button goes up.
        time.sleep(0.1)
        self.xdotool("mousemove", x1 + 1, y1)
        time.sleep(0.1)
        try:
            before_release()
        finally:
            self.xdotool("mouseup", 1)

    def start_drag_source(self, args):
        source = self.spawn([SYSTEM_PYTHON, str(DRAG_SOURCE), *map(str, args)],
                            stdout=subprocess.PIPE, text=True)
        line = source.stdout.readline().strip()
        if line != "ready":
            raise RuntimeError(f"the drag source did not start: {line!r}")
        window = wait_for("the drag source's window", lambda: self.windows(pid=source.pid))[0]
        return source, window
