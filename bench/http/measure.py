#!/usr/bin/env python3
"""Downloads one URL with idhttp-get and with `curl -s -o`, alternating the
order, and reports median times, the throughput ratio and peak memories.

Usage: measure.py URL WORKDIR RUNS LABEL COMMAND...   (COMMAND gets URL FILE appended)
"""
import filecmp
import os
import statistics
import subprocess
import sys
import time

url, work, runs, label, command = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5:]
wine = command[0] == 'wine'


def target_for(name):
    path = os.path.join(work, f'out-{name}.bin')
    # The .exe takes a Windows path; Z: is the Unix root under Wine.
    return path, ('Z:' + path.replace('/', '\\')) if wine and name == 'idhttp' else path


peers = {
    'idhttp': lambda target: command + [url, target],
    'curl': lambda target: ['curl', '-s', '-o', target, url],
}


def run(name):
    path, arg = target_for(name)
    if os.path.exists(path):
        os.remove(path)
    start = time.perf_counter()
    proc = subprocess.Popen(peers[name](arg), stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f'{name} failed with status {status}')
    return elapsed, usage.ru_maxrss  # KiB


times = {name: [] for name in peers}
peaks = {name: 0 for name in peers}
order = list(peers)
for name in order:
    run(name)  # warm the page cache on the server side, and Wine
for i in range(runs):
    for name in (order if i % 2 == 0 else reversed(order)):
        elapsed, peak = run(name)
        times[name].append(elapsed)
        peaks[name] = max(peaks[name], peak)

a, b = (target_for(n)[0] for n in peers)
if not filecmp.cmp(a, b, shallow=False):
    sys.exit('the two downloads differ')
size = os.path.getsize(a)
print(f'{label}: {size / 2**20:.0f} MiB body, {runs} runs each')
for name in peers:
    t = times[name]
    med = statistics.median(t)
    print(f'  {name:7s} median {med:6.3f} s  {size / med / 2**20:8.1f} MiB/s  peak RSS {peaks[name] / 1024:7.1f} MiB'
          f'  (runs: {" ".join(f"{x:.3f}" for x in t)})')
ratio = statistics.median(times['curl']) / statistics.median(times['idhttp'])
print(f'  throughput ratio idhttp-get / curl: {ratio:.3f}')
spread = max(times['idhttp']) / min(times['idhttp'])
print(f'  idhttp-get slowest / fastest run: {spread:.2f}; peak RSS {peaks["idhttp"] / 1024:.1f} MiB'
      f' (the body goes to the file as it arrives)')
