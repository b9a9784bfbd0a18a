"""End-to-end cases: the real vellumine on a real X server, driven as a user drives it.

Run by ctest (label e2e) with VELLUMINE_BINARY naming the program. Each test class starts its
own X server, so classes can run side by side.
"""
import base64
import collections
import os
import random
import urllib.parse
import re
import shutil
import struct
import subprocess
import time
import unittest
from pathlib import Path

from Xlib import X
from Xlib.display import Display
from Xlib.protocol import event

from vellumine_driver import WINDOW_NAME, Vellumine
from x_session import SYSTEM_PYTHON, XSession, wait_for

BINARY = Path(os.environ.get("VELLUMINE_BINARY", "build/ci/desktop/qt/vellumine")).resolve()
KEEPER = BINARY.parent / "vellumine-clipboard-keeper"
SLOW_FORK = BINARY.parents[2] / "tests" / "e2e" / "libvellumine_slow_fork.so"
# A hung keeper, traced by a child of its own: a traced process's death goes to its tracer
# first, which passes it on only once the display answers it (or after 5 s), as a process stuck
# in the kernel takes its time to die.
DIES_SLOWLY = """
import ctypes, os, subprocess
libc, sleeper, ready = ctypes.CDLL(None), os.getpid(), os.pipe()
libc.prctl(0x59616D61, ctypes.c_ulong(-1))  # PR_SET_PTRACER_ANY, where Yama asks for it
if os.fork():
    os.read(ready[0], 1)
    os.execvp("sleep", ["sleep", "600"])
libc.ptrace(0x4206, sleeper, None, None)  # PTRACE_SEIZE
os.write(ready[1], b"!")
os.waitid(os.P_PID, sleeper, os.WEXITED | os.WNOWAIT)
subprocess.run(["xprop", "-root", "WM_NAME"], capture_output=True, timeout=5)
"""
# The version is defined once, by the build's project().
VERSION = re.search(r"project\(Vellumine VERSION ([\d.]+)",
                    (Path(__file__).resolve().parents[2] / "CMakeLists.txt").read_text()).group(1)
CAPTION = f"Vellumine  v{VERSION}"


def snippet(path, data, css):
    subtype = str(path).rsplit(".", 1)[1].lower()
    encoded = base64.b64encode(data).decode()
    if css:
        return f"background-image:url('data:image/{subtype};base64,{encoded}');"
    return f"<img src = 'data:image/{subtype};base64,{encoded}'/>"


