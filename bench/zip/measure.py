#!/usr/bin/env python3
"""Times zipella-extract against unzip on one package, alternating the order,
and reports the medians, their ratio and the peak resident memories."""
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

package, work, runs, tool = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
peers = {
    'zipella-extract': lambda target: [tool, package, target],
    'unzip -o -q': lambda target: ['unzip', '-o', '-q', package, '-d', target],
}


def run(name):
    target = os.path.join(work, 'out-' + name.split()[0])
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    start = time.perf_counter()
    proc = subprocess.Popen(peers[name](target), stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f'{name} failed with status {status}')
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss  # KiB


times = {name: [] for name in peers}
cpus = {name: [] for name in peers}
peaks = {name: 0 for name in peers}
order = list(peers)
run(order[0])  # warm the page cache with the package
for i in range(runs):
    for name in (order if i % 2 == 0 else reversed(order)):
        elapsed, cpu, peak = run(name)
        times[name].append(elapsed)
        cpus[name].append(cpu)
        peaks[name] = max(peaks[name], peak)

# Both trees must be the same before a time means anything.
a, b = (os.path.join(work, 'out-' + n.split()[0]) for n in peers)
diff = subprocess.run(['diff', '-rq', a, b], capture_output=True, text=True)
if diff.returncode != 0:
    sys.exit('the extracted trees differ:\n' + diff.stdout[:2000])

infos = zipfile.ZipFile(package).infolist()
# The design holds one entry at a time: its compressed bytes (at most twice)
# and its decoded bytes.
largest = max(infos, key=lambda i: 2 * i.compress_size + i.file_size)
bound = 2 * largest.compress_size + largest.file_size
size = os.path.getsize(package)
print(f'package: {size / 1e6:.1f} MB, {len(infos)} entries, {sum(i.file_size for i in infos) / 1e6:.1f} MB unpacked')
for name in peers:
    t = times[name]
    print(f'{name:16s} median {statistics.median(t):6.3f} s  (runs: {" ".join(f"{x:.3f}" for x in t)})'
          f'  cpu median {statistics.median(cpus[name]):.3f} s  peak RSS {peaks[name] / 1024:.1f} MiB')
ratio = statistics.median(times['zipella-extract']) / statistics.median(times['unzip -o -q'])
cpu_ratio = statistics.median(cpus['zipella-extract']) / statistics.median(cpus['unzip -o -q'])
print(f'time ratio zipella-extract / unzip: {ratio:.3f} (cpu time ratio {cpu_ratio:.3f})')
print(f'heaviest entry {largest.filename}: C {largest.compress_size / 2**20:.1f} MiB, U {largest.file_size / 2**20:.1f} MiB;'
      f' 2C + U = {bound / 2**20:.1f} MiB, zipella peak {peaks["zipella-extract"] / 1024:.1f} MiB')
