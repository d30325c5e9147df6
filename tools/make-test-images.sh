#!/usr/bin/env bash
# Regenerates the PNG and JPEG files under tests/data/png and tests/data/jpeg.
# The pixels come from plain-text PNM sources that this script writes itself; the reader tests
# parse those sources for their expected values, so the encoders are the only outside party.
# Needs netpbm (pamtopng, pnmtopng, pnmtojpeg, pamstack) and imagemagick (CMYK JPEG only).
set -euo pipefail
cd "$(dirname "$0")/.."
png=tests/data/png
jpg=tests/data/jpeg
mkdir -p "$png" "$jpg"
# Debian's convert; a different one may sit earlier in PATH.
im=/usr/bin/convert
[ -x "$im" ] || im=convert
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# gray OUT WIDTH HEIGHT MAXVAL EXPR: plain PGM, EXPR an awk expression in x and y.
gray() {
  awk -v w="$2" -v h="$3" -v m="$4" "BEGIN {
    print \"P2\"; print w, h; print m
    for (y = 0; y < h; y++) { line = \"\"
      for (x = 0; x < w; x++) line = line (x ? \" \" : \"\") (($5) % (m + 1))
      print line } }" >"$1"
}

# color OUT WIDTH HEIGHT MAXVAL REXPR GEXPR BEXPR: plain PPM.
color() {
  awk -v w="$2" -v h="$3" -v m="$4" "BEGIN {
    print \"P3\"; print w, h; print m
    for (y = 0; y < h; y++) { line = \"\"
      for (x = 0; x < w; x++)
        line = line (x ? \"  \" : \"\") (($5) % (m + 1)) \" \" (($6) % (m + 1)) \" \" (($7) % (m + 1))
      print line } }" >"$1"
}

# indexed OUT WIDTH HEIGHT COUNT: plain PPM whose pixel (x, y) has colour number
# (x + y * WIDTH) % COUNT; colour number i is (53i + 11, 97i + 31, 151i + 7) mod 256, all
# distinct for COUNT <= 256. With WIDTH=COUNT HEIGHT=1 it is the palette itself.
indexed() {
  local i="((x + y * w) % $4)"
  color "$1" "$2" "$3" 255 "($i * 53 + 11)" "($i * 97 + 31)" "($i * 151 + 7)"
}

# ---- PNG: every colour type and bit depth ----

for bits in 1 2 4 8; do
  gray "$png/gray$bits.pgm" 13 5 $(((1 << bits) - 1)) "x * 7 + y * 3 + x * y"
  pamtopng "$png/gray$bits.pgm" >"$png/gray$bits.png"
done
gray "$png/gray16.pgm" 13 5 65535 "x * 4999 + y * 13001 + x * y * 77 + 5"
pamtopng "$png/gray16.pgm" >"$png/gray16.png"
pamtopng -interlace "$png/gray2.pgm" >"$png/gray2_interlaced.png"
# A grey level marked transparent (tRNS): the value at (0, 0) of gray8.pgm is 0.
pamtopng -transparent=rgb:00/00/00 "$png/gray8.pgm" >"$png/gray8_trns.png"

color "$png/rgb8.ppm" 13 5 255 "x * 37 + y * 11" "x * 5 + y * 71 + x * y" "x * 101 + y * 29 + 7"
pamtopng "$png/rgb8.ppm" >"$png/rgb8.png"
pamtopng -interlace "$png/rgb8.ppm" >"$png/rgb8_interlaced.png"
# The colour at (0, 0) of rgb8.ppm is (0, 0, 7).
pamtopng -transparent=rgb:00/00/07 "$png/rgb8.ppm" >"$png/rgb8_trns.png"
color "$png/rgb16.ppm" 13 5 65535 "x * 4111 + y * 997 + 3" "x * 257 + y * 12007" \
  "x * y * 3001 + x * 59 + 40000"
pamtopng "$png/rgb16.ppm" >"$png/rgb16.png"

gray "$png/alpha8.pgm" 13 5 255 "x * 19 + y * 53 + 3"
gray "$png/alpha16.pgm" 13 5 65535 "x * 3001 + y * 7919 + 11"
pamstack -quiet -tupletype=GRAYSCALE_ALPHA "$png/gray8.pgm" "$png/alpha8.pgm" | pamtopng >"$png/grayalpha8.png"
pamstack -quiet -tupletype=GRAYSCALE_ALPHA "$png/gray16.pgm" "$png/alpha16.pgm" | pamtopng >"$png/grayalpha16.png"
pamstack -quiet -tupletype=RGB_ALPHA "$png/rgb8.ppm" "$png/alpha8.pgm" | pamtopng >"$png/rgba8.png"
pamstack -quiet -tupletype=RGB_ALPHA "$png/rgb16.ppm" "$png/alpha16.pgm" | pamtopng >"$png/rgba16.png"

# Palettes of 2, 4, 16 and 200 colours give palette depths 1, 2, 4 and 8.
for count in 2 4 16 200; do
  indexed "$png/indexed$count.ppm" 20 13 "$count"
  indexed "$tmp/palette$count.ppm" "$count" 1 "$count"
  pnmtopng -palette="$tmp/palette$count.ppm" "$png/indexed$count.ppm" >"$png/palette$count.png"
done
pnmtopng -interlace -palette="$tmp/palette16.ppm" "$png/indexed16.ppm" \
  >"$png/palette16_interlaced.png"
# Eight colours, each with its own alpha: pnmtopng stores this as a palette with tRNS.
indexed "$png/indexed8.ppm" 20 13 8
gray "$png/indexed8_alpha.pgm" 20 13 255 "((x + y * 20) % 8) * 36 + 3"
pnmtopng -alpha="$png/indexed8_alpha.pgm" "$png/indexed8.ppm" >"$png/palette8_trns.png"

# ---- JPEG: smooth pictures, so a lossy round trip stays close to the source ----

gray "$jpg/gray.pgm" 21 13 255 "40 + x * 6 + y * 5"
color "$jpg/color.ppm" 21 13 255 "30 + x * 8" "200 - y * 9" "60 + x * 3 + y * 4"
pnmtojpeg -quality=100 "$jpg/gray.pgm" >"$jpg/gray.jpg"
pnmtojpeg -quality=100 -sample=1x1,1x1,1x1 "$jpg/color.ppm" >"$jpg/color444.jpg"
pnmtojpeg -quality=95 "$jpg/color.ppm" >"$jpg/color420.jpg"
pnmtojpeg -quality=100 -sample=1x1,1x1,1x1 -progressive "$jpg/color.ppm" \
  >"$jpg/color_progressive.jpg"
pnmtojpeg -quality=100 -sample=1x1,1x1,1x1 -restart=1 "$jpg/color.ppm" >"$jpg/color_restart.jpg"
pnmtojpeg -quality=100 -rgb "$jpg/color.ppm" >"$jpg/color_rgb.jpg"
"$im" "$jpg/color.ppm" -colorspace CMYK -quality 90 "$jpg/cmyk.jpg"
