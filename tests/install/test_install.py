"""Vellumine installed as a desktop application: the installed tree, the two validators, the .deb
and the packaged program opening its window on its own X server.

Run by ctest (label install) with VELLUMINE_BUILD_DIR naming a built tree and VELLUMINE_VERSION
the version project() gives it. Everything is installed into and packed in a scratch folder that
is removed again on every path.
"""
import gzip
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import gi

gi.require_version("GLib", "2.0")
from gi.repository import GLib  # noqa: E402

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))
from vellumine_driver import Vellumine  # noqa: E402
from x_session import XSession  # noqa: E402

BUILD = Path(os.environ.get("VELLUMINE_BUILD_DIR", HERE.parents[1] / "build" / "dev")).resolve()
VERSION = os.environ["VELLUMINE_VERSION"]
APP_ID = "io.github.vellumine.Vellumine"
ENTRY = f"share/applications/{APP_ID}.desktop"
METAINFO = f"share/metainfo/{APP_ID}.metainfo.xml"
# Icon folder and the pixel size its PNG must have: a file put in the wrong folder looks blurred
# or tiny in the launcher.
ICON_SIZES = {"24x24": 24, "24x24@2": 48, "48x48": 48, "48x48@2": 96, "96x96": 96,
              "128x128": 128, "256x256": 256}
# Every file an install puts down, relative to the prefix; anything else (a test binary, a
# static library, a benchmark) would be a packaging fault.
SHIPPED = {
    "bin/vellumine",
    "libexec/vellumine/vellumine-clipboard-keeper",
    ENTRY,
    METAINFO,
    "share/doc/vellumine/copyright",
    "share/doc/vellumine/changelog.gz",
    "share/man/man1/vellumine.1.gz",
    f"share/icons/hicolor/scalable/apps/{APP_ID}.svg",
    *(f"share/icons/hicolor/{folder}/apps/{APP_ID}.png" for folder in ICON_SIZES),
}
TIMEOUT = 120


def run(args, env=None):
    done = subprocess.run([str(a) for a in args], env=env, capture_output=True, text=True,
                          timeout=TIMEOUT)
    if done.returncode != 0:
        raise AssertionError(f"{' '.join(map(str, args))} exited with {done.returncode}:\n"
                             f"{done.stdout}{done.stderr}")
    return done.stdout


def install(prefix, destdir=None):
    env = {k: v for k, v in os.environ.items() if k != "DESTDIR"}
    if destdir is not None:
        env["DESTDIR"] = str(destdir)
    run(["cmake", "--install", BUILD, "--prefix", prefix], env=env)


def files_under(root):
    return {str(p.relative_to(root)) for p in root.rglob("*") if not p.is_dir()}


def entry(path):
    keys = GLib.KeyFile()
    keys.load_from_file(str(path), GLib.KeyFileFlags.NONE)
    return keys


def exec_program(path):
    """The program the entry's Exec starts, parsed as a desktop shell parses it."""
    command = entry(path).get_string("Desktop Entry", "Exec").replace("%%", "%")
    return GLib.shell_parse_argv(command)[1][0]


def png_size(path):
    header = path.read_bytes()[:24]
    if header[:8] != b"\x89PNG\r\n\x1a\n" or header[12:16] != b"IHDR":
        raise AssertionError(f"{path} is not a PNG")
    return struct.unpack(">II", header[16:24])


def setUpModule():
    global scratch, root, deb, unpacked
    # Every install and cpack run rewrites the build folder's install_manifest.txt, which lists
    # what a user's own `cmake --install` put down and so how to remove it: it is put back.
    manifest = BUILD / "install_manifest.txt"
    if manifest.exists():
        unittest.addModuleCleanup(manifest.write_bytes, manifest.read_bytes())
    else:
        unittest.addModuleCleanup(manifest.unlink, missing_ok=True)
    holder = tempfile.TemporaryDirectory(prefix="vellumine-install-")
    unittest.addModuleCleanup(holder.cleanup)
    scratch = Path(holder.name)
    # As a distribution package installs: prefix /usr, staged under DESTDIR.
    root = scratch / "root"
    install("/usr", destdir=root)
    run(["cpack", "-G", "DEB", "--config", BUILD / "CPackConfig.cmake", "-B", scratch / "cpack"])
    debs = list((scratch / "cpack").glob("*.deb"))
    if len(debs) != 1:
        raise AssertionError(f"cpack made {[d.name for d in debs]}, not one .deb")
    deb = debs[0]
    unpacked = scratch / "unpacked"
    run(["dpkg-deb", "-x", deb, unpacked])


