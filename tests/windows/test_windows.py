"""vellumine.exe under Wine on a private X desktop, driven as a user drives it.

Run by ctest (label windows) with VELLUMINE_EXE naming the program. Wine turns the X drops of
the GTK drag source into Windows file drops and shares its clipboard with X, so the Linux
end-to-end tooling drives the Windows program unchanged. Each class has its own X server and
a fresh Wine prefix, so classes can run side by side.
"""
import os
import random
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))

from test_e2e import DesktopCase, snippet  # noqa: E402
from vellumine_driver import WINDOW_NAME, Vellumine  # noqa: E402
from x_session import XSession, wait_for  # noqa: E402

EXE = Path(os.environ.get("VELLUMINE_EXE", "build/windows/desktop/win32/vellumine.exe")).resolve()
WINE = os.environ.get("VELLUMINE_WINE", "wine")
CAPTION = "Vellumine  v1.0.91"


class WineSession(XSession):
    """An X session with a Wine prefix of its own, set up before and torn down after use."""

    def start(self):
        super().start()
        self.env.update(WINEPREFIX=str(self.tmp / "wineprefix"), WINEDEBUG="-all",
                        # No offer to install Mono or Gecko: nobody would click it away.
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.run([WINE, "wineboot", "-i"], timeout=120)
        self.run(["wineserver", "-w"], timeout=120)

    def close(self):
        # Every Wine process of the prefix goes, including any left behind by a failed test.
        if "WINEPREFIX" in self.env:
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=30)
        super().close()

    def start_program(self, log_name):
        return self.spawn([WINE, str(EXE)], stderr=self.log(log_name))


class WineVellumine(Vellumine):
    def start(self):
        self.process = self.session.start_program(f"vellumine-{id(self)}.log")
        # Wine's first start in a prefix loads a good deal; give it longer than Qt needs.
        self.window = wait_for("Vellumine's window", lambda: self.session.windows(
            WINDOW_NAME, pid=self.process.pid), timeout=30)[0]
        self.session.xdotool("windowmove", "--sync", self.window, 400, 200)
        return self


class WineCase(DesktopCase):
    @classmethod
    def setUpClass(cls):
        cls.session = WineSession().__enter__()
        try:
            cls.app = WineVellumine(cls.session, EXE).start()
        except BaseException:
            cls.session.close()
            raise
        cls.files = cls.session.tmp / "files"
        cls.files.mkdir()
        cls.random = random.Random(1234)

    def mark_clipboard(self):
        # Under Wine the X clipboard is a copy kept by Wine's clipboard bridge. Wine 8's bridge
        # can stop answering for over ten seconds after it imports a text set from X, and a
        # Windows program that empties the clipboard meanwhile waits on it and is never copied
        # to X. So nothing is written from X here: the text already there is the mark, and
        # every case drops random content that differs from it.
        return self.session.clipboard()


class Conversions(WineCase):
    def test_snippets_of_every_kind(self):
        cases = [
            # (case, file name, size, css)
            ("one byte, CSS", "a.png", 1, True),
            ("two bytes, HTML", "b.gif", 2, False),
            ("a line and a byte", "c.jpg", 49, True),
            ("the limit, the longest snippet", "photo.jpeg", 32000, True),
            ("the limit as HTML", "g.jpg", 32000, False),
            ("upper-case extension", "UPPER.PNG", 100, False),
            ("unicode and spaces", "Fotos 2026/Straße #1 ✓.png", 300, True),
        ]
        for case, name, size, css in cases:
            with self.subTest(case):
                path = self.make(name, size)
                self.convert(case, path, css)

    def test_a_real_png_gives_the_expected_text(self):
        path = self.files / "dot.png"
        subprocess.run(["/usr/bin/convert", "-size", "3x2", "xc:#3366cc", str(path)],
                       check=True)
        data = path.read_bytes()
        self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
        for css in (True, False):
            with self.subTest("CSS" if css else "HTML"):
                self.convert("dot.png", path, css)

    def test_refused_files_leave_the_clipboard(self):
        cases = [("over the limit", "big.png", 32001), ("not an image", "notes.txt", 10)]
        for case, name, size in cases:
            with self.subTest(case):
                self.app.drop_and_settle([self.make("known.png", 5)])
                self.expect_status(case, "done")
                mark = self.mark_clipboard()
                self.app.drop_and_settle([self.make(name, size)])
                self.expect_status(case, "fault")
                self.assertEqual(self.session.clipboard(), mark, f"{case}: clipboard changed")


class Desktop(WineCase):
    def test_caption_and_stay_on_top(self):
        self.assertIn(f'"{CAPTION}"', self.session.prop(self.app.window, "_NET_WM_NAME"))
        self.assertEqual(self.session.xdotool("getwindowname", self.app.window), CAPTION)
        self.assertIn("_NET_WM_STATE_ABOVE", self.session.prop(self.app.window, "_NET_WM_STATE"))

    def test_client_area_is_the_forms_size(self):
        _, _, width, height = self.session.geometry(self.app.window)
        self.assertEqual((width, height), (198, 206))

    def test_unreadable_files_bring_up_the_warning_box(self):
        (self.files / "folder.png").mkdir()
        cases = [("missing file", self.files / "missing.png"),
                 ("folder named png", self.files / "folder.png")]
        for case, path in cases:
            with self.subTest(case):
                mark = self.mark_clipboard()
                source, _ = self.app.drop([path])
                try:
                    box = wait_for(f"{case}: the warning box", self.app.warning_box)
                    self.assertIn('"Vellumine"', self.session.prop(box, "_NET_WM_NAME"))
                    self.app.close_box(box)
                finally:
                    source.terminate()
                self.assertEqual(self.session.clipboard(), mark, f"{case}: clipboard changed")
                self.assertTrue(self.app.running(), f"{case}: the program ended")
                after = self.make("after.png", 7)
                self.app.drop_and_settle([after])
                self.expect_clipboard(f"{case}: the next drop",
                                      snippet(after, after.read_bytes(), True))

    def test_a_second_start_exits_and_the_first_keeps_running(self):
        second = self.session.start_program("second.log")
        self.assertEqual(second.wait(timeout=30), 0)
        self.assertTrue(self.app.running())
        self.assertEqual(len(self.session.windows(WINDOW_NAME)), 1)


class Lifetime(WineCase):
    def test_closing_exits_cleanly_and_the_snippet_stays(self):
        path = self.make("kept.gif", 5000)
        self.app.drop_and_settle([path])
        expected = snippet(path, path.read_bytes(), True)
        self.expect_clipboard("before closing", expected)
        self.assertEqual(self.app.close(), 0)
        # Windows keeps rendered clipboard data after its owner ends; Wine's clipboard manager
        # goes on serving it to X.
        self.expect_clipboard("after closing", expected)


if __name__ == "__main__":
    unittest.main()
