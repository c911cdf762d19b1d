#!/usr/bin/python3
"""Cold opens side by side: each corpus DWG opened by fresh `draftwell-cli info
--json` processes (load_ms, and the whole process's wall time) and read by the
LibreDWG timing driver, interleaved in one run so that both columns meet the
same machine. Medians of N per file, summed per release group.

  bench/cold_open.py --cli build/release/src/cli/draftwell-cli [--runs 3]
                    [--before OLD-CLI [--before-env NAME=VALUE]]

--before adds the columns of another build (or of the same one under another
environment, e.g. DRAFTWELL_FONT_CACHE=0), interleaved with the others.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.normpath(os.path.join(HERE, "..", "..", "shared"))
GROUPS = [("R13-R2000", ("AC1012", "AC1014", "AC1015")),
          ("R2004-R2007", ("AC1018", "AC1021")),
          ("R2010-R2018", ("AC1024", "AC1027", "AC1032"))]


def ours(cli, path, env=None):
    t0 = time.monotonic()
    p = subprocess.run([cli, "info", path, "--json"], capture_output=True, text=True, env=env)
    wall = (time.monotonic() - t0) * 1000
    try:
        d = json.loads(p.stdout)
    except ValueError:
        return None, None, wall
    return d.get("version"), d.get("load_ms"), wall


def peer(tool, path):
    p = subprocess.run([tool, path], capture_output=True, text=True)
    for word in p.stdout.strip().splitlines()[-1:][0].split() if p.stdout.strip() else []:
        if word.startswith("ms="):
            return float(word[3:])
    return None


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--cli", required=True)
    a.add_argument("--runs", type=int, default=3)
    a.add_argument("--corpus", default=os.path.join(SHARED, "corpus", "dwg"))
    a.add_argument("--peer", default=os.path.join(SHARED, "tools", "peers", "ldwg_time"))
    a.add_argument("--before")
    a.add_argument("--before-env", action="append", default=[])
    o = a.parse_args()
    benv = dict(os.environ)
    for kv in o.before_env:
        k, _, v = kv.partition("=")
        benv[k] = v
    files = sorted(f for f in os.listdir(o.corpus) if f.lower().endswith(".dwg"))
    sums = {g: [0.0, 0.0, 0.0, 0, 0.0, 0.0] for g, _ in GROUPS}
    for f in files:
        path = os.path.join(o.corpus, f)
        loads, walls, peers, version = [], [], [], None
        bloads, bwalls = [], []
        for _ in range(o.runs):
            if o.before:
                _, ms, wall = ours(o.before, path, benv)
                if ms is not None:
                    bloads.append(ms)
                    bwalls.append(wall)
            v, ms, wall = ours(o.cli, path)
            version = version or v
            if ms is not None:
                loads.append(ms)
                walls.append(wall)
            pm = peer(o.peer, path)
            if pm is not None:
                peers.append(pm)
        group = next((g for g, vs in GROUPS if version in vs), None)
        if not group or not loads or not peers:
            continue
        s = sums[group]
        s[0] += statistics.median(loads)
        s[1] += statistics.median(walls)
        s[2] += statistics.median(peers)
        s[3] += 1
        if bloads:
            s[4] += statistics.median(bloads)
            s[5] += statistics.median(bwalls)
        print(f"{f:50s} {version} load {statistics.median(loads):7.1f} ms  process {statistics.median(walls):7.1f} ms"
              f"  peer {statistics.median(peers):7.1f} ms", file=sys.stderr)
    before = " before load_ms | before ratio | before whole process, ms |" if o.before else ""
    print("| group | files | LibreDWG read, ms |" + before + " load_ms | ratio | whole process, ms |")
    print("|---|---:|---:|" + ("---:|---:|---:|" if o.before else "") + "---:|---:|---:|")
    for g, _ in GROUPS:
        load, wall, pm, n, bload, bwall = sums[g]
        if n:
            b = f" {bload:.0f} | {pm / bload:.1f}x | {bwall:.0f} |" if o.before and bload else ""
            print(f"| {g} | {n} | {pm:.0f} |{b} {load:.0f} | {pm / load:.1f}x | {wall:.0f} |")


if __name__ == "__main__":
    main()