def write_bitmap(path, width, height, rows=None, alpha=False):
    """A 32-bit BMP file of rows (bottom-up BGRX bytes), or of one row repeated a block at a
    time; with alpha its BITMAPV4HEADER declares an alpha mask, else it is BI_RGB."""
    header, size = 108 if alpha else 40, width * 4 * height
    with open(path, "wb") as out:
        out.write(struct.pack("<2sI4xI", b"BM", 14 + header + size, 14 + header) + struct.pack(
            "<IiiHHI12x8x", header, width, height, 1, 32, 3 if alpha else 0))
        if alpha:  # the masks, LCS_sRGB, no end points or gammas
            out.write(struct.pack("<5I48x", 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0x73524742))
        if rows is None:
            row = bytes(x * 7 & 0xFF for x in range(width * 4))
            block = row * max(1, 2**22 // len(row))
            for _ in range(size // len(block)):
                out.write(block)
            out.write(block[:size % len(block)])
        else:
            out.write(rows)
    return path


class DesktopCase(unittest.TestCase):
    """One X session and one running Vellumine for the whole class."""
    accessible = False  # whether the session runs AT-SPI, as with a screen reader

    @classmethod
    def setUpClass(cls):
        cls.session = XSession().__enter__()
        if cls.accessible:
            cls.session.start_accessibility_bus()
        cls.app = Vellumine(cls.session, BINARY).start()
        cls.files = cls.session.tmp / "files"
        cls.files.mkdir()
        cls.random = random.Random(4321)
        cls.marks = 0

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def make(self, name, size=None, data=None):
        path = self.files / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if data is None:
            data = bytes(self.random.getrandbits(8) for _ in range(size))
        path.write_bytes(data)
        return path

    def mark_clipboard(self):
        type(self).marks += 1
        mark = f"unchanged {self.marks}"
        self.session.set_clipboard(mark)
        return mark

    def choose(self, css):
        x, y, _, _ = self.session.geometry(self.app.window)
        option_x = 16 + 8 if css else 104 + 8
        self.session.xdotool("mousemove", "--sync", x + option_x, y + 188, "click", 1)

    def expect_clipboard(self, case, expected, timeout=10):
        try:
            wait_for("the clipboard", lambda: self.session.clipboard() == expected, timeout)
        except AssertionError:
            actual = self.session.clipboard()
            self.fail(f"{case}: clipboard\n  expected {expected[:90]!r}... ({len(expected)})\n"
                      f"  actual   {str(actual)[:90]!r}... ({len(actual or '')})")

    def convert(self, case, path, css, source=None):
        """Drops path (or the source's arguments) in the chosen mode and expects the path's
        snippet on the clipboard; returns it."""
        self.choose(css)
        self.mark_clipboard()
        self.app.drop_and_settle(source or [path])
        expected = snippet(path, path.read_bytes(), css)
        self.expect_clipboard(case, expected)
        self.expect_status(case, "done")
        return expected

    def expect_status(self, case, expected):
        try:
            wait_for("the status colour", lambda: self.app.status_colour() == expected, 5)
        except AssertionError:
            self.fail(f"{case}: status line colour expected {expected}, "
                      f"actual {self.app.status_colour()}")


class Conversions(DesktopCase):
    def test_snippets_of_every_kind(self):
        cases = [
            # (case, file name, size, css)
            ("one byte, CSS", "a.png", 1, True),
            ("two bytes, HTML", "b.png", 2, False),
            ("one group", "c.gif", 3, True),
            ("a line less one byte", "d.jpg", 47, False),
            ("one whole line", "e.jpeg", 48, True),
            ("a line and a byte", "f.png", 49, False),
            ("a thousand bytes", "logo.png", 1000, True),
            ("the limit less one", "g.jpg", 31999, False),
            ("the limit", "photo.jpeg", 32000, True),
            ("upper-case extension", "UPPER.PNG", 100, False),
            ("mixed-case extension", "Mixed.JpEg", 100, True),
            ("text named png", "notes.png", None, False),
            ("unicode and spaces", "Fotos 2026/Straße #1 100% ✓.png", 300, True),
            ("dotted folders", "my.pics/v1.2/shot.gif", 300, False),
            ("Latin-1 name, not UTF-8", "caf\udce9 \udcc4pfel.png", 300, True),
            ("localhost address", "localhost:host.jpg", 300, False),
        ]
        for case, name, size, css in cases:
            with self.subTest(case):
                data = b"plain text, not an image\n" if size is None else None
                local, _, name = name.rpartition(":")
                path = self.make(name, size, data)
                source = ["--uri", "file://localhost" + path.as_uri()[7:]] if local else None
                self.convert(case, path, css, source)

    def test_only_the_first_of_several_files_counts(self):
        first = self.make("first.png", 50)
        others = [self.make("second.gif", 60), self.make("third.txt", 10)]
        self.choose(True)
        self.mark_clipboard()
        self.app.drop_and_settle([first, *others])
        self.expect_clipboard("three files", snippet(first, first.read_bytes(), True))

    def test_paste_and_choose_without_dragging(self):
        cases = [
            # (case, file name, what the clipboard offers (None: chosen with Ctrl+O), keys)
            ("uri-list", "paste.png", "{uri}\r\n", "text/uri-list", "ctrl+v"),
            ("GNOME cut, file kept", "cut.gif", "cut\n{uri}", "x-special/gnome-copied-files",
             "shift+Insert"),
            ("Latin-1 name", "caf\udce9.jpg", "{uri}", "text/uri-list", "ctrl+v"),
            ("chosen with Ctrl+O", "chosen.jpeg", None, None, None),
        ]
        for case, name, offer, target, keys in cases:
            with self.subTest(case):
                path = self.make(name, 700)
                self.choose(True)
                if offer:
                    uri = "file://" + urllib.parse.quote(os.fsencode(path))
                    self.session.set_clipboard(offer.format(uri=uri), "-t", target)
                    self.app.press(keys)
                else:
                    self.mark_clipboard()
                    self.app.open_file(path)
                self.expect_clipboard(case, snippet(path, path.read_bytes(), True))
                self.assertTrue(path.exists(), case)

        def picture(name, *how):
            subprocess.run(["/usr/bin/convert", "-seed", "7", *how, self.files / name], check=True)
            return self.files / name

        def pixels(data):
            return subprocess.run(["/usr/bin/convert", "-", "rgba:-"], input=data,
                                  capture_output=True, check=True).stdout

        png = picture("x.png", "-size", "40x30", "plasma:")
        file = picture("beside.gif", png)
        gif, jpeg = picture("x.gif", "-size", "20x30", "plasma:"), picture("x.jpeg", png)
        uri = self.make("uri.txt", data=f"{file.as_uri()}\r\n".encode())
        random_rgba = [self.random.getrandbits(8) for _ in range(8 * 4 * 4)]  # BGRA, bottom up
        top_down = [random_rgba[i:i + 4] for y in (3, 2, 1, 0) for i in range(y * 32, y * 32 + 32, 4)]
        opaque_rgba = bytes(v for b, g, r, _ in top_down for v in (r, g, b, 255))
        straight_rgba = bytes(v for b, g, r, a in top_down for v in (r, g, b, a))
        cases = [
            # (case, what the clipboard offers: target, file, ...; what a paste gives: the last
            # file's bytes, its pixels as PNG, the file beside.gif, a "fault" or "nothing")
            ("PNG", ["image/png", png], "bytes"),
            ("GIF", ["image/gif", gif], "bytes"),
            ("JPEG", ["image/jpeg", jpeg], "bytes"),
            ("PNG first", ["image/jpeg", jpeg, "image/gif", gif, "image/png", png], "bytes"),
            ("GIF before JPEG", ["image/jpeg", jpeg, "image/bmp", png, "image/gif", gif], "bytes"),
            ("GTK pixbuf", ["--pixbuf", picture("a.png", "-size", "30x20",
                                                "gradient:#f00f-#00f0")], "pixels"),
            ("bitmap only", ["image/bmp", picture("a.bmp", self.files / "a.png",
                                                    "-define", "bmp:format=bmp4")], "pixels"),
            ("web address", ["text/uri-list", self.make("web.txt", data=b"http://a.b/x.png"),
                             "image/png", png], "bytes"),
            ("over the limit", ["image/png", self.make("big.png", 32001)], "fault"),
            ("file and picture", ["text/uri-list", uri, "image/png", png], "file"),
            ("bitmap over the limit", ["image/bmp", picture("big.bmp", "-size", "120x120",
                                                            "xc:", "+noise", "Random")], "fault"),
            ("plain text", ["text/plain", uri], "nothing"),
            # One rule for a 32-bit bitmap's fourth byte: unused unless a mask declares alpha.
            ("32-bit, fourth byte unused", ["image/bmp", write_bitmap(
                self.files / "x.bmp", 8, 4, bytes(random_rgba))], opaque_rgba),
            ("32-bit, alpha mask", ["image/x-MS-bmp", write_bitmap(
                self.files / "alpha.bmp", 8, 4, bytes(random_rgba), alpha=True)], straight_rgba),
        ]
        for case, offers, expected in cases:
            with self.subTest(case):
                self.app.paste(*offers)
                data, subtype = offers[-1].read_bytes(), offers[-2].split("/")[-1]
                if expected == "bytes":
                    self.expect_clipboard(case, snippet(f".{subtype}", data, True))
                elif expected == "pixels" or isinstance(expected, bytes):
                    pasted = wait_for(case, lambda: re.findall(
                        r"^background-image:url\('data:image/png;base64,(.*)'\);$",
                        self.session.clipboard() or ""))
                    self.assertEqual(pixels(base64.b64decode(pasted[0])),
                                     pixels(data) if expected == "pixels" else expected, case)
                elif expected == "file":
                    self.expect_clipboard(case, snippet(file, file.read_bytes(), True))
                else:  # the copy stays on the clipboard
                    if expected == "fault":
                        self.expect_status(case, "fault")
                    taken = lambda: offers[-2] not in (self.session.clipboard("-t", "TARGETS")
                                                       or "").split()
                    self.assertFalse(wait_for(case, taken, timeout=2, raise_=False), case)

        # A source that never answers is asked once, for its formats: each question waits out Qt's
        # 5 s timeout, and asking on held the window for most of a minute.
        mute, questions = Display(self.session.display), []
        owner = mute.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
        owner.set_selection_owner(mute.intern_atom("CLIPBOARD"), X.CurrentTime)
        mute.sync()
        self.app.press("ctrl+v")

        def questions_asked():
            while mute.pending_events():
                questions.append(mute.next_event().type == X.SelectionRequest)
            return sum(questions)

        wait_for("the first question", questions_asked)
        self.assertFalse(wait_for("a second", lambda: questions_asked() > 1, 7, raise_=False))
        mute.close()

    def test_pictures_of_any_size_are_answered_at_once_in_bounded_memory(self):
        """Each answered within half a second of the key's processor time (and, on a busy
        machine, well before Qt's 5 s wait), growing Vellumine's peak memory by at most 64 MiB
        more than the bitmap it converts (or 64 MiB for one it refuses)."""
        root = Display(self.session.display).screen().root
        x, y, _, _ = self.session.geometry(self.app.window)

        def status():
            image = root.get_image(x, y + 156, 197, 21, X.ZPixmap, 0xFFFFFFFF).data
            seen = collections.Counter(image[i:i + 3] for i in range(0, len(image), 4))  # BGR
            return ("done" if seen[b"\xcb\x99\x56"] >= 8 else
                    "fault" if seen[b"\0\0\xff"] >= 8 else None)

        small = self.files / "small.png"
        subprocess.run(["/usr/bin/convert", "-size", "8x8", "xc:red", small], check=True)
        cases = [
            # (case: a 32-bit bitmap of one row repeated, or a PNG of that many bytes; status)
            ((1920, 1080), "done"),
            ((7680, 4320), "fault"),
            ((3840, 2160), "done"),
            ((6000, 6000), "fault"),
            (20_000_000, "fault"),
            ((10000, 10000), "fault"),
        ]
        last, figures = None, []
        for size, expected in cases:
            if last == expected:  # a fresh status first, so that the answer shows
                self.app.paste("image/png", small)
                wait_for("the small picture's status", lambda: status() == "done", 5)
            path = self.files / "size.bin"
            if isinstance(size, int):
                path.write_bytes(bytes(size))
                offer, converted = ["image/png", path], 0
            else:
                offer, converted = ["image/bmp", write_bitmap(path, *size)], path.stat().st_size
            Path(f"/proc/{self.app.process.pid}/clear_refs").write_text("5")  # peak := now
            before, cpu = self.app.memory_kib("VmRSS"), self.app.cpu_seconds()
            sent = self.app.paste(*offer)
            wait_for(f"{size}: the status", lambda: status() == expected, 10, 0.005)
            seconds, cpu = time.monotonic() - sent, self.app.cpu_seconds() - cpu
            grown = (self.app.memory_kib("VmHWM") - before) / 1024
            figures.append(f"{size}: {expected} in {seconds:.2f} s ({cpu:.2f} s processor "
                           f"time), +{grown:.0f} MiB")
            self.assertLess(cpu, 0.5, figures[-1])
            self.assertLess(seconds, 2.5, figures[-1])
            self.assertLess(grown, 64 + converted / 2**20, figures[-1])
            if expected == "fault":  # the source, let finish unread, still offers its picture
                wait_for(figures[-1], lambda: offer[0] in (
                    self.session.clipboard("-t", "TARGETS") or "").split(), 10)
            last = expected
            path.unlink()
        print("\n".join(figures))

    def test_thirty_drops_in_a_row_keep_memory_steady(self):
        self.choose(False)
        rss = []
        for i in range(30):
            path = self.make(f"row/{i}.png", 32000 - i * 997)
            self.mark_clipboard()
            self.app.drop_and_settle([path])
            self.expect_clipboard(f"drop {i + 1} of 30", snippet(path, path.read_bytes(), False))
            if i in (4, 29):
                rss.append(self.app.resident_kib())
        self.assertLess(rss[1] - rss[0], 2048,
                        f"resident memory grew from {rss[0]} KiB to {rss[1]} KiB over 25 drops")


class Refusals(DesktopCase):
    def test_refused_files_and_ignored_drops(self):
        fault, nothing = "fault", "nothing"
        cases = [
            # (case, source arguments, expected status or nothing)
            ("over the limit", lambda: [self.make("big.png", 32001)], fault),
            ("double extension", lambda: [self.make("photo.jpeg.txt", 10)], fault),
            ("dot only in a folder", lambda: [self.make("my.pics/photo", 10)], fault),
            ("extension not accepted", lambda: [self.make("image.bmp", 10)], fault),
            ("near miss jpe", lambda: [self.make("image.jpe", 10)], fault),
            ("empty image", lambda: [self.make("empty.png", 0)], nothing),
            ("text drop", lambda: ["--text", "some selected text.png"], nothing),
            ("http address", lambda: ["--uri", "http://example.com/logo.png"], nothing),
        ]
        for case, source, expected in cases:
            with self.subTest(case):
                # A known status first, so that "unchanged" and "refused" can be told apart.
                self.app.drop_and_settle([self.make("known.png", 5)])
                self.expect_status(case, "done")
                mark = self.mark_clipboard()
                settled = self.app.drop_and_settle(source())
                self.assertTrue(settled.startswith("finished"), f"{case}: {settled}")
                self.expect_status(case, fault if expected == fault else "done")
                self.assertEqual(self.session.clipboard(), mark, f"{case}: clipboard changed")

    def test_unreadable_files_bring_up_the_warning_box(self):
        fifo = self.files / "pipe.png"
        os.mkfifo(fifo)
        device_link = self.files / "device.png"
        device_link.symlink_to("/dev/zero")
        (self.files / "folder.png").mkdir()
        cases = [
            ("missing file", self.files / "missing.png"),
            ("folder named png", self.files / "folder.png"),
            ("pipe named png", fifo),
            ("link to a device", device_link),
        ]
        for case, path in cases:
            with self.subTest(case):
                mark = self.mark_clipboard()
                source, lines = self.app.drop([path])
                try:
                    box = wait_for(f"{case}: the warning box", self.app.warning_box)
                    self.assertIn("Vellumine", self.session.prop(box, "_NET_WM_NAME"))
                    # The file manager is not kept waiting while the box is open.
                    self.assertTrue(lines.get(timeout=5).startswith("finished"), case)
                    self.app.close_box(box)
                finally:
                    source.terminate()
                self.assertEqual(self.session.clipboard(), mark, f"{case}: clipboard changed")
                # The program still answers: the next drop converts.
                after = self.make("after.png", 7)
                self.app.drop_and_settle([after])
                self.expect_clipboard(f"{case}: the next drop", snippet(after, after.read_bytes(),
                                                                        True))


class Desktop(DesktopCase):
    def test_caption_and_stay_on_top(self):
        self.assertIn(f'"{CAPTION}"', self.session.prop(self.app.window, "_NET_WM_NAME"))
        self.assertIn("_NET_WM_STATE_ABOVE", self.session.prop(self.app.window, "_NET_WM_STATE"))
        other, other_window = self.session.start_drag_source(["--text", "another window"])
        self.addCleanup(other.terminate)
        # Over Vellumine, then activated, as a user clicks another program.
        self.session.xdotool("windowmove", "--sync", other_window, 380, 180)
        self.session.xdotool("windowactivate", "--sync", other_window)
        wait_for("the other window active",
                 lambda: self.session.xdotool("getactivewindow") == str(other_window))
        stacking = self.session.stacking()
        self.assertGreater(stacking.index(self.app.window), stacking.index(other_window),
                           f"stacking bottom to top: {stacking}; Vellumine {self.app.window}, "
                           f"other {other_window}")

    def test_a_file_drag_outlines_the_drop_picture(self):
        shown = []
        source, lines = self.app.drop([self.make("over.png", 10)], lambda: shown.append(
            wait_for("the outline", self.app.drop_target_shown, timeout=5)))
        self.addCleanup(source.terminate)
        self.assertTrue(lines.get(timeout=10).startswith("finished"))  # dropped or given up
        wait_for("the outline to go", lambda: not self.app.drop_target_shown())

    def test_a_second_start_exits_and_the_first_keeps_running(self):
        second = subprocess.run([str(BINARY)], env=self.session.env, capture_output=True,
                                timeout=20)
        self.assertEqual(second.returncode, 0)
        self.assertTrue(self.app.running())
        self.assertEqual(len(self.session.windows("^Vellumine  v")), 1)


class Accessibility(DesktopCase):
    accessible = True

    def test_a_frame_whose_status_changes_are_heard(self):
        lines = self.app.accessibility()
        tree = list(iter(lambda: lines.get(timeout=30), ("ready",)))
        frame = [("frame", "Vellumine  v1.0.91"),
                 ("radio button", "CSS DATE", "True", "True"),  # took the focus
                 ("radio button", "XTM DATA", "False", "False")]
        self.assertEqual(tree, frame + [("status bar", "", "False", "False")])
        heard, shown = [], collections.Counter()
        # A notification shown is what Orca speaks wherever the focus is: once per status, the
        # same refusal twice included.
        for step, (name, size, status) in enumerate([
                ("big.png", 32001, "The  File > 32kb!"), ("a.txt", 1, "Not format!"),
                ("a.txt", 1, "Not format!"), ("a.png", 1, "Clipboard! Size 51 b")]):
            self.session.set_clipboard(self.make(name, size).as_uri(), "-t", "text/uri-list")
            shown[status] += 1
            pressed = []

            def paste_and_listen():  # the first pasted again while Qt may not know of the listener
                if step == 0 or not pressed:
                    pressed.append(self.app.press("ctrl+v"))
                while not lines.empty():
                    heard.append(lines.get())
                return {(event, "status bar", status) for event in ("object:text-changed:insert",
                        "object:property-change:accessible-name")} <= set(heard) and heard.count(
                    ("object:state-changed:showing", "notification", status)) >= shown[status]

            wait_for(f"{status!r} heard", paste_and_listen, timeout=30, interval=1)
        after = self.app.accessibility()  # focus and frame as they were
        self.assertEqual(list(iter(lambda: after.get(timeout=30), ("ready",))),
                         frame + [("status bar", "Clipboard! Size 51 b", "False", "False")])

PAGE = """<!doctype html><html><head><style>#zone {{ {css} }}</style></head><body>
<div id="zone"></div>{html}<div id="report">pending</div>
<script>
function report(image) {{
  const done = () => document.getElementById("report").textContent =
      "SIZE " + image.naturalWidth + "x" + image.naturalHeight;
  if (image.complete && image.naturalWidth) done(); else image.onload = done;
  image.onerror = () => document.getElementById("report").textContent = "BROKEN";
}}
const img = document.querySelector("img");
if (img) {{
  report(img);
}} else {{
  const url = getComputedStyle(document.getElementById("zone")).backgroundImage;
  const image = new Image();
  image.src = url.startsWith("url(") ? url.slice(5, -2) : "";
  report(image);
}}
</script></body></html>"""


class Browser(DesktopCase):
    def render(self, page):
        path = self.session.tmp / "page.html"
        path.write_text(page)
        env = {k: v for k, v in self.session.env.items() if k != "DISPLAY"}
        out = subprocess.run(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", f"--user-data-dir={self.session.tmp / 'chromium'}",
             "--virtual-time-budget=5000", "--dump-dom", path.as_uri()],
            env=env, capture_output=True, text=True, timeout=120)
        found = re.search(r'<div id="report">([^<]*)</div>', out.stdout)
        return found.group(1) if found else out.stderr[-300:]

    def test_snippets_render_at_the_images_size(self):
        cases = [("photo.png", "37x23"), ("photo.jpg", "64x48"), ("anim.gif", "20x30")]
        for name, size in cases:
            path = self.files / name
            subprocess.run(["/usr/bin/convert", "-size", size, "plasma:red-blue", str(path)],
                           check=True)
            self.assertLessEqual(path.stat().st_size, 32000, name)
            for css in (True, False):
                case = f"{name} as {'CSS' if css else 'HTML'}"
                with self.subTest(case):
                    self.convert(case, path, css)
                    pasted = self.session.clipboard()
                    page = PAGE.format(css=pasted if css else "", html="" if css else pasted)
                    self.assertEqual(self.render(page), f"SIZE {size}", case)


class Instances(unittest.TestCase):
    def test_kill_frees_the_claim_and_four_starts_leave_one(self):
        with XSession() as session:
            first = Vellumine(session, BINARY).start()
            first.process.kill()
            first.process.wait()
            Vellumine(session, BINARY).start()  # comes up again after a kill -9

        with XSession() as session:
            starts = [session.spawn([str(BINARY)]) for _ in range(4)]
            wait_for("three starts to end", lambda: sum(p.poll() is not None
                                                        for p in starts) == 3, timeout=20)
            codes = sorted(p.poll() for p in starts if p.poll() is not None)
            self.assertEqual(codes, [0, 0, 0])
            # The three that ended can show nothing more: the one window is the fourth's.
            survivor = next(p for p in starts if p.poll() is None)
            wait_for("its window", lambda: session.windows("^Vellumine  v", pid=survivor.pid))
            self.assertEqual(session.windows("^Vellumine  v"),
                             session.windows("^Vellumine  v", pid=survivor.pid))


def start_parcellite(session):
    """Parcellite, once it records what is copied."""
    session.spawn(["parcellite", "--no-icon"])
    history = Path(session.env["XDG_DATA_HOME"]) / "parcellite" / "history"
    session.wait_until_recorded("parcellite", lambda mark: history.exists() and mark.encode()
                                in history.read_bytes())


def start_xfce4_clipman(session):
    """xfce4-clipman (1.6) on a session bus of its own, once its windows exist."""
    clipman = session.spawn(["env", f"DBUS_SESSION_BUS_ADDRESS={session.bus()}", "xfce4-clipman"])
    # It owns no selection that says it is ready, and its windows are never shown.
    wait_for("xfce4-clipman", lambda: '"Clipman"' in session.run(
        ["xwininfo", "-root", "-tree"], check=False) and clipman.poll() is None)


def own_selection(session, name):
    """A client of its own that owns the selection name and never answers; returns it."""
    client = Display(session.display)
    client.screen().root.create_window(0, 0, 1, 1, 0, 0).set_selection_owner(
        client.intern_atom(name), X.CurrentTime)
    client.sync()
    return client


def detached_keepers(session):
    """Keepers that serve on as nobody's child of ours: ending a program takes none along."""
    def parent(pid):
        return int(Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[1])
    ours = {os.getpid(), *session.running(BINARY)}
    return [pid for pid in session.running(KEEPER) if parent(pid) not in ours]


def close_and_time(session, app):
    """Asks the window manager to close Vellumine's window, as its close button does; returns the
    exit status and the seconds from the request to the exit."""
    client = Display(session.display)
    client.screen().root.send_event(event.ClientMessage(
        window=app.window, client_type=client.intern_atom("_NET_CLOSE_WINDOW"),
        data=(32, [X.CurrentTime, 2, 0, 0, 0])),
        event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
    client.sync()
    start = time.monotonic()
    status = app.process.wait(timeout=20)
    client.close()
    return status, time.monotonic() - start


def with_keeper_hook(session, shell):
    """A copy of the program whose keeper first runs the shell lines; returns its path."""
    program = session.reachable(BINARY)
    hook = program.parent / KEEPER.name
    hook.write_text(f"#!/bin/sh\n{shell}\nexec '{KEEPER}' \"$@\"\n")
    hook.chmod(0o755)
    return program


def drop_kept_gif(session, app, size=5000):
    """Drops a GIF of random bytes; returns its snippet, once it is on the clipboard."""
    path = session.tmp / "kept.gif"
    path.write_bytes(os.urandom(size))
    settled = app.drop_and_settle([path])
    expected = snippet(path, path.read_bytes(), True)
    wait_for(f"the snippet (the drop: {settled!r})", lambda: session.clipboard() == expected)
    return expected


def read_clipboard(session, target):
    return session.clipboard("-t", target, timeout=20,
                             encoding="latin-1" if target == "STRING" else "utf-8")


class ClipboardManager(unittest.TestCase):
    def test_snippet_stays_pasteable_after_exit(self):
        managers = [
            # (case, how the clipboard manager starts, whether our keeper serves after close)
            ("xclipboard", lambda session: (session.spawn(["xclipboard"]), wait_for(
                "the clipboard manager", lambda: session.windows("^xclipboard$"))), False),
            ("CopyQ", lambda session: session.start_copyq(), True),
            ("parcellite", start_parcellite, True),
            ("xfce4-clipman", start_xfce4_clipman, True),
            # As wlroots' X11 window manager does (sway): it owns CLIPBOARD_MANAGER, keeps nothing.
            ("a CLIPBOARD_MANAGER that keeps nothing",
             lambda session: own_selection(session, "CLIPBOARD_MANAGER"), True),
            ("no clipboard manager", lambda session: None, True),
        ]
        for case, start_manager, keeper_serves in managers:
            with self.subTest(case), XSession() as session:
                start_manager(session)
                app = Vellumine(session, BINARY).start()
                expected = drop_kept_gif(session, app)
                self.assertEqual(app.close(), 0, case)
                # Not Qt 6.4's five-second wait at exit on a manager that never answers: Qt
                # heard that the keeper took the clipboard over.
                self.assertLess(app.exit_seconds, 2.5, case)
                # Started again at once, it is not taken for a copy still running.
                self.assertEqual(Vellumine(session, BINARY).start().close(), 0, case)
                wait_for(f"{case}: the snippet served with every Vellumine gone", lambda: (
                    session.clipboard() == expected and not session.running(BINARY) and
                    bool(detached_keepers(session)) == keeper_serves))
                session.set_clipboard("copied later")
                wait_for(f"{case}: no Vellumine or keeper left",
                         lambda: not session.running(BINARY, KEEPER))
                self.assertEqual(session.clipboard(), "copied later", case)

    def test_a_slow_or_hung_keeper_holds_the_close_up_a_second_at_most(self):
        cases = [
            # (case, what the keeper beside the program runs, whether the snippet stays)
            ("never answers", "exec sleep 600", False),
            # Reaped under a server grab, it would freeze the display until it died.
            ("never answers, dies slowly", f"exec {SYSTEM_PYTHON} -c '{DIES_SLOWLY}'", False),
            # A loaded machine: the bound runs out after the take-over, before the first process
            # ends. Killing it then would take the clipboard with it.
            ("slow to report the take-over", f"export LD_PRELOAD='{SLOW_FORK}'", True),
        ]
        for case, keeper, stays in cases:
            with self.subTest(case), XSession() as session:
                starts = session.tmp / "keeper-starts"
                program = with_keeper_hook(session, f"echo start >> '{starts}'\n{keeper}")
                app = Vellumine(session, program).start()
                expected = drop_kept_gif(session, app)
                status, seconds = close_and_time(session, app)
                self.assertEqual(status, 0, case)
                self.assertLess(seconds, 2, f"{case}: closing took {seconds:.1f} s")
                sleeper = Path(shutil.which("sleep")).resolve()
                wait_for(f"{case}: the hung keeper to be stopped",
                         lambda: not session.running(sleeper))
                self.assertEqual(starts.read_text(), "start\n", f"{case}: tried once, not at exit")
                if stays:
                    wait_for(f"{case}: the snippet served after close", lambda: (
                        session.clipboard() == expected and detached_keepers(session)))

    def test_qt_hears_at_once_that_the_keeper_has_the_clipboard(self):
        # The widget suite's own case, on X11, with the keeper beside it and a clipboard manager
        # that keeps nothing.
        suite = BINARY.parents[2] / "tests" / "qt" / "vellumine_qt_desktop_services_test"
        with XSession(window_manager=False) as session:
            own_selection(session, "CLIPBOARD_MANAGER")
            session.reachable(KEEPER)
            done = subprocess.run(
                [session.reachable(suite), "HandsTheClipboardOverAndLetsGo"],
                env={**session.env, "QT_QPA_PLATFORM": "xcb"}, capture_output=True, text=True,
                timeout=60)
            self.assertIn("PASS   : QtDesktopServicesTest::HandsTheClipboardOver", done.stdout)
            self.assertEqual(done.returncode, 0, done.stdout)
            self.assertEqual(session.clipboard(), "kept")

    def test_the_keeper_starts_while_the_window_is_still_active(self):
        # KDE Plasma passes an X11 program's clipboard on to Wayland programs only while one of
        # its windows is active: the snippet is handed over as the window closes, not at exit.
        with XSession() as session:
            seen = session.tmp / "seen-at-keeper-start"  # the active window, ours if mapped
            app = Vellumine(session, with_keeper_hook(session, (
                f"(xdotool getactivewindow; xdotool search --onlyvisible --name '{WINDOW_NAME}')"
                f" > '{seen}' 2>&1 < /dev/null"))).start()
            expected = drop_kept_gif(session, app, 500)
            self.assertEqual(app.close(), 0)
            self.assertEqual(seen.read_text().split(), [str(app.window)] * 2)
            wait_for("the snippet served after exit", lambda: session.clipboard() == expected)

    def test_the_keeper_serves_the_display_qt_opened(self):
        # Qt opens the last of several -display options, whatever $DISPLAY names.
        with XSession(window_manager=False) as other, XSession() as session:
            app = Vellumine(session, "/usr/bin/env").start(
                f"DISPLAY={other.display}", BINARY, "-display", other.display, "-display",
                session.display)
            expected = drop_kept_gif(session, app)
            self.assertEqual(app.close(), 0)
            wait_for("the snippet served after close", lambda: not session.running(BINARY) and
                     session.clipboard() == expected)
            self.assertIsNone(other.clipboard())

    def test_keeper_serves_every_size_and_target(self):
        pick = random.Random(7).choice
        large = "".join(pick("ab✓\n") for _ in range(400_000))
        cases = [
            # (case, text, target, expected reply)
            ("targets", "x", "TARGETS",
             "TARGETS\nTIMESTAMP\nUTF8_STRING\ntext/plain;charset=utf-8\nSTRING\n"),
            ("UTF-8", "Straße ✓", "UTF8_STRING", "Straße ✓"),
            ("latin-1", "Straße ✓", "STRING", "Straße ?"),
            ("incremental", large, "text/plain;charset=utf-8", large),
        ]
        with XSession(window_manager=False) as session:
            for case, text, target, expected in cases:
                with self.subTest(case):
                    keeper = subprocess.run([str(KEEPER)], input=text.encode(), env=session.env,
                                            timeout=20)
                    self.assertEqual(keeper.returncode, 0, case)
                    self.assertEqual(read_clipboard(session, target), expected, case)
            wait_for("each keeper to end when the next takes over",
                     lambda: len(session.running(KEEPER)) == 1)
            # Any client may send a SelectionClear, for any selection: the keeper serves on.
            forger = Display(session.display)
            owner = forger.get_selection_owner(forger.intern_atom("CLIPBOARD"))
            for selection in ("CLIPBOARD", "PRIMARY"):
                owner.send_event(event.SelectionClear(window=owner, atom=forger.intern_atom(
                    selection), time=X.CurrentTime))
            forger.sync()
            forger.close()
            self.assertIsNotNone(read_clipboard(session, "TIMESTAMP"), "a forged SelectionClear")

            # Requestors that take the first chunks of the large text and then stop reading.
            stalled = Display(session.display)
            clipboard, incr = stalled.intern_atom("CLIPBOARD"), stalled.intern_atom("INCR")
            for _ in range(4):
                stalled.screen().root.create_window(0, 0, 1, 1, 0, 0).convert_selection(
                    clipboard, stalled.intern_atom("UTF8_STRING"), clipboard, X.CurrentTime)
            replies = [stalled.next_event() for _ in range(4)]
            self.assertEqual([r.requestor.get_property(r.property, X.AnyPropertyType, 0, 1)
                              .property_type for r in replies], [incr] * 4)
            fifth = read_clipboard(session, "UTF8_STRING")
            self.assertTrue(fifth is None, f"a fifth large transfer gave {len(fifth or '')}")
            self.assertIsNotNone(read_clipboard(session, "TIMESTAMP"), "a small reply meanwhile")
            wait_for("the stalled transfers to be given up", lambda: read_clipboard(
                session, "UTF8_STRING") == large, timeout=15, interval=1)
            stalled.close()
        wait_for("the keeper to end with the X server", lambda: not session.running(KEEPER))

    def test_keeper_takes_over_only_from_our_own_window(self):
        cases = [
            # (case, the clipboard's owner, keeper's arguments ({ids}: the owner's client's),
            #  $DISPLAY, text, exit status, clipboard afterwards)
            ("our own window", "ours", ["--owner-ids", "{ids}"], None, "kept", 0, "kept"),
            ("another program's newer copy", "xclip", ["--owner-ids", "{ids}"], None, "kept", 3,
             "newer"),
            ("the display named, not $DISPLAY", "ours", ["--display", "{display}"], ":9999",
             "kept", 0, "kept"),
            ("a text over 1 MiB", "xclip", [], None, "x" * (2**20 + 1), 1, "newer"),
        ]
        with XSession(window_manager=False) as session:
            for case, owner, args, display, text, status, expected in cases:
                with self.subTest(case):
                    session.set_clipboard("newer")
                    ours = own_selection(session, "CLIPBOARD") if owner == "ours" else None
                    client = ours or Display(session.display)
                    ids = [str(client.display.info.resource_id_base),
                           str(client.display.info.resource_id_mask)]
                    args = [a.replace("{display}", session.display) for a in args]
                    args = [*args[:-1], *ids] if "{ids}" in args else args
                    env = {**session.env, "DISPLAY": display or session.display}
                    keeper = subprocess.run([str(KEEPER), *args], input=text.encode(), env=env,
                                            timeout=20, stderr=subprocess.DEVNULL)
                    self.assertEqual(keeper.returncode, status, case)
                    self.assertEqual(read_clipboard(session, "UTF8_STRING"), expected, case)
                    client.close()


if __name__ == "__main__":
    unittest.main()
