#!/usr/bin/python3
"""Converts every corpus drawing to R2018 DXF with draftwell-cli and reads the result
with ezdxf: no exception, no audit error, and the layer, block and layout names and
the entity count of each layout equal to our own read of the source.

Exit 0 when the share of passing files reaches --min-share, 1 below it, 77 (skip)
when ezdxf or the corpus is missing."""
import argparse
import json
import os
import subprocess
import sys
import tempfile


def our_read(cli, path):
    r = subprocess.run([cli, "info", path, "--json"], capture_output=True, timeout=600)
    if r.returncode != 0:
        return None
    try:
        return json.loads(r.stdout)
    except ValueError:
        return None


def check(ezdxf, cli, src, out):
    """'' when the file passes, else the reason."""
    info = our_read(cli, src)
    if info is None:
        return None  # we do not read it: not part of the round trip
    r = subprocess.run([cli, "convert", src, "-o", out], capture_output=True, timeout=600)
    if r.returncode != 0:
        return "convert failed: " + r.stderr.decode(errors="replace").strip().splitlines()[-1]
    try:
        doc = ezdxf.readfile(out)
    except Exception as e:  # noqa: BLE001 - any failure is the finding
        return "ezdxf cannot read it: %s" % (str(e)[:200],)
    try:
        audit = doc.audit()
    except Exception as e:  # noqa: BLE001
        return "ezdxf audit raised: %s" % (str(e)[:200],)
    if audit.has_errors:
        return "audit errors: " + "; ".join(str(e.message)[:100] for e in audit.errors[:3])
    up = lambda names: sorted({n.upper() for n in names})
    ours = up(info.get("layers", []))
    # ezdxf adds a DEFPOINTS layer to every drawing it loads.
    theirs = up(l.dxf.name for l in doc.layers if l.dxf.name.upper() != "DEFPOINTS" or "DEFPOINTS" in ours)
    if ours != theirs:
        return "layers differ: ours %s, ezdxf %s" % (sorted(set(ours) - set(theirs))[:5], sorted(set(theirs) - set(ours))[:5])
    # R12's $MODEL_SPACE and $PAPER_SPACE are written in the later '*' form.
    ours = up(b.replace("$", "*", 1) if b.upper() in ("$MODEL_SPACE", "$PAPER_SPACE") else b
              for b in info.get("blocks", []))
    theirs = up(b.name for b in doc.blocks)
    # Layout blocks are compared as layouts: ezdxf renames or drops paper space blocks
    # that no layout owns, and old DWG files keep their spaces outside the block list.
    paper = lambda n: n[1:].startswith("PAPER_SPACE") or n[1:] == "MODEL_SPACE"
    layout_blocks = {l.get("block", "").upper() for l in info.get("layouts", [])}
    ours = [n for n in ours if not paper(n) and n not in layout_blocks]
    theirs = [n for n in theirs if not paper(n)]
    if ours != theirs:
        return "blocks differ: ours %s, ezdxf %s" % (sorted(set(ours) - set(theirs))[:5], sorted(set(theirs) - set(ours))[:5])
    ours = {l["name"].upper(): l.get("entity_count", 0) for l in info.get("layouts", [])}
    theirs = {l.name.upper(): len(l) for l in doc.layouts}
    # ezdxf makes an empty paper layout when a drawing has none.
    if len(ours) == 1 and len(theirs) == 2 and theirs.get("LAYOUT1") == 0 and "LAYOUT1" not in ours:
        del theirs["LAYOUT1"]
    if sorted(ours) != sorted(theirs):
        return "layouts differ: ours %s, ezdxf %s" % (sorted(ours), sorted(theirs))
    for name, n in ours.items():
        if theirs[name] != n:
            return "layout %s: ours %d entities, ezdxf %d" % (name, n, theirs[name])
    return ""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--min-share", type=float, default=0.95)
    ap.add_argument("--only", default="", help="substring a file name must hold")
    a = ap.parse_args()
    try:
        import ezdxf  # noqa: F401
    except ImportError:
        print("SKIP: ezdxf is not installed")
        return 77
    if not os.path.isdir(a.corpus):
        print("SKIP: no corpus at " + a.corpus)
        return 77
    import ezdxf
    import logging
    logging.disable(logging.CRITICAL)
    files = []
    for sub in ("dxf", "dwg"):
        d = os.path.join(a.corpus, sub)
        if os.path.isdir(d):
            files += [os.path.join(d, f) for f in sorted(os.listdir(d))
                      if f.lower().endswith("." + sub) and a.only in f]
    passed = total = 0
    with tempfile.TemporaryDirectory() as tmp:
        for src in files:
            why = check(ezdxf, a.cli, src, os.path.join(tmp, "out.dxf"))
            if why is None:
                continue
            total += 1
            if why == "":
                passed += 1
            else:
                print("FAIL %s: %s" % (os.path.relpath(src, a.corpus), why))
    share = passed / total if total else 1.0
    print("ezdxf round trip: %d of %d files pass (%.1f%%)" % (passed, total, 100 * share))
    return 0 if share >= a.min_share else 1


if __name__ == "__main__":
    sys.exit(main())
