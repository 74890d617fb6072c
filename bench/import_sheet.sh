#!/usr/bin/env bash
# Times torvel-pics import of a 4000 x 3000 JPEG (baseline and progressive)
# and PNG into picture 1 of the example dump (101 x 80), against the same
# steps on Pillow (bench/pillow_import.py) and against ImageMagick's
# `convert IN -resize 101x80 -monochrome OUT`; then torvel-pics sheet of the
# 512 MiB dump with 4,000 pictures that bench/pics_list.sh writes. Wall time
# from hyperfine -N (median), peak memory from /usr/bin/time (median of 3).
# Usage: bench/import_sheet.sh   (scripts/deps.sh base bench viewers)
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in hyperfine /usr/bin/time /usr/bin/convert /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "import_sheet.sh: $tool is missing (scripts/deps.sh bench viewers)" >&2; exit 1; }
done
cmake --preset release >/dev/null && cmake --build --preset release -j2 --target torvel-pics make_flash >/dev/null
work=build/bench/import
mkdir -p "$work"
pics=$PWD/build/release/torvel-pics
ini=$PWD/examples/MARLOW.INI
build/release/examples/make_flash "$work/example.bin"

# A photograph-like picture: smooth fractal clouds, the same on every run.
if [ ! -s "$work/photo.jpg" ]; then
  /usr/bin/convert -size 4000x3000 -seed 7 plasma:fractal -blur 0x2 -depth 8 "$work/photo.ppm"
  /usr/bin/convert "$work/photo.ppm" -quality 90 "$work/photo.jpg"
  /usr/bin/convert "$work/photo.ppm" -quality 90 -interlace JPEG "$work/photo-progressive.jpg"
  /usr/bin/convert "$work/photo.ppm" "$work/photo.png"
  rm "$work/photo.ppm"
fi

# median peak resident memory of three runs, in MiB
peak() {
  for _ in 1 2 3; do
    /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null
    cat "$work/time"
  done | sort -n | sed -n 2p | awk '{ printf "%.1f MiB", $1 / 1024 }'
}
median() {
  hyperfine -N --style none --warmup 2 --min-runs 10 --export-json "$work/h.json" "$1" >/dev/null 2>&1
  python3 -c 'import json,sys; print("%.0f ms" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$work/h.json"
}

echo "| input | size | torvel-pics import | Pillow | ImageMagick convert | torvel-pics peak | Pillow peak | ImageMagick peak |"
echo "|---|---|---|---|---|---|---|---|"
for image in photo.jpg photo-progressive.jpg photo.png; do
  in=$work/$image
  ours=("$pics" -C "$ini" import "$work/example.bin" 1 "$in" "$work/ours.bmp" --dither floyd-steinberg)
  pillow=(/usr/bin/python3 bench/pillow_import.py "$in" 101 80 "$work/pillow.bmp")
  magick=(/usr/bin/convert "$in" -resize 101x80 -monochrome "$work/magick.bmp")
  printf '| %s | %s KiB | %s | %s | %s | %s | %s | %s |\n' "$image" "$(($(stat -c %s "$in") >> 10))" \
    "$(median "$(printf '%q ' "${ours[@]}")")" "$(median "$(printf '%q ' "${pillow[@]}")")" \
    "$(median "$(printf '%q ' "${magick[@]}")")" \
    "$(peak "${ours[@]}")" "$(peak "${pillow[@]}")" "$(peak "${magick[@]}")"
done

# The dump of bench/pics_list.sh: 4,000 pictures of 1 x 1 to 132 x 176.
sheet=build/bench/pics
mkdir -p "$sheet"
printf '[Block1]\nAddr=$400000\nFFOffset=$1000000\nLength=$10000000\n' >"$sheet/big.ini"
if [ ! -s "$sheet/table.bin" ]; then
  python3 - "$sheet" <<'PY'
import sys
with open(f"{sys.argv[1]}/table.bin", "wb") as f:
    f.truncate(512 << 20)
    f.seek(0xDDF30)
    for i in range(4000):
        a = 0x400000 + i * 0x1000
        f.write(bytes([1 + i % 132, 1 + i % 176, 0, 0, a & 0xFF, a >> 8 & 0x3F, a >> 14 & 0xFF, a >> 22]))
    f.write(b"\xff" * 8)
PY
fi
echo
echo "| sheet of table.bin (4,000 pictures) | pages | time | peak memory |"
echo "|---|---|---|---|"
for scale in 1 2 4; do
  rm -f "$work"/sheet*.png
  run=("$pics" -C "$sheet/big.ini" sheet "$sheet/table.bin" "$work/sheet.png" --scale "$scale")
  "${run[@]}" >/dev/null
  printf '| --scale %s | %s | %s | %s |\n' "$scale" "$(ls "$work"/sheet*.png | wc -l)" \
    "$(median "$(printf '%q ' "${run[@]}")")" "$(peak "${run[@]}")"
done
