#!/usr/bin/env python3
"""Makes the stone bitmaps and the sounds that ship with the program.

    python3 data/assets/make_assets.py      (from the repository root)

Writes stB.bmp and stW.bmp (shaded stones on the board colour, which the
window draws transparent) and oto/Oto1.wav, oto/Oto2.wav, oto/pipo.wav,
oto/seikai.wav and oto/fuseikai.wav (short, distinct sounds) next to this script. Only the standard library is
used, and the output is the same on every run. The help pictures under
help/ are screenshots made by sorabeku-drive (see help/make_pictures.sh).
"""
import math
import os
import random
import struct
import wave

HERE = os.path.dirname(os.path.abspath(__file__))

SIZE = 56                   # pixels; the window stretches it to 28 x 28
BACKGROUND = (254, 231, 182)  # the board colour, drawn transparent
SUPERSAMPLE = 4


def shade(black, x, y):
    """Colour of a stone at (x, y) in -1..1 stone coordinates."""
    # Light from the upper left: a soft highlight and a darker rim.
    lx, ly = x + 0.38, y + 0.42
    highlight = math.exp(-(lx * lx + ly * ly) * 3.0)
    rim = (x * x + y * y) ** 2
    if black:
        v = 18 + 95 * highlight - 10 * rim
    else:
        v = 212 + 43 * highlight - 45 * rim
    v = max(0, min(255, round(v)))
    return (v, v, v if black else min(255, v + 2))


def stone_pixels(black):
    rows = []
    radius = SIZE / 2 - 1.0
    centre = SIZE / 2
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px + (sx + 0.5) / SUPERSAMPLE - centre) / radius
                    y = (py + (sy + 0.5) / SUPERSAMPLE - centre) / radius
                    c = shade(black, x, y) if x * x + y * y <= 1.0 else BACKGROUND
                    for i in range(3):
                        acc[i] += c[i]
            n = SUPERSAMPLE * SUPERSAMPLE
            pixel = tuple(round(a / n) for a in acc)
            # Only the outside is exactly the background colour.
            inside = (((px + 0.5 - centre) / radius) ** 2 +
                      ((py + 0.5 - centre) / radius) ** 2) <= 1.0
            if pixel == BACKGROUND and inside:
                pixel = (BACKGROUND[0] - 1, BACKGROUND[1], BACKGROUND[2])
            row.append(pixel)
        rows.append(row)
    return rows


def write_bmp(path, rows):
    """A 24-bit bottom-up BMP."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data),
                       2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


RATE = 22050


def tone(freq, seconds, decay, volume=0.6, harmonics=((1, 1.0),)):
    out = []
    for i in range(int(RATE * seconds)):
        t = i / RATE
        env = math.exp(-t * decay) * min(1.0, t * 400)
        s = sum(a * math.sin(2 * math.pi * freq * h * t) for h, a in harmonics)
        out.append(volume * env * s)
    return out


def write_wav(path, samples):
    peak = max(1e-9, max(abs(s) for s in samples))
    scale = min(1.0, 0.9 / peak)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(s * scale * 32767))
                               for s in samples))


def stone_click():
    """Oto1: a short wooden tock, like a stone set on the board."""
    rnd = random.Random(1)
    body = tone(1150, 0.09, 55, 0.5, ((1, 1.0), (2.7, 0.35)))
    for i in range(len(body)):
        t = i / RATE
        body[i] += 0.5 * math.exp(-t * 400) * (rnd.random() * 2 - 1)
    return body


def end_chime():
    """Oto2: a two-note falling chime for the end of a sequence."""
    bell = ((1, 1.0), (2, 0.3), (3, 0.1))
    first = tone(1047, 0.16, 9, 0.5, bell)
    second = tone(784, 0.45, 6, 0.5, bell)
    return first + second


def pipo():
    """pipo: a bright rising 'pi-po' prompt."""
    gap = [0.0] * int(RATE * 0.03)
    return tone(1319, 0.11, 12, 0.5) + gap + tone(1760, 0.16, 10, 0.5)


def right_answer():
    """seikai: a quick major arpeggio, bright and rising."""
    bell = ((1, 1.0), (2, 0.25))
    return (tone(1047, 0.08, 14, 0.5, bell) + tone(1319, 0.08, 14, 0.5, bell)
            + tone(1568, 0.30, 8, 0.5, bell))


def wrong_answer():
    """fuseikai: a low buzz falling by a semitone, clearly not the chime."""
    buzz = ((1, 1.0), (3, 0.4), (5, 0.2))
    return tone(233, 0.16, 6, 0.5, buzz) + tone(220, 0.32, 6, 0.5, buzz)


def main():
    write_bmp(os.path.join(HERE, "stB.bmp"), stone_pixels(True))
    write_bmp(os.path.join(HERE, "stW.bmp"), stone_pixels(False))
    os.makedirs(os.path.join(HERE, "oto"), exist_ok=True)
    write_wav(os.path.join(HERE, "oto", "Oto1.wav"), stone_click())
    write_wav(os.path.join(HERE, "oto", "Oto2.wav"), end_chime())
    write_wav(os.path.join(HERE, "oto", "pipo.wav"), pipo())
    write_wav(os.path.join(HERE, "oto", "seikai.wav"), right_answer())
    write_wav(os.path.join(HERE, "oto", "fuseikai.wav"), wrong_answer())


if __name__ == "__main__":
    main()
