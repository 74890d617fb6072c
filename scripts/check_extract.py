#!/usr/bin/env python3
"""Checks that the BMPs `torvel-pics extract` writes read back, in Pillow and
in ImageMagick, as the pixels `torvel-pics show` draws, for every picture of
a dump that can be extracted.

usage: scripts/check_extract.py [TORVEL_PICS] [DUMP] [CONFIG]
(default: the release build, its example dump and examples/MARLOW.INI;
needs `scripts/deps.sh viewers`: Pillow and ImageMagick)
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
pics, dump, config = (sys.argv[1:] + [None] * 3)[:3]
pics = pics or os.path.join(root, "build/release/torvel-pics")
dump = dump or os.path.join(root, "build/release/examples/example.bin")
config = config or os.path.join(root, "examples/MARLOW.INI")


def run(*args):
    return subprocess.run([pics, "-C", config, *args], capture_output=True, text=True)


failed = 0
with tempfile.TemporaryDirectory() as work:
    for line in run("list", dump).stdout.splitlines():
        index = line.split()[0]
        shown = run("show", dump, index)
        bmp = os.path.join(work, f"p{index}.bmp")
        if shown.returncode != 0 or run("extract", dump, index, bmp).returncode != 0:
            continue
        ink = [[c == "X" for c in row[::2]] for row in shown.stdout.splitlines()[1:]]
        image = Image.open(bmp).convert("L")
        pillow = [[image.getpixel((x, y)) == 0 for x in range(image.width)]
                  for y in range(image.height)]
        pgm = subprocess.run(["convert", bmp, "-compress", "none", "pgm:-"],
                             capture_output=True, text=True, check=True).stdout.split()
        width, height = int(pgm[1]), int(pgm[2])
        values = [int(v) for v in pgm[4:]]
        magick = [[values[y * width + x] == 0 for x in range(width)] for y in range(height)]
        ok = pillow == ink and magick == ink
        failed += not ok
        print(f"picture {index}: {image.width} x {image.height}: "
              f"Pillow {'same' if pillow == ink else 'DIFFERENT'}, "
              f"ImageMagick {'same' if magick == ink else 'DIFFERENT'}")
sys.exit(1 if failed else 0)
