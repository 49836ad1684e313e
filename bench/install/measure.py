#!/usr/bin/env python3
"""Times whole installations under Wine against the same work done natively,
alternating the order, and reports the median of each step and the ratios.

The installer runs its steps on its window's thread and keeps no times, so the
steps are timed from outside: the click on "Potrdi", the server's log (start
and end of the package's request), the package file on C: (complete, then
gone), the first extracted file, the stand-in setup's record of its start, and
the outcome notice. The peer: curl downloads the package (and its signature),
sha256sum hashes it, bsdtar extracts it, and it is deleted.

Usage: measure.py RUNS PACKAGE ACCESS_LOG WORKDIR DRIVER_EXE INSTALLER_EXE   (WINEPREFIX set)
"""
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

runs, package, access_log, work, driver, exe = int(sys.argv[1]), *sys.argv[2:7]
url = 'http://127.0.0.1/Download/TramelaCoreServer.zip'
signed = os.path.exists(package + '.sig')
size = os.path.getsize(package)
c_drive = os.path.join(os.environ['WINEPREFIX'], 'drive_c')
tramela = os.path.join(c_drive, 'Tramela')
on_c = os.path.join(tramela, 'TramelaCoreServer.zip')
setup_record = os.path.join(tramela, 'Install', 'setup-command-line.txt')
first = next(i.filename for i in zipfile.ZipFile(package).infolist() if not i.is_dir())
first_file = os.path.join(tramela, *first.split('/'))
quiet = {'stdout': subprocess.DEVNULL, 'stderr': subprocess.DEVNULL}

STEPS = [
    # (name, from event, to event, the peer's part). The signature file is
    # fetched before the package; the package's SHA-256 is checked in memory
    # before it is saved.
    ('checks, signature file', 'click', 'request', None),
    ('download (server side)', 'request', 'served', 'curl'),
    ('check after the last byte', 'served', 'created', None),
    ('package written to C:', 'created', 'saved', None),
    ('SHA-256 check, package on C:', 'served', 'saved', 'sha256sum'),
    ('archive opened', 'saved', 'extracting', None),
    ('extraction, package deleted', 'extracting', 'extracted', 'bsdtar'),
    ('setup started', 'extracted', 'setup', None),
    ('outcome notice', 'setup', 'notice', None),
    ('total', 'click', 'notice', 'total'),
]


def drive(*args, timeout=120):
    return subprocess.run(['wine', driver, *args], timeout=timeout, **quiet).returncode


def served(uri, since):
    """Start and end of the last request for uri that ended after since."""
    found = None
    with open(access_log) as log:
        for line in log:
            # The combined format, then the request's end and its duration.
            fields = line.split()
            if len(fields) >= 9 and fields[6] == uri and float(fields[-2]) >= since:
                found = (float(fields[-2]) - float(fields[-1]), float(fields[-2]))
    return found


def installer_pids():
    """The Linux processes whose command line names the installer's exe (Wine's
    launcher among them; the installer's own is the largest)."""
    pids = []
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                with open(f'/proc/{entry}/cmdline', 'rb') as f:
                    if b'TramelaNamestitev.exe' in f.read():
                        pids.append(int(entry))
            except OSError:
                pass
    return pids


def peak_kib(pids, field='VmHWM:'):
    """The largest peak (or, with VmRSS:, present) resident memory in KiB
    among pids, None when unknown."""
    peak = None
    for pid in pids:
        try:
            with open(f'/proc/{pid}/status') as f:
                for line in f:
                    if line.startswith(field):
                        peak = max(peak or 0, int(line.split()[1]))
        except OSError:
            pass
    return peak


# ext4 passes over inodes freed in the last 30 s or so when it picks one for a
# new file, reading each: thousands of files deleted just before a run make
# every file that run creates several times dearer, by chance more for one
# side than the other. So the trees of earlier runs are moved aside, not
# deleted, and only removed after the last run; and whatever an earlier bench
# left is removed once, that long before the first run.
trash = os.path.join(work, 'trash')
SETTLE_S = 35


def set_aside(path):
    if os.path.exists(path):
        os.makedirs(trash, exist_ok=True)
        os.rename(path, os.path.join(trash, f'{len(os.listdir(trash))}-{os.path.basename(path)}'))


def empty_trash():
    """Removes what runs set aside; true when there was something."""
    if not os.path.exists(trash):
        return False
    shutil.rmtree(trash, ignore_errors=True)
    return True


