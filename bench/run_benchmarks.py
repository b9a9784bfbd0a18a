#!/usr/bin/python3
"""Runs every benchmark and prints a table, then one machine-readable line per figure.

    run_benchmarks.py BUILD_DIR [--starts N]

Every figure is a ratio against a peer measured in the same run, or a latency on this machine.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from x_session import XSession, wait_for  # noqa: E402

from Xlib import X, display  # noqa: E402


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
    return {
        "vellumine_start_ms": median["vellumine"][0] * 1000,
        "bare_start_ms": median["bare"][0] * 1000,
        "vellumine_rss_kib": median["vellumine"][1], "bare_rss_kib": median["bare"][1],
        "text_start_ms": median["bare_text"][0] * 1000, "text_rss_kib": median["bare_text"][1],
        "startup_vs_bare_qt": median["vellumine"][0] / median["bare"][0],
        "rss_vs_bare_qt": median["vellumine"][1] / median["bare"][1],
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", type=Path)
    parser.add_argument("--starts", type=int, default=21)
    args = parser.parse_args()
    build = args.build.resolve()

    encode = encode_figures(build)
    latency = drop_latency(build)
    startup = startup_figures(build, args.starts)

    rows = [
        ("encode + strip, 32000 bytes", f"{encode['ours_32000_us']:.1f} us",
         f"QByteArray::toBase64 {encode['qt_32000_us']:.1f} us",
         f"{encode['encode_vs_qt_toBase64']:.2f} x faster", ">= 1.5"),
        ("encode + strip, 1 MiB", f"{encode['ours_1mib_us']:.0f} us",
         "per byte at 32000 bytes", f"{encode['encode_scaling']:.2f} x per byte", "<= 1.2"),
        ("drop to clipboard, 32000 bytes", f"{latency:.0f} us", "-", "median", "<= 500 us"),
        ("start to first frame", f"{startup['vellumine_start_ms']:.0f} ms",
         f"bare Qt window {startup['bare_start_ms']:.0f} ms",
         f"{startup['startup_vs_bare_qt']:.2f} x", "<= 1.10"),
        ("resident memory once shown", f"{startup['vellumine_rss_kib'] / 1024:.1f} MiB",
         f"bare Qt window {startup['bare_rss_kib'] / 1024:.1f} MiB",
         f"{startup['rss_vs_bare_qt']:.2f} x", "<= 1.10"),
    ]
    header = ("figure", "Vellumine", "peer", "result", "goal")
    widths = [max(len(str(row[i])) for row in rows + [header]) for i in range(5)]
    for row in [header, tuple("-" * w for w in widths)] + rows:
        print("  ".join(str(cell).ljust(width) for cell, width in zip(row, widths)).rstrip())
    print(f"(medians; {args.starts} alternating starts each under one Xvfb; for context, the bare"
          f" window with one line of text: {startup['text_start_ms']:.0f} ms,"
          f" {startup['text_rss_kib'] / 1024:.1f} MiB)")
    print()
    print(f"ratio encode_vs_qt_toBase64 {encode['encode_vs_qt_toBase64']:.3f}")
    print(f"ratio encode_scaling {encode['encode_scaling']:.3f}")
    print(f"latency drop_to_clipboard_us {latency:.1f}")
    print(f"ratio startup_vs_bare_qt {startup['startup_vs_bare_qt']:.3f}")
    print(f"ratio rss_vs_bare_qt {startup['rss_vs_bare_qt']:.3f}")


if __name__ == "__main__":
    main()
