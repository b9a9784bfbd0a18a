#!/usr/bin/python3
"""Runs every benchmark and prints a table, then one machine-readable line per figure.

    run_benchmarks.py BUILD_DIR [--starts N] [--drags N] [--pastes N]

Every figure is a ratio against a peer measured in the same run, or a latency on this machine.
"""
import argparse
import json
import os
import queue
import random
import select
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from x_session import XSession, wait_for  # noqa: E402

from Xlib import X, display  # noqa: E402
from Xlib.ext import xfixes, xtest  # noqa: E402


def encode_figures(build, rounds=30):
    # Interleaved short rounds, each benchmark once per round; ratios are taken within a round
    # and their median reported, so that the shared machine's drifts cancel out.
    out = subprocess.run(
        [str(build / "bench" / "vellumine_encode_bench"), "--benchmark_format=json",
         f"--benchmark_repetitions={rounds}", "--benchmark_enable_random_interleaving=true",
         "--benchmark_min_time=0.02"],
        check=True, capture_output=True, text=True).stdout
    runs = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "iteration":
            runs.setdefault(b["run_name"], {})[b["repetition_index"]] = b["real_time"]
    ours, qt, large = (runs[name] for name in ("BM_EncodeAndStrip/32000", "BM_QtToBase64/32000",
                                                "BM_EncodeAndStrip/1048576"))
    median = statistics.median
    return {
        "ours_32000_us": median(ours.values()) / 1000,
        "qt_32000_us": median(qt.values()) / 1000,
        "ours_1mib_us": median(large.values()) / 1000,
        "encode_vs_qt_toBase64": median(qt[i] / ours[i] for i in ours),
        "encode_scaling": median((large[i] / 1048576) / (ours[i] / 32000) for i in ours),
    }


def drop_latency(build):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    out = subprocess.run([str(build / "bench" / "vellumine_drop_bench")], env=env, check=True,
                         capture_output=True, text=True).stdout.split()
    return float(out[out.index("median") + 1])


def first_frame(session, connection, program, expected=None):
    """Starts program; returns (seconds to its first painted frame, pixel, resident KiB)."""
    root = connection.screen().root
    root.change_attributes(event_mask=X.SubstructureNotifyMask)
    connection.sync()
    while connection.pending_events():
        connection.next_event()
    start = time.monotonic()
    process = session.spawn([str(part) for part in program])
    try:
        window = None
        while window is None:
            event = connection.next_event()
            if event.type == X.MapNotify and event.window.get_wm_name() is not None:
                window = event.window
        # Painted when the middle of the picture area shows the program's own colour.
        while True:
            pixel = window.get_image(99, 50, 1, 1, X.ZPixmap, 0xFFFFFFFF).data
            if (expected is None and pixel[:3] != b"\0\0\0") or pixel == expected:
                break
            time.sleep(0.0005)
        elapsed = time.monotonic() - start
        time.sleep(0.5)  # let it settle before its memory is read
        rss = next(int(line.split()[1]) for line in
                   Path(f"/proc/{process.pid}/status").read_text().splitlines()
                   if line.startswith("VmRSS:"))
        return elapsed, pixel, rss
    finally:
        process.terminate()
        process.wait(timeout=10)


def startup_figures(build, starts):
    bare = build / "bench" / "bare_window"
    programs = {"vellumine": [build / "desktop" / "qt" / "vellumine"], "bare": [bare],
                "bare_text": [bare, "--text"]}
    times = {name: [] for name in programs}
    memory = {name: [] for name in programs}
    with XSession(width=640, height=480, window_manager=False) as session:
        connection = display.Display(session.display)
        # One start each to learn the painted colour and warm the file cache.
        colours = {name: first_frame(session, connection, program)[1]
                   for name, program in programs.items()}
        for _ in range(starts):
            for name, program in programs.items():
                elapsed, _, rss = first_frame(session, connection, program, colours[name])
                times[name].append(elapsed)
                memory[name].append(rss)
        connection.close()
    median = {name: (statistics.median(times[name]), statistics.median(memory[name]))
              for name in programs}

    def ratio(values, peer):
        # Within each round, as the encoder's ratios are: a slow stretch hits all three starts.
        return statistics.median(ours / theirs for ours, theirs in zip(values["vellumine"],
                                                                        values[peer]))
    return {
        "vellumine_start_ms": median["vellumine"][0] * 1000,
        "bare_start_ms": median["bare"][0] * 1000,
        "vellumine_rss_kib": median["vellumine"][1], "bare_rss_kib": median["bare"][1],
        "text_start_ms": median["bare_text"][0] * 1000, "text_rss_kib": median["bare_text"][1],
        "startup_vs_bare_qt": ratio(times, "bare"),
        "rss_vs_bare_qt": ratio(memory, "bare"),
        "startup_vs_qt_label": ratio(times, "bare_text"),
        "rss_vs_qt_label": ratio(memory, "bare_text"),
    }