def installer_run():
    set_aside(tramela)
    # The installer and the driver start together: with no server for the
    # prefix yet, each would start one, and one of them is left without.
    subprocess.run(['wineserver', '-p5'], **quiet)  # fails when one is up already
    app = subprocess.Popen(['wine', exe], cwd=c_drive, **quiet)
    try:
        if drive('wait', 'Naprej', '1', '120000', timeout=180) != 0:
            shown = subprocess.run(['wine', driver, 'list'], capture_output=True, text=True,
                                   timeout=60).stdout
            sys.exit(f'the installer window did not appear (installer ended: {app.poll()}); '
                     f'windows:\n{shown}')
        drive('click', 'Naprej')
        if drive('wait', 'Potrdi', '1', '10000') != 0:
            sys.exit('"Potrdi" is not enabled')
        # The click is posted just before the driver ends, which under Wine
        # takes a while: the time before it is started is the earliest the
        # click can be, and the installer's clock starts there.
        events = {'click': time.time()}
        drive('click', 'Potrdi')
        pids = installer_pids()
        idles.append(peak_kib(pids, 'VmRSS:'))
        notice = subprocess.Popen(['wine', driver, 'wait-notice', '900000'], **quiet)
        while notice.poll() is None:
            now = time.time()
            if 'created' not in events and os.path.exists(on_c):
                events['created'] = now
            if 'saved' not in events and os.path.exists(on_c) and os.path.getsize(on_c) == size:
                events['saved'] = now
            if 'extracting' not in events and os.path.exists(first_file):
                events['extracting'] = now
            if 'saved' in events and 'extracted' not in events and not os.path.exists(on_c):
                events['extracted'] = now
            if 'setup' not in events and os.path.exists(setup_record):
                events['setup'] = now
            time.sleep(0.005)
        events['notice'] = time.time()
        peaks.append(peak_kib(pids))
        request = served('/Download/TramelaCoreServer.zip', events['click'])
        if request:
            events['request'], events['served'] = request
        checked.append(served('/Download/TramelaCoreServer.zip.sig', events['click']) is not None)
        rows = subprocess.run(['wine', driver, 'rows'], capture_output=True, text=True, timeout=60).stdout
        # The last row, "Namestitev je končana", done.
        ok = any(f[1] == '1' and f[3].startswith('Namestitev je kon')
                 for f in (line.split('\t') for line in rows.splitlines()) if len(f) >= 4)
        drive('click', 'Potrdi')
        if ok and drive('wait', 'Konec', '1', '10000') == 0:
            drive('click', 'Konec')
        try:
            app.wait(timeout=30)
        except subprocess.TimeoutExpired:
            pass  # ended below
    finally:
        if app.poll() is None:
            app.kill()
            app.wait()
    if not ok:
        sys.exit('the installation did not succeed:\n' + rows)
    return {name: events[b] - events[a] for name, a, b, _ in STEPS if a in events and b in events}


def native_run():
    target = os.path.join(work, 'native')
    set_aside(target)
    os.makedirs(target)
    local = os.path.join(target, 'TramelaCoreServer.zip')
    times = {}
    start = time.time()
    subprocess.run(['curl', '-sf', '-o', local, url], check=True)
    if signed:
        subprocess.run(['curl', '-sf', '-o', local + '.sig', url + '.sig'], check=True)
    times['curl'] = time.time() - start
    mark = time.time()
    subprocess.run(['sha256sum', local], check=True, stdout=subprocess.DEVNULL)
    times['sha256sum'] = time.time() - mark
    mark = time.time()
    subprocess.run(['bsdtar', '-xf', local, '-C', target], check=True)
    os.remove(local)
    times['bsdtar'] = time.time() - mark
    times['total'] = time.time() - start
    return times


results = {'installer': [], 'native': []}
checked = []  # per installer run: whether it fetched the signature file
peaks = []  # per installer run: its peak resident memory (KiB)
idles = []  # per installer run: its resident memory at the click, Wine's own and the window's
order = [('installer', installer_run), ('native', native_run)]
set_aside(tramela)
set_aside(os.path.join(work, 'native'))
if empty_trash():
    time.sleep(SETTLE_S)
for i in range(runs):
    for name, run in (order if i % 2 == 0 else reversed(order)):
        results[name].append(run())
set_aside(tramela)
set_aside(os.path.join(work, 'native'))
empty_trash()


def median(name, key):
    values = [r[key] for r in results[name] if key in r]
    return statistics.median(values) if values else None


print(f'package: {size / 1e6:.1f} MB{", signed" if signed else ", unsigned"}; {runs} alternating runs;'
      f' load average {os.getloadavg()[0]:.2f}')
if signed and not all(checked):
    print('note: this installer did not fetch the signature file; it checks no signature')
print(f'{"step":30s} {"installer":>10s}   {"native peer":>22s}  {"ratio":>6s}')
for name, _, _, peer in STEPS:
    mine = median('installer', name)
    theirs = median('native', peer) if peer else None
    shown = f'{mine:9.3f}s' if mine is not None else f'{"-":>10s}'
    other = f'{peer + " " + format(theirs, ".3f") + "s":>22s}' if theirs is not None else f'{"":22s}'
    ratio = f'{mine / theirs:6.2f}' if mine is not None and theirs else ''
    print(f'{name:30s} {shown}   {other}  {ratio}')
print('runs (installer total): ' + ' '.join(f'{r.get("total", 0):.2f}' for r in results['installer']))
print('runs (native total):    ' + ' '.join(f'{r["total"]:.2f}' for r in results['native']))

# The goals, each with what it compares.
goals = []
total, native_total = median('installer', 'total'), median('native', 'total')
if total and native_total:
    goals.append(('total / native peers', total / native_total, 1.5))
extraction, bsdtar = median('installer', 'extraction, package deleted'), median('native', 'bsdtar')
if extraction and bsdtar:
    goals.append(('extraction / bsdtar', extraction / bsdtar, 1.5))
check = median('installer', 'check after the last byte')
if check is not None:
    goals.append(('check after the last byte (s)', check, 0.05))
known = [p for p in peaks if p]
if known:
    peak = max(known) * 1024
    idle = max(i for i in idles if i) * 1024 if any(idles) else 0
    goals.append((f'peak memory / (package + 64 MiB), peak {peak / 2**20:.1f} MiB', peak / (size + 64 * 2**20), 1.0))
    if idle:
        goals.append((f'  the same above the {idle / 2**20:.1f} MiB held at the click', (peak - idle) / (size + 64 * 2**20), 1.0))
print('goals:')
for name, value, most in goals:
    print(f'  {name:55s} {value:7.3f}  (at most {most}: {"met" if value <= most else "NOT met"})')
