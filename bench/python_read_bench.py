"""Times orvo.read on a file against tifffile reading the same three pages into arrays, each
in a fresh interpreter with the file in the page cache, and reports the median time and the
peak resident memory of each, beside the size of the planes. Targets: orvo.read at least as
fast as tifffile, and its peak no more than one copy of the planes above the interpreter's.

Resident memory is given twice: the peak of the process's own (anonymous) memory, sampled
every half millisecond while the reader runs, which holds the planes; and the whole peak
(VmHWM), which also counts the pages of a file that a reader maps while it reads (the orvo
reader maps the file and copies its strips out of the mapping; the pages are the system's
file cache, shared and given back when the file is closed, not a copy the reader keeps).

Usage: /usr/bin/python3 bench/python_read_bench.py FILE [RUNS, default 5]
(the orvo module on PYTHONPATH; bench/python_read_bench.sh sets it up)
"""
import json
import statistics
import subprocess
import sys

MEASURE = r'''
import json, resource, sys, threading, time
import numpy as np
import orvo, tifffile
path, how = sys.argv[1], sys.argv[2]

def anonymous():
    with open('/proc/self/status') as status:
        for line in status:
            if line.startswith('RssAnon:'):
                return int(line.split()[1]) * 1024

peak_anonymous, reading = anonymous(), True
def sample():
    global peak_anonymous
    while reading:
        peak_anonymous = max(peak_anonymous, anonymous())
        time.sleep(0.0005)

base, base_anonymous = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss, anonymous()
sampler = threading.Thread(target=sample)
sampler.start()
start = time.perf_counter()
if how == 'orvo':
    f = orvo.read(path)
    arrays = [f.colour, f.depth_codes, f.ids]
elif how == 'tifffile':
    with tifffile.TiffFile(path) as tif:
        arrays = [page.asarray() for page in tif.pages[:3]]
seconds = time.perf_counter() - start
reading = False
sampler.join()
peak_anonymous = max(peak_anonymous, anonymous())
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(json.dumps({'seconds': seconds, 'base': base * 1024, 'peak': peak * 1024,
                  'anonymous': peak_anonymous - base_anonymous,
                  'planes': sum(a.nbytes for a in arrays),
                  'sums': [int(a.sum(dtype=np.uint64)) for a in arrays]}))
'''


def measure(path, how):
    result = subprocess.run([sys.executable, '-c', MEASURE, path, how], capture_output=True,
                            text=True, check=True)
    return json.loads(result.stdout)


def main(path, runs):
    with open(path, 'rb') as f:  # into the page cache, for both alike
        while f.read(1 << 24):
            pass
    figures = {}
    for how in ['orvo', 'tifffile']:
        figures[how] = [measure(path, how) for _ in range(runs)]
    sums = {how: {tuple(r['sums']) for r in rs} for how, rs in figures.items()}
    assert len(sums['orvo']) == 1 and sums['orvo'] == sums['tifffile'], 'the readers disagree'
    planes = figures['orvo'][0]['planes']
    mb = 1024.0 * 1024.0
    print('%s: planes %.1f MB' % (path, planes / mb))
    print('%-9s %9s %9s %22s %20s' % ('reader', 'median s', 'best s',
                                      'own memory added MB', 'VmHWM added MB'))
    result = {}
    for how, rs in figures.items():
        median = statistics.median(r['seconds'] for r in rs)
        best = min(r['seconds'] for r in rs)
        own = max(r['anonymous'] for r in rs)
        whole = max(r['peak'] - r['base'] for r in rs)
        result[how] = (median, own)
        print('%-9s %9.3f %9.3f %22.1f %20.1f' % (how, median, best, own / mb, whole / mb))
    faster = result['orvo'][0] <= result['tifffile'][0]
    one_copy = result['orvo'][1] <= 1.05 * planes
    print('orvo.read at least as fast as tifffile: %s (%.2fx)' % (
        'yes' if faster else 'NO', result['tifffile'][0] / result['orvo'][0]))
    print('orvo.read holds one copy of the planes (own memory added <= 1.05 x planes): %s' % (
        'yes' if one_copy else 'NO'))
    return 0 if faster and one_copy else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 5))
