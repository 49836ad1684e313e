#!/usr/bin/env python3
"""Times zipella-extract, bsdtar and unzip on one package, alternating the
order, into a folder on each file system given; reports per tool the median
wall and CPU times, the peak resident memory and the ratios against bsdtar.

Usage: measure.py PACKAGE RUNS TOOL DIR...   (one target folder per file system)
"""
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

package, runs, tool, dirs = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]
peers = {
    'zipella-extract': lambda target: [tool, package, target],
    'bsdtar -xf': lambda target: ['bsdtar', '-xf', package, '-C', target],
    'unzip -o -q': lambda target: ['unzip', '-o', '-q', package, '-d', target],
}
reference = 'bsdtar -xf'


def target_of(work, name):
    return os.path.join(work, 'out-' + name.split()[0])


def run(work, name):
    target = target_of(work, name)
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    # The previous run's dirty pages are written back before the clock starts,
    # so that no tool pays for another's writes.
    os.sync()
    # GNU time forks the tool from a small process: a child of this one would
    # report Python's own resident size as its floor.
    usage = os.path.join(work, 'usage.txt')
    start = time.perf_counter()
    status = subprocess.run(['/usr/bin/time', '-f', '%U %S %M', '-o', usage] + peers[name](target),
                            stdout=subprocess.DEVNULL).returncode
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f'{name} failed with status {status}')
    with open(usage) as f:
        user, system, peak = f.read().split()[-3:]
    return elapsed, float(user) + float(system), int(peak)  # KiB


def measure(work):
    """Alternating runs into work; answers the per-tool times, CPU times and peak."""
    times = {name: [] for name in peers}
    cpus = {name: [] for name in peers}
    peaks = {name: 0 for name in peers}
    order = list(peers)
    run(work, order[0])  # warm the page cache with the package
    for i in range(runs):
        for name in (order if i % 2 == 0 else reversed(order)):
            elapsed, cpu, peak = run(work, name)
            times[name].append(elapsed)
            cpus[name].append(cpu)
            peaks[name] = max(peaks[name], peak)
    # All trees must be the same before a time means anything.
    mine = target_of(work, 'zipella-extract')
    for name in peers:
        diff = subprocess.run(['diff', '-rq', mine, target_of(work, name)], capture_output=True, text=True)
        if diff.returncode != 0:
            sys.exit(f'zipella-extract and {name} extracted different trees:\n' + diff.stdout[:2000])
    for name in peers:
        shutil.rmtree(target_of(work, name), ignore_errors=True)
    return times, cpus, peaks


def filesystem(path):
    return subprocess.run(['stat', '-f', '-c', '%T', path], capture_output=True, text=True).stdout.strip()


infos = zipfile.ZipFile(package).infolist()
print(f'package: {os.path.getsize(package) / 1e6:.1f} MB, {len(infos)} entries,'
      f' {sum(i.file_size for i in infos) / 1e6:.1f} MB unpacked; {runs} alternating runs per tool')
summary = []
peak_mine = 0
for work in dirs:
    os.makedirs(work, exist_ok=True)
    times, cpus, peaks = measure(work)
    fs = filesystem(work)
    print(f'\ntarget on {fs} ({work}); load average {os.getloadavg()[0]:.2f}')
    ref_time = statistics.median(times[reference])
    ref_cpu = statistics.median(cpus[reference])
    for name in peers:
        t, c = statistics.median(times[name]), statistics.median(cpus[name])
        print(f'  {name:16s} wall {t:6.3f} s  cpu {c:6.3f} s  peak RSS {peaks[name] / 1024:6.1f} MiB'
              f'  / bsdtar: wall {t / ref_time:.3f}  cpu {c / ref_cpu:.3f}  peak {peaks[name] / peaks[reference]:.2f}')
        print(f'  {"":16s} runs: {" ".join(f"{x:.3f}" for x in times[name])}')
    summary.append((fs, statistics.median(times['zipella-extract']) / ref_time))
    peak_mine = max(peak_mine, peaks['zipella-extract'])

# Entries in flight hold at most 8 MiB together; a larger entry is written as
# it is decoded, in 1 MiB pieces; 4 MiB of blocks are kept for reuse.
largest = max(infos, key=lambda i: i.compress_size + i.file_size)
bound = (8 << 20) + (1 << 20) + (4 << 20)
print()
print('wall-time ratio zipella-extract / bsdtar: ' + ', '.join(f'{fs} {r:.3f}' for fs, r in summary))
for fs, r in summary:
    if fs == 'tmpfs':
        print(f'goal on tmpfs: at most 0.8 x bsdtar: {r:.3f} {"met" if r <= 0.8 else "NOT met"}')
print(f'heaviest entry {largest.filename}: C {largest.compress_size / 2**20:.1f} MiB, U {largest.file_size / 2**20:.1f} MiB;'
      f' bound 8 MiB + 1 MiB + 4 MiB = {bound / 2**20:.1f} MiB (the package aside); '
      f'zipella-extract peak RSS {peak_mine / 1024:.1f} MiB')
