#!/usr/bin/python3
"""Whole-process times of `draftwell-cli info` and `draftwell-cli convert` (to R2018
DXF) on every corpus DWG: the median of --runs runs each, and the ratio.
  convert_vs_info.py --cli build/release/src/cli/draftwell-cli --corpus ../shared/corpus"""
import argparse
import os
import statistics
import subprocess
import tempfile
import time


def timed(cmd, runs):
    t = []
    for _ in range(runs):
        s = time.perf_counter()
        subprocess.run(cmd, capture_output=True)
        t.append(time.perf_counter() - s)
    return statistics.median(t)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--runs", type=int, default=3)
    a = ap.parse_args()
    d = os.path.join(a.corpus, "dwg")
    files = sorted(f for f in os.listdir(d) if f.endswith(".dwg"))
    ratios = []
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out.dxf")
        for f in files:
            p = os.path.join(d, f)
            i = timed([a.cli, "info", p], a.runs)
            c = timed([a.cli, "convert", p, "-o", out], a.runs)
            ratios.append((c / i, f, i, c))
    ratios.sort()
    for r, f, i, c in ratios[-10:]:
        print("%-40s info %7.1f ms  convert %7.1f ms  ratio %.2f" % (f, i * 1e3, c * 1e3, r))
    rs = [r for r, *_ in ratios]
    print("files %d  ratio median %.2f  max %.2f  over 2: %d" % (len(rs), statistics.median(rs), max(rs), sum(r > 2 for r in rs)))


if __name__ == "__main__":
    main()
