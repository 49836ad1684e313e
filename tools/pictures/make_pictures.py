#!/usr/bin/env python3
"""Draws the installer's pictures and writes them to src/app/pictures/.

Python's standard library draws and writes PNG; ImageMagick's convert turns
them into the JPEG, GIF and ICO the windows carry. The C++ byte arrays in
PictureData.cpp are written last, so the program holds the same bytes as the files.
Run: python3 tools/pictures/make_pictures.py   (from the repository root)
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = os.path.join(ROOT, "src", "app", "pictures")
SS = 4  # supersampling per axis for smooth edges


def hexrgb(h):
    return ((h >> 16) & 255, (h >> 8) & 255, h & 255)


class Canvas:
    """RGBA pixels, straight alpha; shapes are painted by coverage."""

    def __init__(self, w, h, bg=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [list(bg) for _ in range(w * h)]

    def blend(self, x, y, rgb, a):
        if a <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        p = self.px[y * self.w + x]
        da = p[3] / 255.0
        oa = a + da * (1 - a)
        for i in range(3):
            c = (rgb[i] * a + p[i] * da * (1 - a)) / oa if oa > 0 else 0
            p[i] = int(round(c))
        p[3] = int(round(oa * 255))

    def fill(self, inside, rgb, alpha=1.0):
        """inside(x, y) -> bool at sub-pixel positions."""
        for y in range(self.h):
            for x in range(self.w):
                n = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS):
                            n += 1
                if n:
                    self.blend(x, y, rgb, alpha * n / (SS * SS))

    def rgba_bytes(self):
        return bytes(v for p in self.px for v in p)


def write_png(path, c):
    raw = b"".join(b"\x00" + bytes(v for p in c.px[y * c.w:(y + 1) * c.w] for v in p) for y in range(c.h))

    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", c.w, c.h, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r0, r1):
    return lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1


def segment(x0, y0, x1, y1, half):
    """A thick line with round ends."""
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ll))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half * half
    return inside


def polygon(pts):
    def inside(x, y):
        c = False
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                c = not c
            j = i
        return c
    return inside


def notch():
    # A white square turned 45 degrees on the sidebar's yellow.
    c = Canvas(29, 29, hexrgb(0xFFD541) + (255,))
    c.fill(lambda x, y: abs(x - 14.5) + abs(y - 14.5) <= 14.5, (255, 255, 255))
    return c


def database():
    # A light-tan cylinder with a green tick at its lower right, on transparency.
    c = Canvas(48, 48)
    tan, edge, top = hexrgb(0xE9D7AE), hexrgb(0xA8894F), hexrgb(0xF6EBD0)
    cx, rx, ry, y0, y1 = 22.0, 15.0, 5.0, 9.0, 37.0
    body = lambda x, y: (abs(x - cx) <= rx and y0 <= y <= y1) or ((x - cx) / rx) ** 2 + ((y - y1) / ry) ** 2 <= 1
    c.fill(lambda x, y: (abs(x - cx) <= rx + 1 and y0 <= y <= y1) or
           ((x - cx) / (rx + 1)) ** 2 + ((y - y1) / (ry + 1)) ** 2 <= 1 or
           ((x - cx) / (rx + 1)) ** 2 + ((y - y0) / (ry + 1)) ** 2 <= 1, edge)
    c.fill(body, tan)
    for band in (18.0, 27.0):
        c.fill(lambda x, y, b=band: abs(x - cx) <= rx and
               abs(((x - cx) / rx) ** 2 + ((y - b) / ry) ** 2 - 1) < 0.12 and y > b, edge, 0.6)
    c.fill(lambda x, y: ((x - cx) / rx) ** 2 + ((y - y0) / ry) ** 2 <= 1, top)
    c.fill(disc(35.5, 35.5, 9.5), (255, 255, 255))
    c.fill(disc(35.5, 35.5, 8.5), hexrgb(0x2E9E3A))
    tick = lambda x, y: segment(31, 35.5, 34.5, 39, 1.4)(x, y) or segment(34.5, 39, 40.5, 31.5, 1.4)(x, y)
    c.fill(tick, (255, 255, 255))
    return c


def state_images():
    imgs = []
    # 0: a green arrow pointing right with a soft light-green glow.
    c = Canvas(16, 20)
    arrow = [(2, 8), (8, 8), (8, 4), (14, 10), (8, 16), (8, 12), (2, 12)]
    c.fill(lambda x, y: disc(8, 10, 7.5)(x, y), hexrgb(0xB8F0B0), 0.45)
    c.fill(polygon(arrow), hexrgb(0x22A82E))
    imgs.append(c)
    # 1: a grey tick.
    c = Canvas(16, 20)
    c.fill(lambda x, y: segment(3, 10.5, 6.5, 14, 1.5)(x, y) or segment(6.5, 14, 13, 6, 1.5)(x, y), hexrgb(0x7A7A7A))
    imgs.append(c)
    # 2: a red prohibition sign.
    c = Canvas(16, 20)
    c.fill(lambda x, y: ring(8, 10, 4.6, 7)(x, y) or
           (segment(3.6, 5.6, 12.4, 14.4, 1.2)(x, y) and disc(8, 10, 5)(x, y)), hexrgb(0xD8262B))
    imgs.append(c)
    # 3: a blue disc with a white question mark.
    c = Canvas(16, 20)
    c.fill(disc(8, 10, 7), hexrgb(0x2D6FD2))
    hook = lambda x, y: (ring(8, 7.8, 1.6, 3.2)(x, y) and not (x < 8 and y > 7.8)) or \
        segment(8.6, 10.6, 8, 11.4, 0.8)(x, y) or segment(8, 11.4, 8, 12, 0.8)(x, y)
    c.fill(hook, (255, 255, 255))
    c.fill(disc(8, 14.6, 1.0), (255, 255, 255))
    imgs.append(c)
    return imgs


def progress_frames():
    # Up to five yellow dots chase each other clockwise around a circle of
    # about 30 px, starting from the bottom; 75 frames make one turn.
    tints = [0xFCD644, 0xFDDE6C, 0xFDE590, 0xFEEDB3, 0xFEF4D3]
    frames = []
    for k in range(75):
        c = Canvas(35, 35, (255, 255, 255, 255))
        count = min(5, 1 + k // 4)
        for i in reversed(range(count)):
            a = math.pi / 2 + 2 * math.pi * (k - 2.2 * i) / 75.0 * 3
            x, y = 17.5 + 13 * math.cos(a), 17.5 + 13 * math.sin(a)
            c.fill(disc(x, y, 2.6), hexrgb(tints[i]))
        frames.append(c)
    return frames


def icon():
    c = Canvas(48, 48)
    c.fill(lambda x, y: max(abs(x - 24) - 16, 0) ** 2 + max(abs(y - 24) - 16, 0) ** 2 <= 49, hexrgb(0xFFD541))
    c.fill(lambda x, y: (abs(x - 24) <= 12 and 12 <= y <= 17) or (abs(x - 24) <= 3 and 12 <= y <= 37), (255, 255, 255))
    c.fill(disc(36, 36, 8), hexrgb(0x2E9E3A))
    return c


def convert(*args):
    subprocess.run(["convert", *args], check=True)


def c_array(name, data):
    rows = [", ".join("0x%02X" % b for b in data[i:i + 16]) for i in range(0, len(data), 16)]
    return ("extern const std::uint8_t %s[] = {\n  " % name + ",\n  ".join(rows) + "};\n"
            "extern const std::size_t %sSize = sizeof(%s);\n" % (name, name))


def main():
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        t = lambda n: os.path.join(tmp, n)
        write_png(t("notch.png"), notch())
        convert(t("notch.png"), "-quality", "95", "-strip", os.path.join(OUT, "Notch.jpg"))
        write_png(t("database.png"), database())
        convert(t("database.png"), "-channel", "A", "-threshold", "50%", "+channel", "-strip",
                os.path.join(OUT, "Database.gif"))
        names = []
        for i, img in enumerate(progress_frames()):
            names.append(t("p%02d.png" % i))
            write_png(names[-1], img)
        convert("-delay", "7", "-loop", "0", "-dispose", "none", *names, "+dither", "-strip",
                os.path.join(OUT, "Progress.gif"))
        for i, img in enumerate(state_images()):
            write_png(os.path.join(OUT, "State%d.png" % i), img)
        write_png(t("icon.png"), icon())
        write_png(os.path.join(OUT, "Tramela.png"), icon())
        convert(t("icon.png"), "-define", "icon:auto-resize=48,32,16", os.path.join(OUT, "Tramela.ico"))

    parts = ["// Generated by tools/pictures/make_pictures.py from the files beside it; do not edit.\n"
             "#include <cstddef>\n#include <cstdint>\n\n"]
    for name, file in [("kNotchJpeg", "Notch.jpg"), ("kDatabaseGif", "Database.gif"),
                       ("kProgressGif", "Progress.gif"), ("kState0Png", "State0.png"),
                       ("kState1Png", "State1.png"), ("kState2Png", "State2.png"),
                       ("kState3Png", "State3.png")]:
        with open(os.path.join(OUT, file), "rb") as f:
            parts.append(c_array(name, f.read()))
    with open(os.path.join(OUT, "PictureData.cpp"), "w") as f:
        f.write("\n".join(parts))
    return 0


if __name__ == "__main__":
    sys.exit(main())
