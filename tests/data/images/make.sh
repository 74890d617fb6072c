#!/usr/bin/env bash
# Writes the test pictures with ImageMagick (scripts/deps.sh viewers): a
# 32 x 16 picture of four 16 x 8 quarters, black, red, green and blue (grey
# levels 0, 76, 150 and 29), in every kind import reads; the grey kinds hold
# those levels. The GIF's second frame is white. Run from this folder.
set -euo pipefail
convert=/usr/bin/convert
q=(-size 16x8 xc:black 'xc:rgb(255,0,0)' +append \( -size 16x8 'xc:rgb(0,255,0)' 'xc:rgb(0,0,255)' +append \) -append)
g=(-size 16x8 xc:black 'xc:gray(76)' +append \( -size 16x8 'xc:gray(150)' 'xc:gray(29)' +append \) -append)
$convert "${q[@]}" -strip PNG24:quad.png
$convert "${q[@]}" -strip -alpha on PNG64:quad-rgba16.png
$convert "${q[@]}" -strip PNG8:quad-palette.png
$convert "${g[@]}" -strip -colorspace Gray -define png:color-type=0 -depth 8 quad-grey.png
$convert "${q[@]}" -strip -sampling-factor 4:4:4 -quality 95 quad.jpg
$convert "${q[@]}" -strip -sampling-factor 4:2:0 -quality 95 -interlace JPEG quad-progressive.jpg
$convert "${g[@]}" -strip -colorspace Gray -quality 95 -interlace JPEG quad-grey.jpg
$convert "${q[@]}" \( -size 32x16 xc:white \) -set delay 10 quad.gif
$convert "${q[@]}" BMP3:quad.bmp
$convert "${q[@]}" -depth 8 quad.ppm
$convert "${g[@]}" -colorspace Gray -depth 8 quad.pgm
