#!/usr/bin/env python3
"""What torvel-pics import does, as a straightforward Python script on
Pillow: open, put over white, grey, scale to fit inside the picture (box
filter), centre on white paper, Floyd-Steinberg dither, save a 1-bit BMP.

Usage: pillow_import.py IMAGE WIDTH HEIGHT OUT.BMP
"""
import sys

from PIL import Image


def main():
    path, width, height, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    Image.MAX_IMAGE_PIXELS = None
    with Image.open(path) as image:
        if image.mode in ("RGBA", "LA", "PA") or "transparency" in image.info:
            image = image.convert("RGBA")
            paper = Image.new("RGBA", image.size, "white")
            image = Image.alpha_composite(paper, image)
        grey = image.convert("L")
    if grey.width * height >= width * grey.height:
        size = (width, max(1, min(height, round(grey.height * width / grey.width))))
    else:
        size = (max(1, min(width, round(grey.width * height / grey.height))), height)
    scaled = grey.resize(size, Image.BOX)
    picture = Image.new("L", (width, height), 255)
    picture.paste(scaled, ((width - size[0]) // 2, (height - size[1]) // 2))
    picture.convert("1", dither=Image.FLOYDSTEINBERG).save(out)


if __name__ == "__main__":
    main()
