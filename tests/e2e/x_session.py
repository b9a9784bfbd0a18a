"""A private desktop for driving Vellumine from outside: Xvfb, openbox, xdotool and xclip, or
(SwaySession) sway without a screen, with XWayland, wl-copy and wl-paste.

Everything started here is stopped again when the session closes, on every path. Waits poll
with a timeout; nothing sleeps blindly for an effect to happen.
"""
import ctypes
import json
import os
import pwd
import re
import shutil
import signal
import socket
import struct
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
# Left Ctrl and V as a keyboard reports them (evdev key codes).
CTRL_V = (29, 47)


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
    drag_source = DRAG_SOURCE
    as_user = {}  # how the session's programs are started: as this process's user here

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
        process = subprocess.Popen(args, env=self.env, **self.as_user, **kwargs)
        self.processes.append(process)
        return process

    def reachable(self, path):
        """A copy of path that the session's user can run, wherever the build tree lives."""
        copy = self.tmp / "bin" / Path(path).name
        copy.parent.mkdir(exist_ok=True)
        shutil.copy(path, copy)
        copy.chmod(0o755)
        return copy

    def log(self, name):
        """A file in the session's folder for a program's output, closed with the session."""
        log = open(self.tmp / name, "w")
        self.logs.append(log)
        return log

    def run(self, args, check=True, timeout=20, input=None):
        done = subprocess.run(args, env=self.env, capture_output=True, text=True,
                              timeout=timeout, input=input, **self.as_user)
        if check and done.returncode != 0:
            raise RuntimeError(f"{' '.join(map(str, args))} failed: {done.stderr.strip()}")
        return done.stdout

    def bus(self):
        """The address of a new session bus, which ends with the session."""
        # Started here rather than by dbus-run-session, which leaves its bus running when it is
        # stopped by a signal.
        return self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                          stdout=subprocess.PIPE, text=True).stdout.readline().strip()

    def start_accessibility_bus(self):
        """A session bus with AT-SPI's bus on it; Qt programs started afterwards use it."""
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus()
        self.spawn(["/usr/libexec/at-spi-bus-launcher"])
        wait_for("the accessibility bus", lambda: "unix:" in self.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"], check=False))
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"  # as when a screen reader runs

    # -- windows ----------------------------------------------------------------------------
    def place(self, window, x, y):
        self.xdotool("windowmove", "--sync", window, x, y)

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
    def read(self, args, timeout=3, encoding="utf-8"):
        """What a program that pastes prints, or None when it fails or hangs."""
        try:
            done = subprocess.run(args, env=self.env, capture_output=True, timeout=timeout,
                                  **self.as_user)
        except subprocess.TimeoutExpired:
            return None
        return done.stdout.decode(encoding, "replace") if done.returncode == 0 else None

    def clipboard(self, *target, **how):
        """The clipboard's text (or ["-t", TARGET]), or None when nobody offers it."""
        # xclip waits for ever on an owner that hands the clipboard on while it asks (seen with
        # CopyQ reading at the same moment): no answer in time counts as none, and a poll asks
        # again.
        return self.read(["xclip", "-selection", "clipboard", "-o", *target], **how)

    def set_clipboard(self, text, *target):
        # xclip stays behind to serve the text until another program takes the clipboard.
        owner = self.spawn(["xclip", "-selection", "clipboard", "-i", "-quiet", *target],
                           stdin=subprocess.PIPE)
        owner.stdin.write(text.encode())
        owner.stdin.close()
        wait_for(f"the clipboard to read {text!r}", lambda: self.clipboard(*target) == text)

    def start_copyq(self):
        """CopyQ on a session bus of its own; returns once it records what is copied."""
        self.spawn(["env", f"DBUS_SESSION_BUS_ADDRESS={self.bus()}", "copyq"])
        self.wait_until_recorded("CopyQ", lambda mark: self.run(["copyq", "read", "0"],
                                                                check=False) == mark)

    def wait_until_recorded(self, manager, holds):
        """Copies marks until the clipboard manager's history holds(mark) one of them."""
        marks = iter(range(1000))

        def recorded():
            # A manager takes in only changes made after it started: each try copies anew.
            mark = f"{manager} listens {next(marks)}"
            self.set_clipboard(mark)
            return wait_for(f"{manager}'s history", lambda: holds(mark), timeout=1, raise_=False)

        wait_for(f"{manager} to record the clipboard", recorded, timeout=60)

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
        self.move(x0, y0, sync=True)
        self.button(True)
        for dx in range(3, 25, 3):
            self.move(x0 + dx, y0 + dx)
            time.sleep(0.02)
        for i in range(1, steps + 1):
            self.move(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
            time.sleep(0.02)
        # Let the target answer the last position before the button goes up.
        time.sleep(0.1)
        self.move(x1 + 1, y1)
        time.sleep(0.1)
        try:
            before_release()
        finally:
            self.button(False)

    def move(self, x, y, sync=False):
        """Moves the pointer to (x, y); with sync, returns once it is there."""
        self.xdotool("mousemove", *(["--sync"] if sync else []), x, y)

    def button(self, pressed):
        self.xdotool("mousedown" if pressed else "mouseup", 1)

    def start_drag_source(self, args):
        source = self.spawn([SYSTEM_PYTHON, str(self.drag_source), *map(str, args)],
                            stdout=subprocess.PIPE, text=True)
        line = source.stdout.readline().strip()
        if line != "ready":
            raise RuntimeError(f"the drag source did not start: {line!r}")
        window = wait_for("the drag source's window", lambda: self.windows(pid=source.pid))[0]
        return source, window


class VirtualInput:
    """A mouse and a keyboard of our own on a wlroots compositor (wlr-virtual-pointer-unstable-v1,
    virtual-keyboard-unstable-v1), spoken in the Wayland wire protocol: a headless sway has no
    input device, and offers its clients no pointer or keyboard until a program adds one. They
    stay for the session, as a real mouse and keyboard do. Positions are the layout's pixels."""

    POINTER, KEYBOARD = 5, 8  # the object ids of the two devices
    MODIFIERS = {29: 1 << 2}  # Left Ctrl: Control, the third modifier of xkbcommon's keymaps

    def __init__(self, path, width, height):
        self.extent, self.epoch = (width, height), time.monotonic()
        self.socket = socket.socket(socket.AF_UNIX)
        self.socket.connect(str(path))
        self.send(1, 1, 2)  # wl_display.get_registry: the registry is object 2
        names = self.roundtrip(3)
        bind = lambda interface, new_id: self.send(2, 0, names[interface], interface, 1, new_id)
        bind("zwlr_virtual_pointer_manager_v1", 4)
        self.send(4, 0, 0, self.POINTER)  # create_virtual_pointer on the default seat
        bind("wl_seat", 6)
        bind("zwp_virtual_keyboard_manager_v1", 7)
        self.send(7, 0, 6, self.KEYBOARD)  # create_virtual_keyboard on that seat
        keymap = self.us_keymap()
        with os.fdopen(os.memfd_create("keymap"), "wb") as file:
            file.write(keymap)
            file.flush()
            # keymap(format xkb_v1, fd, size): the descriptor travels beside the message.
            socket.send_fds(self.socket, [struct.pack("<IIII", self.KEYBOARD, 16 << 16, 1,
                                                      len(keymap))], [file.fileno()])
        self.roundtrip(9)  # the seat has both from here on

    @staticmethod
    def us_keymap():
        """The keymap of a US keyboard, as xkbcommon writes it, ended by a NUL."""
        xkb = ctypes.CDLL("libxkbcommon.so.0")
        xkb.xkb_context_new.restype = xkb.xkb_keymap_new_from_names.restype = ctypes.c_void_p
        xkb.xkb_keymap_new_from_names.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int]
        xkb.xkb_keymap_get_as_string.restype = ctypes.c_char_p
        xkb.xkb_keymap_get_as_string.argtypes = [ctypes.c_void_p, ctypes.c_int]
        keymap = xkb.xkb_keymap_new_from_names(xkb.xkb_context_new(0), None, 0)
        return xkb.xkb_keymap_get_as_string(keymap, 1) + b"\0"

    def send(self, target, opcode, *args):
        """Sends a request whose arguments are each a 32-bit unsigned number or a string."""
        payload = b""
        for arg in args:
            if isinstance(arg, str):
                text = arg.encode() + b"\0"
                payload += struct.pack("<I", len(text)) + text + b"\0" * (-len(text) % 4)
            else:
                payload += struct.pack("<I", arg)
        self.socket.sendall(struct.pack("<II", target, (8 + len(payload)) << 16 | opcode) + payload)

    def roundtrip(self, callback):
        """wl_display.sync with a new callback object; returns the globals announced meanwhile."""
        self.send(1, 0, callback)
        found, data = {}, b""
        while True:
            chunk = self.socket.recv(65536)
            if not chunk:
                raise RuntimeError("the compositor closed the connection")
            data += chunk
            while len(data) >= 8 and len(data) >= struct.unpack_from("<I", data, 4)[0] >> 16:
                sender, word = struct.unpack_from("<II", data)
                body, data = data[8:word >> 16], data[word >> 16:]
                if sender == 1 and word & 0xFFFF == 0:
                    raise RuntimeError(f"the compositor reports a protocol error: {body!r}")
                if sender == 2 and word & 0xFFFF == 0:  # wl_registry.global: name, interface
                    length = struct.unpack_from("<I", body, 4)[0]
                    found[body[8:7 + length].decode()] = struct.unpack_from("<I", body)[0]
                if sender == callback:
                    return found

    def now(self):
        return int((time.monotonic() - self.epoch) * 1000)

    def move(self, x, y):
        self.send(self.POINTER, 1, self.now(), x, y, *self.extent)  # motion_absolute
        self.send(self.POINTER, 4)  # frame

    def button(self, pressed):
        self.send(self.POINTER, 2, self.now(), 0x110, int(pressed))  # the left button (BTN_LEFT)
        self.send(self.POINTER, 4)

    def keys(self, *codes):
        """Presses the keys (evdev codes) in order and lets them go in reverse."""
        held = 0
        for code, state in [(code, 1) for code in codes] + [(code, 0) for code in codes[::-1]]:
            self.send(self.KEYBOARD, 1, self.now(), code, state)
            # wlroots takes a virtual keyboard's modifiers from what it reports, not from its keys.
            if code in self.MODIFIERS:
                held = held | self.MODIFIERS[code] if state else held & ~self.MODIFIERS[code]
                self.send(self.KEYBOARD, 2, held, 0, 0, 0)

    def close(self):
        self.socket.close()


class SwaySession(XSession):
    """sway (1.7) on no screen, with XWayland: windows are sway's containers, each floating
    where it is put, and driven with a VirtualInput. sway refuses root, so under root
    every program of the session runs as $VELLUMINE_DESKTOP_USER (by default
    vellumine-desktops). native: the session's Qt programs run on Wayland, without DISPLAY."""

    def __init__(self, native=False):
        account = None
        if os.geteuid() == 0:
            name = os.environ.get("VELLUMINE_DESKTOP_USER", "vellumine-desktops")
            try:
                account = pwd.getpwnam(name)
            except KeyError:
                raise RuntimeError(f"sway refuses root, and there is no user {name} to run it "
                                   "(scripts/check desktops makes one)") from None
        super().__init__(window_manager=False)
        self.native = native
        if account:
            self.as_user = dict(user=account.pw_uid, group=account.pw_gid, extra_groups=[],
                                cwd=self.tmp)
            for folder in (self.tmp, self.tmp / "runtime", self.tmp / "home"):
                os.chown(folder, account.pw_uid, account.pw_gid)
        self.env.update(WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                        WLR_RENDERER="pixman", GDK_BACKEND="wayland")
        self.drag_source = self.reachable(DRAG_SOURCE)
        self.input = None

    def start(self):
        ready, config = self.tmp / "sway-ready", self.tmp / "sway-config"
        config.write_text(
            # XWayland started at once and kept: one started for each X11 client and ended with
            # it would not learn what was copied before.
            f"xwayland force\noutput HEADLESS-1 resolution {self.width}x{self.height}\n"
            "default_border none\ndefault_floating_border none\n"
            'for_window [title="^(drag source|drop target)$"] floating enable\n'
            'for_window [title="^drag source$"] move position 0 0\n'
            f"""exec printf '%s\\n' "$WAYLAND_DISPLAY" "$DISPLAY" "$SWAYSOCK" >{ready}.part && """
            f"mv {ready}.part {ready}\n")
        sway = self.spawn(["sway", "--config", str(config)], stderr=self.log("sway.log"))
        wait_for("sway to start", lambda: ready.exists() or sway.poll() is not None, timeout=30)
        if not ready.exists():
            raise RuntimeError(f"sway did not start: {(self.tmp / 'sway.log').read_text()[-600:]}")
        wayland, display, swaysock = ready.read_text().split("\n")[:3]
        self.env.update(WAYLAND_DISPLAY=wayland, DISPLAY=display, SWAYSOCK=swaysock)
        self.display = display
        if self.native:
            del self.env["DISPLAY"]
            self.env["QT_QPA_PLATFORM"] = "wayland"
        self.input = VirtualInput(self.tmp / "runtime" / wayland, self.width, self.height)
        if not self.native:
            # sway (1.7) hands XWayland its seat when an X11 window first takes the focus, and
            # until then no copy passes between X11 and Wayland programs: one is shown first, as
            # on a desktop where an X11 program ran before. While it has the focus, an X11
            # program's copy must reach Wayland programs (wlroots refuses it otherwise).
            probe = self.spawn(["xmessage", "-title", PROBE_TITLE, "probe"])

            def focused():
                shown = self.windows(pid=probe.pid)
                if shown and shown[0] not in self.windows(focused=True):
                    self.swaymsg(f"[con_id={shown[0]}]", "focus")  # as a click would
                return shown and shown[0] in self.windows(focused=True)

            wait_for("an X11 window to take the focus", focused, timeout=20)
            self.set_clipboard("an X11 program's copy")
            wait_for("an X11 program's copy for Wayland programs",
                     lambda: self.pasted()[0] == "an X11 program's copy")
            probe.terminate()
            probe.wait(timeout=10)
            self.processes.remove(probe)

    def close(self):
        if self.input:
            self.input.close()
        super().close()
        # wlroots (0.15) starts XWayland through a process of its own, which stays, as XWayland
        # does, when XWayland never reports ready: what still carries the session's mark goes too.
        mark = f"VELLUMINE_TEST_SESSION={self.env['VELLUMINE_TEST_SESSION']}".encode()
        for process in Path("/proc").iterdir():
            try:
                if process.name.isdigit() and mark in (process / "environ").read_bytes().split(
                        b"\0"):
                    os.kill(int(process.name), signal.SIGKILL)
            except OSError:
                pass  # ended meanwhile

    def swaymsg(self, *command):
        return self.run(["swaymsg", *map(str, command)])

    def containers(self, focused=False):
        """sway's windows (or the focused one), each as (container id, process id, title,
        content rectangle)."""
        def walk(node):
            if node.get("pid") and (node.get("focused") or not focused):
                outer, inner = node["rect"], node["window_rect"]
                yield (node["id"], node["pid"], node.get("name") or "",
                       (outer["x"] + inner["x"], outer["y"] + inner["y"], inner["width"],
                        inner["height"]))
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from walk(child)
        return list(walk(json.loads(self.run(["swaymsg", "--raw", "-t", "get_tree"]))))

    def windows(self, name_regex=None, pid=None, focused=False):
        return [con for con, owner, name, _ in self.containers(focused)
                if (pid is None or owner == int(pid)) and re.search(name_regex or ".", name)]

    def geometry(self, window):
        return next(rect for con, _, _, rect in self.containers() if con == window)

    def place(self, window, x, y):
        self.swaymsg(f"[con_id={window}]", "move", "position", x, y)

    def move(self, x, y, sync=False):
        self.input.move(x, y)  # the compositor takes it in order with the button

    def button(self, pressed):
        self.input.button(pressed)

    def copy(self, text, *target):
        """Copies text with wl-copy (which serves it until another program copies), and returns
        once wl-paste gives it; target: ["--type", MIME TYPE] or nothing."""
        self.spawn(["wl-copy", "--foreground", *target, text])
        wait_for(f"wl-copy's {text!r}", lambda: self.read(["wl-paste", "--no-newline", *target])
                 == text)

    def pasted(self):
        """What a Wayland program (wl-paste) pastes and, unless native, an X11 one (xclip)."""
        readers = [["wl-paste", "--no-newline"]]
        readers += [] if self.native else [["xclip", "-selection", "clipboard", "-o"]]
        return [self.read(args) for args in readers]
