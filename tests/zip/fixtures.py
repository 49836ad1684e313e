#!/usr/bin/env python3
"""Makes the zip test fixtures: the source tree that real tools pack, the
archives python's zipfile writes, and hand-built byte-exact archives for the
edge cases the component must get right. Run by make-fixtures.sh."""
import io
import os
import random
import struct
import sys
import zipfile
import zlib


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def make_tree(root):
    """Text that compresses, random bytes that do not, empty files and folders."""
    rnd = random.Random(20261209)
    write(f'{root}/readme.txt', b''.join(b'line %d of the readme\r\n' % i for i in range(400)))
    write(f'{root}/empty.txt', b'')
    write(f'{root}/bin/random.bin', bytes(rnd.getrandbits(8) for _ in range(150000)))
    write(f'{root}/bin/zeros.bin', bytes(300000))
    write(f'{root}/docs/sub/deep.ini', b'[section]\nkey=value\n' * 50)
    write(f'{root}/docs/sub/tiny', b'x')
    os.makedirs(f'{root}/emptydir', exist_ok=True)
    # Deflated, more than the memory that extraction gives the entries in flight.
    write(f'{root}/bin/large.bin', rnd.randbytes(4600000))


def comment_of(size):
    text = b''.join(b'comment line %04d\n' % i for i in range(size // 18 + 1))
    return text[:size]


class Unseekable(io.RawIOBase):
    """A stream zipfile cannot seek in, so it writes data descriptors."""

    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, b):
        return self.f.write(b)

    def flush(self):
        self.f.flush()


def add_tree(z, root, **kw):
    for dirpath, dirs, files in sorted(os.walk(root)):
        dirs.sort()
        rel = os.path.relpath(dirpath, root)
        if rel != '.':
            z.write(dirpath, rel + '/')
        for name in sorted(files):
            z.write(os.path.join(dirpath, name), os.path.normpath(os.path.join(rel, name)), **kw)


def make_python(out, tree):
    with zipfile.ZipFile(f'{out}/py-stored.zip', 'w', zipfile.ZIP_STORED) as z:
        add_tree(z, tree)
    with zipfile.ZipFile(f'{out}/py-deflated.zip', 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        add_tree(z, tree)
    with open(f'{out}/py-stream.zip', 'wb') as f:
        with zipfile.ZipFile(Unseekable(f), 'w', zipfile.ZIP_DEFLATED) as z:
            add_tree(z, tree)
    # Folders marked only by their trailing "/", as Java's ZipOutputStream
    # writes them: made on MS-DOS (host 0), external attributes 0.
    with zipfile.ZipFile(f'{out}/py-dirs-attr0.zip', 'w', zipfile.ZIP_DEFLATED) as z:
        for dirpath, dirs, files in sorted(os.walk(tree)):
            dirs.sort()
            rel = os.path.relpath(dirpath, tree)
            if rel != '.':
                info = zipfile.ZipInfo(rel + '/')
                info.create_system = 0
                info.external_attr = 0
                z.writestr(info, b'')
            for name in sorted(files):
                info = zipfile.ZipInfo(os.path.normpath(os.path.join(rel, name)))
                info.create_system = 0
                info.external_attr = 0
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(os.path.join(dirpath, name), 'rb') as f:
                    z.writestr(info, f.read())
    for size in (0, 1000, 65535):
        name = f'{out}/py-comment-{size}.zip'
        with zipfile.ZipFile(name, 'w', zipfile.ZIP_DEFLATED) as z:
            z.write(f'{tree}/readme.txt', 'readme.txt')
            z.comment = comment_of(size)
        write(name + '.comment', comment_of(size))


def cut_before_central(src, dst, extra_cut=0):
    """A copy without central directory and end record (extra_cut more bytes gone)."""
    data = open(src, 'rb').read()
    end = data.rfind(b'PK\x05\x06')
    (offset,) = struct.unpack_from('<I', data, end + 16)
    write(dst, data[:offset - extra_cut])


# ---------------------------------------------------------------------------
# Hand-built archives. Each field is written out so the edge is exact.

def dos(date=(2024, 5, 17), time=(12, 30, 10)):
    y, m, d = date
    hh, mm, ss = time
    return (hh << 11) | (mm << 5) | (ss // 2), ((y - 1980) << 9) | (m << 5) | d


class Entry:
    def __init__(self, name, data=b'', method=0, flag=0, crc=None, csize=None, usize=None,
                 ext=0x20, dostime=None, raw=None):
        self.name = name.encode('latin-1') if isinstance(name, str) else name
        self.data = data
        self.method = method
        self.flag = flag
        if raw is None:
            if method == 8:
                c = zlib.compressobj(9, zlib.DEFLATED, -15)
                raw = c.compress(data) + c.flush()
            else:
                raw = data
        self.raw = raw
        self.crc = zlib.crc32(data) if crc is None else crc
        self.csize = len(raw) if csize is None else csize
        self.usize = len(data) if usize is None else usize
        self.ext = ext
        self.time, self.date = dostime if dostime is not None else dos()
        self.offset = 0

    def local(self):
        return struct.pack('<IHHHHHIIIHH', 0x04034B50, 20, self.flag, self.method, self.time, self.date,
                           self.crc, self.csize, self.usize, len(self.name), 0) + self.name + self.raw

    def central(self):
        return struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, 20, 20, self.flag, self.method, self.time,
                           self.date, self.crc, self.csize, self.usize, len(self.name), 0, 0, 0, 0,
                           self.ext, self.offset) + self.name


def archive(entries, comment=b'', cd_offset=None, count=None):
    body = b''
    for e in entries:
        e.offset = len(body)
        body += e.local()
    cd = b''.join(e.central() for e in entries)
    n = len(entries) if count is None else count
    end = struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, n, n, len(cd),
                      len(body) if cd_offset is None else cd_offset, len(comment))
    return body + cd + end + comment


def windows_names():
    """Entry names Windows reads as devices, streams or cannot hold."""
    devices = [('con', 'CON'), ('con-ext', 'con.txt'), ('prn-dots', 'Prn...'), ('aux-blank', 'AUX .tar.gz'),
               ('nul-folder', 'lib/nul/x.txt'), ('com1', 'COM1.log'), ('lpt9', 'lpt9'), ('com0', 'com0.txt'),
               ('conin', 'CONIN$'), ('conout', 'conout$.x'), ('com-sup1', b'COM\xb9.txt'),
               ('lpt-sup3-utf8', b'LPT\xc2\xb3'), ('nul-dir', 'NUL/')]
    chars = [('stream', 'a.txt:evil'), ('drive-relative', 'C:x.txt'), ('lt', 'a<b'), ('gt', 'a>b'),
             ('quote', 'a"b'), ('pipe', 'a|b'), ('question', 'a?b'), ('star', 'dir*/x'),
             ('tab', 'a\tb'), ('newline', 'log\r\n[OK] x')]
    return [('dev-' + t, n) for t, n in devices] + [('chr-' + t, n) for t, n in chars]


def make_handmade(out):
    rnd = random.Random(7)
    text = b'hand-built entry content\n' * 40
    def put(name, data):
        write(f'{out}/{name}', data)

    # A plain archive of three files below a folder, for the overwrite rules.
    put('three.zip', archive([Entry('dir/', ext=0x10), Entry('dir/a.txt', b'alpha\n'),
                              Entry('dir/b.txt', b'bravo\n' * 100, method=8), Entry('c.txt', b'')]))
    # The end record alone: recognised, no entries.
    put('end-only.zip', archive([]))
    # Four signature bytes near the comment's end are taken for the end record;
    # the fake record announces no entries, so the real one is never read.
    fake = b'PK\x05\x06' + bytes(18)
    put('sig-in-comment.zip', archive([Entry('a.txt', text)], comment=b'note: ' + fake + b'tail'))
    # MS-DOS date 0 (month 0): the directory is not recognised.
    put('dos-date-0.zip', archive([Entry('a.txt', text, dostime=(0, 0))]))
    # One record announced, central directory offset past the end; the local
    # header at 0 must not be used (no recovery scan once an end record is found).
    put('cd-past-end.zip', archive([Entry('a.txt', text)], cd_offset=0x7FFFFFF0))
    # Method 12 (bzip2) first, then a file that must not be written.
    put('method-12.zip', archive([Entry('m12.bin', raw=b'BZh9junk', method=12, crc=0, usize=100),
                                  Entry('after.txt', b'after')]))
    # Flag bit 0 (encrypted) on a stored entry.
    put('encrypted.zip', archive([Entry('secret.txt', text, flag=1)]))
    # External attributes 0x21: read-only and archive.
    put('attr-21.zip', archive([Entry('ro.txt', b'read only\n', ext=0x21)]))
    # A name ending in "/" without the directory attribute, then a file in it.
    put('slash-no-dir.zip', archive([Entry('docs/', ext=0x20), Entry('docs/in.txt', b'inside')]))
    # C = U = 0, stored and deflated (no deflate bytes at all).
    put('empty-entries.zip', archive([Entry('e-stored', b''), Entry('e-deflated', b'', method=8, raw=b'')]))
    # Incompressible data whose prepared input is over 3 x 65536 bytes but under
    # 4 x 65536: four progress events.
    put('progress.zip', archive([Entry('big.bin', bytes(rnd.getrandbits(8) for _ in range(200000)), method=8)]))
    # 10,000 bytes with a 2000-byte comment: the end record is out of reach, the
    # recovery scan lists the entries and there is no comment.
    # Two local headers (35 + F and 40 bytes), two central records (51 each), the
    # end record and the comment: F + 2199 bytes in all.
    filler = bytes(rnd.getrandbits(8) for _ in range(10000 - 2199))
    put('far-comment.zip', archive([Entry('f.bin', filler), Entry('g.txt', b'small')], comment=b'c' * 2000))
    # Truncated: central directory and end record gone, the last entry cut
    # inside its data.
    full = archive([Entry('t1.txt', text), Entry('t2.txt', text * 3, method=8), Entry('t3.bin', text * 5)])
    cut = full[:full.find(b'PK\x01\x02')]
    put('truncated.zip', cut[:-100])
    # Entries that climb out of the target folder, each before a harmless one.
    for tag, name in (('dotdot', '../evil.txt'), ('inner', 'a/../../evil.txt'), ('backslash', 'a\\..\\..\\evil.txt'),
                      ('stream', '..:evil.txt'), ('dots', 'a/.../evil.txt'), ('nul', 'x/..\0/evil.txt')):
        put(f'climb-{tag}.zip', archive([Entry(name, b'evil'), Entry('good.txt', b'good')]))
    # A stored and a deflated entry whose CRC-32 is wrong.
    put('crc-stored.zip', archive([Entry('bad.txt', text, crc=zlib.crc32(text) ^ 1)]))
    put('crc-deflated.zip', archive([Entry('bad.txt', text, method=8, crc=zlib.crc32(text) ^ 1)]))
    # Deflated data that decodes to fewer bytes than U, and to more.
    put('deflate-short.zip', archive([Entry('short.txt', text, method=8, usize=len(text) + 10)]))
    put('deflate-long.zip', archive([Entry('long.txt', text, method=8, usize=100, crc=zlib.crc32(text[:100]))]))
    # A stored entry whose uncompressed size exceeds its compressed size.
    put('stored-short.zip', archive([Entry('short.txt', text, usize=len(text) + 1)]))
    # A local header offset that points at no local header.
    e = Entry('lost.txt', text)
    data = bytearray(archive([e]))
    data[0:4] = b'XXXX'
    put('local-missing.zip', bytes(data))
    # 20,000 levels of folders in one name: too long for any file API.
    put('deep-name.zip', archive([Entry('a/' * 20000 + 'x.txt', b'deep'), Entry('good.txt', b'good')]))
    # A long name, to be placed at the file API's limit by the test's target.
    put('long-file.zip', archive([Entry('d/' + 'f' * 120 + '.txt', b'edge')]))
    put('long-folder.zip', archive([Entry('d/' + 'g' * 120 + '/', ext=0x10)]))
    # A single name longer than a name may be.
    put('long-segment.zip', archive([Entry('n' * 256, b'x')]))
    # Names Windows opens as devices or cannot hold, each before a harmless file.
    for tag, name in windows_names():
        put(f'win-{tag}.zip', archive([Entry(name, b'bad'), Entry('good.txt', b'good')]))
    # Near misses that are ordinary names.
    put('win-lookalikes.zip', archive([Entry(n, b'ok') for n in
                                       ('CONSOLE.txt', 'COM10.txt', 'LPT.txt', 'xcon.txt', 'con_x/aux_y.txt',
                                        'nul-dir/', 'COMa.txt', 'C:/data/b.ini', 'com 1.txt')]))
    # Records that share data. 200 records on one header: each writes the same
    # 5 MB again (1 GB from a few KB).
    bomb = Entry('bomb.bin', bytes(5 << 20), method=8)
    body = bomb.local()
    cd = b''
    for i in range(200):
        bomb.name = b'bomb%03d.bin' % i
        cd += bomb.central()
    put('overlap-200.zip', body + cd + struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, 200, 200, len(cd), len(body), 0))
    # An entry whose local header lies inside another's stored data.
    inner = Entry('inner.txt', text)
    outer = Entry('outer.bin', b'prefix' + inner.local() + b'suffix')
    blob = outer.local()
    inner.offset = len(outer.local()) - len(b'suffix') - len(inner.local())
    cd = outer.central() + inner.central()
    put('overlap-nested.zip', blob + cd + struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, 2, 2, len(cd), len(blob), 0))
    # An announced size no deflate stream of that length can reach (a bomb's claim).
    put('deflate-claims-4g.zip', archive([Entry('claim.bin', b'x' * 100, method=8, usize=0xFFFFFFF0)]))
    # Entries that meet earlier ones still being written: the same path again
    # (also in other letter case), a folder where a file was made, a damaged
    # entry among good ones.
    fill = [Entry(f'f{i:02d}.txt', text * (i + 1), method=8) for i in range(24)]
    first = bytes(rnd.getrandbits(8) for _ in range(300000))
    put('same-path.zip', archive([Entry('dup.txt', first, method=8)] + fill[:12] + [Entry('dup.txt', b'second'),
                                  Entry('Case.txt', text * 30, method=8), Entry('case.txt', b'two')]))
    put('file-then-folder.zip', archive([Entry('x', b'file')] + fill[:12] + [Entry('x/y.txt', b'in')]))
    # Entries too large to be held whole: a stored one, a deflated one with a
    # wrong CRC-32 and one that decodes to fewer bytes than announced.
    large = rnd.randbytes(1 << 20) * 8 + text * 600
    put('stored-large.zip', archive([Entry('a.txt', text), Entry('large.bin', large), Entry('z.txt', text)]))
    noise = rnd.randbytes(4600000)
    put('crc-large.zip', archive([Entry('bad.bin', noise, method=8, crc=zlib.crc32(noise) ^ 1)]))
    put('large-short.zip', archive([Entry('short.bin', noise, method=8, usize=len(noise) + 10)]))
    put('crc-middle.zip', archive(fill[:12] + [Entry('bad.txt', text, method=8, crc=zlib.crc32(text) ^ 1)] + fill[12:]))


def main():
    what, out = sys.argv[1], sys.argv[2]
    if what == 'tree':
        make_tree(out)
    elif what == 'python':
        make_python(out, sys.argv[3])
    elif what == 'cut':
        cut_before_central(sys.argv[3], out, int(sys.argv[4]) if len(sys.argv) > 4 else 0)
    elif what == 'handmade':
        os.makedirs(out, exist_ok=True)
        make_handmade(out)
    else:
        sys.exit('unknown fixture kind ' + what)


if __name__ == '__main__':
    main()
