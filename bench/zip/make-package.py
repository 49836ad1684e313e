#!/usr/bin/env python3
"""Writes the benchmark's source tree: about 200 MB in a few thousand files,
text that compresses, random bytes that do not, and a few large files."""
import os
import random
import sys

root = sys.argv[1]
rnd = random.Random(1234)
words = [bytes(rnd.choice(b'abcdefghijklmnopqrstuvwxyz') for _ in range(rnd.randint(2, 10))) for _ in range(5000)]
text = b' '.join(rnd.choice(words) + (b'\n' if rnd.random() < 0.1 else b'') for _ in range(400000))  # ~2.6 MB


def write(rel, data):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def text_of(size):
    start = rnd.randrange(len(text) - size) if size < len(text) else 0
    out = text[start:start + size]
    while len(out) < size:
        out += text[:size - len(out)]
    return out


total = 0
for i in range(3000):  # compressible small and middle files
    size = rnd.randint(1000, 60000)
    write(f'app/module{i % 40:02d}/file{i:04d}.txt', text_of(size))
    total += size
for i in range(600):  # incompressible
    size = rnd.randint(10000, 150000)
    write(f'data/blob{i % 10}/b{i:04d}.bin', os.urandom(size))
    total += size
for i, (size, kind) in enumerate([(30 << 20, 'text'), (25 << 20, 'random'), (15 << 20, 'text')]):
    write(f'large/big{i}.{kind}', text_of(size) if kind == 'text' else os.urandom(size))
    total += size
print(f'{total / 1e6:.0f} MB in {3000 + 600 + 3} files')
