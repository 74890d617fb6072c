#!/usr/bin/env python3
"""The natural alternative to torvel for the benchmarks: the same conversion
written as a straightforward Python script on Pillow.

Usage: pillow_convert.py BLOCKMAP.INI PICTURE.BMP FLASH.BIN INDEX OUT.VKP
"""
import configparser
import struct
import sys

from PIL import Image

PICTURE_TABLE = 0xDDF30


def number(text):
    text = text.strip()
    if text.startswith("$"):
        return int(text[1:], 16)
    if text.lower().startswith("0x"):
        return int(text[2:], 16)
    return int(text)


def read_block_map(path):
    ini = configparser.ConfigParser()
    ini.read(path)
    blocks = []
    n = 1
    while ini.has_section(f"Block{n}"):
        section = ini[f"Block{n}"]
        blocks.append((number(section["Addr"]), number(section["FFOffset"]),
                       number(section["Length"])))
        n += 1
    return blocks


def main():
    ini_path, bmp_path, flash_path, index, out_path = sys.argv[1:6]
    index = int(index)

    with open(flash_path, "rb") as flash:
        flash.seek(PICTURE_TABLE + 8 * index)
        entry = flash.read(8)
    width, height = entry[0], entry[1]
    word, page = struct.unpack_from("<HH", entry, 4)
    address = (page << 14) | word
    offset = None
    for addr, ff_offset, length in read_block_map(ini_path):
        if addr <= address < addr + length:
            offset = address - addr + ff_offset
            break
    if offset is None:
        sys.exit(f"Unmapped picture address {address:08X}")

    # The user's own picture, however large.
    Image.MAX_IMAGE_PIXELS = None
    with Image.open(bmp_path) as picture:
        region = picture.crop((0, 0, min(width, picture.width),
                               min(height, picture.height))).convert("RGB")
    canvas = Image.new("RGB", (width, height), "white")
    canvas.paste(region, (0, 0))
    pixels = canvas.load()

    bytes_per_row = (width + 7) // 8
    lines = [f"; Picture #{index}"]
    for y in range(height):
        data = bytearray()
        drawing = []
        for c in range(bytes_per_row):
            byte = 0xFF
            for i in range(8):
                x = 8 * c + i
                if x >= width:
                    continue
                ink = pixels[x, y] == (0, 0, 0)
                if not ink:
                    byte &= ~(0x80 >> i)
                drawing.append("XX" if ink else "..")
            data.append(byte)
        lines.append(f"{offset & 0xFFFFFFFF:08X}: {data.hex().upper()} ;"
                     + "".join(drawing))
        offset += bytes_per_row
    with open(out_path, "wb") as out:
        out.write(("\r\n".join(lines) + "\r\n").encode("ascii"))


if __name__ == "__main__":
    main()
