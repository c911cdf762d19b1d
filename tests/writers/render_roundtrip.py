#!/usr/bin/python3
"""Renders every corpus drawing and its R2018 DXF written by draftwell-cli convert,
and compares the two pictures pixel for pixel.

Exit 0 when the share of identical pairs reaches --min-share, 1 below it, 77 (skip)
when the corpus or Pillow is missing. The goal is 98 %; the default floor is what
holds today (289 of 319), so that a writer change that loses more shows at once.
Known differences: spatial filters, gradient hatches, surface construction data, a
viewport's frozen layers and MText column data are not written in full."""
import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile


def render(cli, src, out, size):
    r = subprocess.run([cli, "render", src, "-o", out, "--size", size], capture_output=True, timeout=600)
    return r.returncode == 0 and os.path.exists(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--size", default="400x300")
    ap.add_argument("--min-share", type=float, default=0.90)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--only", default="")
    a = ap.parse_args()
    try:
        from PIL import Image, ImageChops
    except ImportError:
        print("SKIP: Pillow is not installed")
        return 77
    if not os.path.isdir(a.corpus):
        print("SKIP: no corpus at " + a.corpus)
        return 77
    files = []
    for sub in ("dxf", "dwg"):
        d = os.path.join(a.corpus, sub)
        if os.path.isdir(d):
            files += [os.path.join(d, f) for f in sorted(os.listdir(d)) if f.lower().endswith("." + sub) and a.only in f]
    same = total = 0
    with tempfile.TemporaryDirectory() as tmp:
        # Each file in its own folder, so that two workers never share a picture.
        def one(job):
            i, src = job
            d = os.path.join(tmp, str(i))
            os.mkdir(d)
            a_png, b_png, dxf = (os.path.join(d, n) for n in ("a.png", "b.png", "w.dxf"))
            if not render(a.cli, src, a_png, a.size):
                return None  # we do not draw it: not part of the round trip
            name = os.path.relpath(src, a.corpus)
            if subprocess.run([a.cli, "convert", src, "-o", dxf], capture_output=True, timeout=600).returncode != 0:
                return "DIFF %s: convert failed" % name
            if not render(a.cli, dxf, b_png, a.size):
                return "DIFF %s: the written file does not render" % name
            A, B = Image.open(a_png).convert("RGB"), Image.open(b_png).convert("RGB")
            if A.size == B.size and ImageChops.difference(A, B).getbbox() is None:
                return ""
            diff = ImageChops.difference(A, B).convert("L").point(lambda v: 255 if v else 0) if A.size == B.size else None
            n = sum(1 for v in diff.getdata() if v) if diff else -1
            return "DIFF %s: %d pixels differ" % (name, n)

        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, a.jobs)) as pool:
            for r in pool.map(one, enumerate(files)):
                if r is None:
                    continue
                total += 1
                if r:
                    print(r)
                else:
                    same += 1
    share = same / total if total else 1.0
    print("render round trip: %d of %d pictures identical (%.1f%%)" % (same, total, 100 * share))
    return 0 if share >= a.min_share else 1


if __name__ == "__main__":
    sys.exit(main())
