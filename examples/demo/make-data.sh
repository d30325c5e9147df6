#!/usr/bin/env bash
# Regenerates the demo's pictures under data/ with ImageMagick, one per file format the library
# reads. The committed files are what the demo and its expected screenshot use; run this only to
# change them (then remake tests/data/demo_expected.png with tools/demo.sh).
set -euo pipefail
cd "$(dirname "$0")/data"
# Debian's convert; a different one may sit earlier in PATH.
im=/usr/bin/convert
[ -x "$im" ] || im=convert

# A 64 x 64 background tile, 24-bit BMP.
"$im" -size 64x64 xc:'#183050' -fill '#20406a' -draw 'rectangle 0,0 31,31' \
  -draw 'rectangle 32,32 63,63' -fill '#2a5a8a' -draw 'circle 32,32 32,26' -type TrueColor \
  bmp3:backdrop.bmp
# A 48 x 48 sprite with soft alpha edges, RGBA PNG.
"$im" -size 48x48 xc:none -fill '#ffcc33' -draw 'circle 24,24 24,3' -fill '#d04010' \
  -draw 'circle 24,24 24,13' -fill '#fff6d0' -draw 'circle 19,18 19,15' -depth 8 -define png:color-type=6 \
  sprite.png
# A 96 x 96 picture, baseline JPEG.
"$im" -size 96x96 gradient:'#ff4060-#4060ff' -swirl 160 -fill '#ffffff' \
  -draw 'rectangle 40,10 56,86' -quality 90 -sampling-factor 2x2 photo.jpg
# Four 32 x 32 cells on black (the transparent colour) in one 128 x 32 image, 24-bit TGA.
"$im" -size 128x32 xc:black \
  -fill '#40e040' -draw 'polygon 16,2 30,30 2,30' \
  -fill '#e0e040' -draw 'rectangle 36,4 59,27' \
  -fill '#40e0e0' -draw 'circle 80,16 80,2' \
  -fill '#e040e0' -draw 'polygon 112,2 126,16 112,30 98,16' \
  -type TrueColor -compress none tiles.tga
# A 32 x 32 ball with alpha, uncompressed 32-bit DDS.
"$im" -size 32x32 xc:none -fill '#80ff80' -draw 'circle 16,16 16,1' -fill '#208040' \
  -draw 'circle 16,16 16,8' -define dds:compression=none -define dds:mipmaps=0 ball.dds
# A 128 x 128 grey ramp that steers the blend-graph wipe, 8-bit grey PNG.
"$im" -size 128x128 radial-gradient:white-black -colorspace Gray -depth 8 \
  -define png:color-type=0 wipe.png