class InstalledTree(unittest.TestCase):
    def test_installs_the_shipped_files_and_nothing_else(self):
        self.assertEqual(files_under(root / "usr"), SHIPPED)
        self.assertTrue(os.access(root / "usr/bin/vellumine", os.X_OK))

    def test_each_icon_has_its_folders_size(self):
        for folder, size in ICON_SIZES.items():
            with self.subTest(folder):
                icon = root / f"usr/share/icons/hicolor/{folder}/apps/{APP_ID}.png"
                self.assertEqual(png_size(icon), (size, size))
        svg = ElementTree.parse(root / f"usr/share/icons/hicolor/scalable/apps/{APP_ID}.svg")
        self.assertEqual(svg.getroot().tag, "{http://www.w3.org/2000/svg}svg")

    def test_validators_accept_the_entry_and_the_metainfo(self):
        self.assertEqual(run(["desktop-file-validate", root / "usr" / ENTRY]), "")
        # --strict fails on anything above pedantic. The one pedantic note left is about the
        # capitals in the reverse-DNS id, which is the id's intended spelling.
        report = run(["appstreamcli", "validate", "--no-net", "--pedantic", "--strict",
                      root / "usr" / METAINFO])
        issues = [line for line in report.splitlines() if line[:2] in ("E:", "W:", "I:")]
        self.assertEqual(issues, [], report)

    def test_entry_metainfo_icon_and_changelog_share_one_id_and_the_version(self):
        desktop = entry(root / "usr" / ENTRY)
        component = ElementTree.parse(root / "usr" / METAINFO).getroot()
        self.assertEqual(component.findtext("id"), APP_ID)
        self.assertEqual(component.findtext("launchable"), f"{APP_ID}.desktop")
        self.assertEqual(desktop.get_string("Desktop Entry", "Icon"), APP_ID)
        self.assertEqual(component.findtext("provides/binary"),
                         Path(exec_program(root / "usr" / ENTRY)).name)
        self.assertEqual([r.get("version") for r in component.iter("release")], [VERSION])
        changelog = gzip.decompress((root / "usr/share/doc/vellumine/changelog.gz").read_bytes())
        self.assertEqual(changelog.split(b" ")[:2], [b"vellumine", f"({VERSION})".encode()])

    def test_manual_page_renders_without_warnings(self):
        page = root / "usr/share/man/man1/vellumine.1.gz"
        done = subprocess.run(["man", "--warnings", "-l", page], capture_output=True, text=True,
                              env=dict(os.environ, MANWIDTH="80"), timeout=TIMEOUT)
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        self.assertRegex(done.stdout, rf"^VELLUMINE\(1\) .*\n(.*\n)+Vellumine {VERSION} ")
        for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "ENVIRONMENT", "FILES"):
            self.assertRegex(done.stdout, rf"\n{section}\n", section)

    def test_exec_names_the_installed_program_wherever_it_is_installed(self):
        # Per-user prefixes, as `cmake --install --prefix ~/.local` makes; a home folder's name
        # may hold characters that a command line must quote.
        cases = {
            "a per-user prefix": "home/.local",
            "a space": "my home/.local",
            "shell characters": "it's $HOME `x` \"y\" & z;/.local",
        }
        for case, relative in cases.items():
            with self.subTest(case):
                prefix = scratch / "prefixes" / relative
                install(prefix)
                self.assertEqual(exec_program(prefix / ENTRY), str(prefix / "bin/vellumine"))
                self.assertEqual(run(["desktop-file-validate", prefix / ENTRY]), "")
        with self.subTest("a package's /usr under DESTDIR"):
            self.assertEqual(exec_program(root / "usr" / ENTRY), "/usr/bin/vellumine")


class DebianPackage(unittest.TestCase):
    def field(self, name):
        return run(["dpkg-deb", "-f", deb, name]).strip()

    def test_control_fields(self):
        architecture = run(["dpkg", "--print-architecture"]).strip()
        self.assertEqual(deb.name, f"vellumine_{VERSION}_{architecture}.deb")
        expected = {"Package": "vellumine", "Version": VERSION, "Section": "graphics",
                    "Architecture": architecture}
        self.assertEqual({name: self.field(name) for name in expected}, expected)
        for name in ("Maintainer", "Description", "Homepage"):
            self.assertNotEqual(self.field(name), "", name)
        depends = self.field("Depends")
        self.assertIn("libqt6widgets6", depends)
        recommends = [r.strip() for r in self.field("Recommends").split(",")]
        self.assertEqual(sorted(recommends), ["fonts-liberation2", "fonts-wine", "qt6-wayland"])

    def test_lintian_finds_nothing_down_to_pedantic(self):
        # The exit status covers errors and warnings; the report must hold no tag at all, but
        # for the hardening that Debug and sanitizer builds go without on purpose.
        done = subprocess.run(["lintian", "--fail-on", "error,warning", "--info", "--pedantic",
                               deb], capture_output=True, text=True, timeout=600)
        tags = done.stdout.splitlines()
        if os.environ.get("VELLUMINE_HARDENED") != "1":
            tags = [tag for tag in tags if not tag.startswith("I: vellumine: hardening-")]
        self.assertEqual((done.returncode, tags), (0, []), done.stdout + done.stderr)

    def test_holds_the_installed_files_owned_by_root(self):
        listing = [line.split() for line in run(["dpkg-deb", "-c", deb]).splitlines()]
        files = {row[-1].removeprefix("./usr/") for row in listing if row[0].startswith("-")}
        self.assertEqual(files, SHIPPED)
        self.assertEqual({row[1] for row in listing}, {"root/root"})
        # Unstripped, the program is several times its size, which Debian counts as a fault.
        self.assertRegex(run(["file", "-b", unpacked / "usr/bin/vellumine"]),
                         r"(?<!not )stripped")

    def test_packaged_program_opens_its_window(self):
        entry_file = unpacked / "usr" / ENTRY
        self.assertEqual(exec_program(entry_file), "/usr/bin/vellumine")
        with XSession() as session:
            app = Vellumine(session, unpacked / "usr/bin/vellumine").start()
            self.assertEqual(session.xdotool("getwindowname", app.window),
                             f"Vellumine  v{VERSION}")
            # X11 shells match a window to its menu entry by WM_CLASS; a mismatch shows the
            # window with a generic icon, apart from the launcher it was started from.
            wm_class = session.prop(app.window, "WM_CLASS")
            self.assertEqual(wm_class.split("=", 1)[1].split(",")[1].strip().strip('"'),
                             entry(entry_file).get_string("Desktop Entry", "StartupWMClass"))
            self.assertEqual(app.close(), 0)


if __name__ == "__main__":
    unittest.main()
