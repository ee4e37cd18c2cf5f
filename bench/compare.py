#!/usr/bin/env python3
"""Times a scrivane subcommand over the corpus beside pdftotext on the same files.

The two commands run alternately, file by file, so that machine noise hits both alike. For
each run it records the wall time and the peak resident memory of the child process, then
prints per-file medians and the median of the per-file time ratios.

    bench/compare.py [--runs 5] [--mode convert|dump] [--scrivane build/scrivane] [files...]
"""
import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
# scrivane refuses the scanned file by design; the "-secret" copies need a password that
# neither command is given.
SKIP = {"scanned.pdf"}


def measure(argv):
    """Wall seconds and peak RSS (KiB) of one run of argv, output discarded."""
    # GNU time reports the command's own peak; a child forked straight from this interpreter
    # would report the interpreter's resident size as its peak.
    with tempfile.NamedTemporaryFile("r") as report:
        start = time.perf_counter()
        code = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", report.name, *argv],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        lines = report.read().split()
    return elapsed, int(lines[-1]) if lines else 0, code


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--mode", choices=["convert", "dump"], default="convert")
    parser.add_argument("--scrivane", default=str(ROOT / "build" / "scrivane"))
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()

    files = [pathlib.Path(f) for f in args.files] or sorted(
        p for p in (ROOT / "tests" / "corpus").glob("*.pdf")
        if p.name not in SKIP and "secret" not in p.name)
    ratios = []
    print(f"{'file':34} {'scrivane ms':>12} {'pdftotext ms':>13} {'ratio':>6} "
          f"{'scrivane KiB':>13} {'pdftotext KiB':>14}")
    total = [0.0, 0.0]
    peak = [0, 0]
    for f in files:
        ours, theirs, our_rss, their_rss = [], [], [], []
        for _ in range(args.runs):
            t, rss, code = measure([args.scrivane, args.mode, str(f)])
            if code != 0:
                print(f"{f.name}: scrivane exited with {code}", file=sys.stderr)
            ours.append(t)
            our_rss.append(rss)
            t, rss, _ = measure(["pdftotext", str(f), "-"])
            theirs.append(t)
            their_rss.append(rss)
        a, b = statistics.median(ours), statistics.median(theirs)
        ratios.append(a / b)
        total[0] += a
        total[1] += b
        peak[0] = max(peak[0], max(our_rss))
        peak[1] = max(peak[1], max(their_rss))
        print(f"{f.name:34} {a * 1000:12.1f} {b * 1000:13.1f} {a / b:6.2f} "
              f"{max(our_rss):13} {max(their_rss):14}")
    print(f"{'total':34} {total[0] * 1000:12.1f} {total[1] * 1000:13.1f} "
          f"{total[0] / total[1]:6.2f} {peak[0]:13} {peak[1]:14}")
    print(f"median per-file time ratio (scrivane {args.mode} / pdftotext): "
          f"{statistics.median(ratios):.2f}")


if __name__ == "__main__":
    main()