class ClipboardWatch:
    """A connection of its own that hears every change of the clipboard's owner."""

    def __init__(self, session):
        self.connection = display.Display(session.display)
        self.connection.xfixes_query_version()
        self.clipboard = self.connection.intern_atom("CLIPBOARD")
        self.connection.xfixes_select_selection_input(
            self.connection.screen().root, self.clipboard, xfixes.XFixesSetSelectionOwnerNotifyMask)
        self.connection.sync()

    def drain(self):
        while self.connection.pending_events():
            self.connection.next_event()

    def next_owner(self, deadline):
        """Waits for a program to take the clipboard (not merely clear it); the time it was
        heard, or None at the deadline."""
        event_type = self.connection.extension_event.SetSelectionOwnerNotify
        while True:
            while self.connection.pending_events():
                event = self.connection.next_event()
                if (event.type, getattr(event, "sub_code", None)) == event_type and \
                        event.selection == self.clipboard and event.owner:
                    return time.perf_counter()
            remaining = deadline - time.perf_counter()
            if remaining <= 0 or not select.select([self.connection], [], [], remaining)[0]:
                return None

    def close(self):
        self.connection.close()


def drag_and_time(pointer, source, target, watch):
    """Drags with XTEST from source to target; seconds from the button release to a program
    taking the clipboard, or None when the drop did not get there."""
    def move(x, y, pause=0.02):
        xtest.fake_input(pointer, X.MotionNotify, x=x, y=y)
        pointer.sync()
        time.sleep(pause)

    (x0, y0), (x1, y1) = source, target
    move(x0, y0)
    xtest.fake_input(pointer, X.ButtonPress, 1)
    pointer.sync()
    for step in range(3, 25, 3):  # past GTK's drag threshold
        move(x0 + step, y0 + step)
    for i in range(1, 13):
        move(x0 + (x1 - x0) * i // 12, y0 + (y1 - y0) * i // 12)
    # The target must have answered the last position before the button goes up, or GTK gives
    # the drop up; both targets answer within milliseconds when the machine is idle.
    move(x1 + 1, y1, pause=0.15)
    watch.drain()
    released = time.perf_counter()
    xtest.fake_input(pointer, X.ButtonRelease, 1)
    pointer.sync()
    taken = watch.next_owner(released + 5)
    return None if taken is None else taken - released


def release_latency(build, drags):
    """Median milliseconds from releasing a drag of a 32000-byte .jpeg from the GTK file source
    to the snippet owning the clipboard: Vellumine's, and the bare Qt drop target's (the floor).
    Drags go to the two programs in turn, so that a slow moment of the machine hits both."""
    # Placed so that no drag passes over the other target on its way.
    targets = {"vellumine": ([build / "desktop" / "qt" / "vellumine"], (300, 100)),
               "floor": ([build / "bench" / "bare_window", "--drop"], (300, 450))}
    times = {name: [] for name in targets}
    with XSession() as session:
        image = session.tmp / "largest.jpeg"
        image.write_bytes(bytes(range(256)) * 125)
        places = {}
        for name, (program, (x, y)) in targets.items():
            process = session.spawn([str(part) for part in program])
            window = wait_for(f"the window of {name}",
                              lambda: session.windows(pid=process.pid), timeout=30)[0]
            session.xdotool("windowmove", "--sync", window, x, y)
            wx, wy, width, height = session.geometry(window)
            places[name] = (wx + width // 2, wy + 78)
        source, source_window = session.start_drag_source([image])
        ends = queue.Queue()
        threading.Thread(target=lambda: [ends.put(line) for line in source.stdout],
                         daemon=True).start()
        sx, sy, sw, sh = session.geometry(source_window)
        pointer = display.Display(session.display)
        watch = ClipboardWatch(session)
        try:
            failures = 0
            while min(len(t) for t in times.values()) < drags:
                for name, place in places.items():
                    elapsed = drag_and_time(pointer, (sx + sw // 2, sy + sh // 2), place, watch)
                    # The next drag starts once the source has heard that this one is over.
                    ends.get(timeout=10)
                    if elapsed is None:
                        failures += 1
                        if failures > drags:
                            raise RuntimeError(f"{failures} drops did not reach their target")
                    else:
                        times[name].append(elapsed)
        finally:
            watch.close()
            pointer.close()
    return {name: statistics.median(values) * 1000 for name, values in times.items()}


def paste_figures(build, rounds):
    """Median milliseconds from Ctrl+V to Vellumine's answer, for pictures that xclip offers: a
    small PNG and a 256x256 bitmap (to the snippet owning the clipboard) and a 4K bitmap of
    noise (to the refusal on the status line), each beside its floor: `xclip -o` reading the
    same owner's bytes, plus the same conversion of them (BM_ConvertFile)."""
    from test_e2e import write_bitmap  # noqa: E402
    from vellumine_driver import Vellumine  # noqa: E402
    noise = random.Random(7)
    with XSession() as session:
        small = session.tmp / "small.png"
        small.write_bytes(noise.randbytes(3000))
        cases = {"png": ("image/png", small, None)}
        # A bitmap that makes a PNG within the limit (one row repeated), and one of noise.
        for name, width, height, rows in (("bitmap_256", 256, 256, None),
                                          ("refuse_4k", 3840, 2160, noise.randbytes(33177600))):
            path = write_bitmap(session.tmp / f"{name}.bmp", width, height, rows)
            cases[name] = ("image/bmp", path, path)
        out = subprocess.run(
            [str(build / "bench" / "vellumine_paste_bench"), "--benchmark_format=json",
             "--benchmark_filter=ConvertFile", "--benchmark_repetitions=9",
             *[str(path) for _, _, path in cases.values() if path]],
            check=True, capture_output=True, text=True,
            env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
        convert = {b["run_name"].split("/", 1)[1]: b["real_time"] for b in
                   json.loads(out)["benchmarks"] if b.get("aggregate_name") == "median"}
        app = Vellumine(session, build / "desktop" / "qt" / "vellumine").start()
        x, y, _, _ = session.geometry(app.window)
        root = display.Display(session.display).screen().root
        watch = ClipboardWatch(session)
        keys = display.Display(session.display)
        codes = [keys.keysym_to_keycode(sym) for sym in (0xFFE3, 0x76)]  # Control_L, v
        session.xdotool("windowactivate", "--sync", app.window)

        def ctrl_v():
            """Ctrl+V through XTEST, as a keyboard sends it; the time it went."""
            sent = time.perf_counter()
            for kind, code in ((X.KeyPress, codes[0]), (X.KeyPress, codes[1]),
                               (X.KeyRelease, codes[1]), (X.KeyRelease, codes[0])):
                xtest.fake_input(keys, kind, code)
            keys.sync()
            return sent

        def refused():
            image = root.get_image(x, y + 156, 197, 21, X.ZPixmap, 0xFFFFFFFF).data
            return sum(image[i:i + 3] == b"\0\0\xff" for i in range(0, len(image), 4)) >= 8

        times = {name: [] for name in cases}
        floors = {name: [] for name in cases}
        for _ in range(rounds):
            for name, (target, path, bitmap) in cases.items():
                if name == "refuse_4k":  # a snippet first, so that the refusal shows anew
                    app.paste("image/png", small)
                    wait_for("the snippet", lambda: not refused(), 5, 0.001)
                session.spawn(["xclip", "-selection", "clipboard", "-t", target, "-i", path])
                wait_for(f"xclip to offer {target}", lambda: target in (
                    session.clipboard("-t", "TARGETS") or "").split())
                start = time.perf_counter()
                subprocess.run(["xclip", "-selection", "clipboard", "-t", target, "-o"],
                               env=session.env, stdout=subprocess.DEVNULL, check=True)
                floors[name].append((time.perf_counter() - start) * 1000 +
                                    convert.get(str(bitmap), 0))
                watch.drain()
                sent = ctrl_v()
                if name == "refuse_4k":
                    wait_for("the refusal", refused, 5, 0.001)
                    taken = time.perf_counter()
                else:
                    taken = watch.next_owner(sent + 5)
                times[name].append((taken - sent) * 1000)
        watch.close()
        keys.close()
    return {name: (statistics.median(times[name]), statistics.median(floors[name]))
            for name in cases}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", type=Path)
    parser.add_argument("--starts", type=int, default=21)
    parser.add_argument("--drags", type=int, default=21)
    parser.add_argument("--pastes", type=int, default=15)
    args = parser.parse_args()
    if args.drags < 15:
        parser.error("--drags: at least 15, for a median worth comparing")
    build = args.build.resolve()

    encode = encode_figures(build)
    latency = drop_latency(build)
    release = release_latency(build, args.drags)
    startup = startup_figures(build, args.starts)
    paste = paste_figures(build, args.pastes)

    rows = [
        ("encode + strip, 32000 bytes", f"{encode['ours_32000_us']:.1f} us",
         f"QByteArray::toBase64 {encode['qt_32000_us']:.1f} us",
         f"{encode['encode_vs_qt_toBase64']:.2f} x faster", ">= 1.5"),
        ("encode + strip, 1 MiB", f"{encode['ours_1mib_us']:.0f} us",
         "per byte at 32000 bytes", f"{encode['encode_scaling']:.2f} x per byte", "<= 1.2"),
        ("drop to clipboard, 32000 bytes", f"{latency:.0f} us", "-", "median", "<= 500 us"),
        ("release to clipboard, real drag", f"{release['vellumine']:.1f} ms",
         f"bare Qt drop target {release['floor']:.1f} ms",
         f"{release['vellumine'] - release['floor']:+.1f} ms", "<= 10, floor + 2"),
        ("start to first frame", f"{startup['vellumine_start_ms']:.0f} ms",
         f"bare Qt window {startup['bare_start_ms']:.0f} ms",
         f"{startup['startup_vs_bare_qt']:.2f} x", "<= 1.10"),
        ("", "", f"Qt window with a label {startup['text_start_ms']:.0f} ms",
         f"{startup['startup_vs_qt_label']:.2f} x", "<= 1.05"),
        ("resident memory once shown", f"{startup['vellumine_rss_kib'] / 1024:.1f} MiB",
         f"bare Qt window {startup['bare_rss_kib'] / 1024:.1f} MiB",
         f"{startup['rss_vs_bare_qt']:.2f} x", "<= 1.10"),
        ("", "", f"Qt window with a label {startup['text_rss_kib'] / 1024:.1f} MiB",
         f"{startup['rss_vs_qt_label']:.2f} x", "<= 1.05"),
    ] + [
        (f"Ctrl+V to {what}", f"{paste[name][0]:.1f} ms",
         f"xclip -o + conversion {paste[name][1]:.1f} ms",
         f"{paste[name][0] - paste[name][1]:+.1f} ms", "floor + 10")
        for name, what in (("png", "snippet, PNG of 3000 bytes"),
                           ("bitmap_256", "snippet, 256x256 bitmap"),
                           ("refuse_4k", "refusal, 4K bitmap"))
    ]
    header = ("figure", "Vellumine", "peer", "result", "goal")
    widths = [max(len(str(row[i])) for row in rows + [header]) for i in range(5)]
    for row in [header, tuple("-" * w for w in widths)] + rows:
        print("  ".join(str(cell).ljust(width) for cell, width in zip(row, widths)).rstrip())
    print(f"(medians; {args.drags} drags each under Xvfb and openbox, {args.starts} alternating"
          " starts each under one Xvfb)")
    print()
    print(f"ratio encode_vs_qt_toBase64 {encode['encode_vs_qt_toBase64']:.3f}")
    print(f"ratio encode_scaling {encode['encode_scaling']:.3f}")
    print(f"latency drop_to_clipboard_us {latency:.1f}")
    print(f"ratio startup_vs_bare_qt {startup['startup_vs_bare_qt']:.3f}")
    print(f"ratio rss_vs_bare_qt {startup['rss_vs_bare_qt']:.3f}")
    print(f"ratio startup_vs_qt_label {startup['startup_vs_qt_label']:.3f}")
    print(f"ratio rss_vs_qt_label {startup['rss_vs_qt_label']:.3f}")
    print(f"latency release_to_clipboard_ms {release['vellumine']:.2f}")
    print(f"latency release_to_clipboard_floor_ms {release['floor']:.2f}")
    for name, (ours, floor) in paste.items():
        print(f"latency paste_{name}_ms {ours:.2f}")
        print(f"latency paste_{name}_floor_ms {floor:.2f}")


if __name__ == "__main__":
    main()
