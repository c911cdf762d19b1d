#!/usr/bin/python3
"""Scores our plot file pictures against hp2xx's.

Renders every corpus plot file that has an hp2xx picture at that picture's size and
scores the pair with the shared picture comparison; prints one line per file, worst
first, and the count at or above 0.90.
Usage: scripts/plot_likeness.py CLI OUT_DIR [NAME_FILTER]
"""
import concurrent.futures as cf
import glob
import os
import subprocess
import sys

from PIL import Image

here = os.path.dirname(os.path.abspath(__file__))
shared = os.path.normpath(os.path.join(here, '..', '..', 'shared'))
cli, out = sys.argv[1], sys.argv[2]
only = sys.argv[3] if len(sys.argv) > 3 else ''
corp = os.path.join(shared, 'corpus', 'hpgl')
orc = os.path.join(corp, 'oracle')
compare = os.path.join(shared, 'tools', 'picture_compare.py')
if not os.path.isdir(orc):
    sys.exit(f'no plot corpus with hp2xx pictures at {orc}')
os.makedirs(out, exist_ok=True)

items = []
for f in sorted(glob.glob(corp + '/*') + glob.glob(corp + '/generated/*')):
    if os.path.isdir(f) or f.endswith(('.md', '.tsv')):
        continue
    rel = os.path.relpath(f, corp)
    base = rel.replace('/', '_')
    if base.endswith('.gz'):
        base = base[:-3]
    ref = os.path.join(orc, base + '.png')
    if os.path.exists(ref) and only in rel:
        items.append((f, ref, base))


def score(item):
    f, ref, base = item
    w, h = Image.open(ref).size
    png = os.path.join(out, base + '.png')
    if os.path.exists(png):
        os.remove(png)
    subprocess.run([cli, 'render', f, '-o', png, '--size', f'{w}x{h}'], capture_output=True, timeout=120,
                   env=dict(os.environ, QT_QPA_PLATFORM='offscreen'))
    if not os.path.exists(png):
        return base, 0.0, 'no picture'
    r = subprocess.run(['/usr/bin/python3', compare, ref, png], capture_output=True, text=True)
    try:
        return base, float(r.stdout.split('score=')[1].split()[0]), r.stdout.strip()
    except (IndexError, ValueError):
        return base, 0.0, r.stdout + r.stderr


with cf.ThreadPoolExecutor(2) as ex:
    results = list(ex.map(score, items))
for b, s, i in sorted(results, key=lambda r: r[1]):
    print(f'{s:.3f} {b:45s} {i}')
print(f'{sum(s >= 0.9 for _, s, _ in results)}/{len(results)} >= 0.90')
