#!/usr/bin/env bash
# Writes a large photo-like JPEG (a smooth sky of colour bands, quality 80)
# by piping a generated PPM into cjpeg: ImageMagick refuses pictures over
# 16K pixels a side and runs out of its cache on large ones. Kept when the
# file is already there.
#   bench/make_large_jpeg.sh WIDTH HEIGHT FILE
set -euo pipefail
width=${1:?usage: make_large_jpeg.sh WIDTH HEIGHT FILE} height=${2:?} file=${3:?}
[ -s "$file" ] && exit 0
for tool in python3 cjpeg; do
    command -v "$tool" >/dev/null || { echo "make_large_jpeg.sh: $tool is needed" >&2; exit 1; }
done
mkdir -p "$(dirname "$file")"
python3 - "$width" "$height" <<'PPM' | cjpeg -quality 80 >"$file.part"
import math, sys
width, height = int(sys.argv[1]), int(sys.argv[2])
out = sys.stdout.buffer
out.write(b"P6 %d %d 255\n" % (width, height))
# A band twice the width with slow waves of each colour; every row is a
# slice of it, shifted slowly down the picture.
span = 2 * width
band = bytearray(3 * span)
for x in range(span):
    t = x / span
    band[3 * x] = int(127 + 120 * math.sin(6.283 * t * 3))
    band[3 * x + 1] = int(127 + 120 * math.sin(6.283 * t * 5 + 1))
    band[3 * x + 2] = int(127 + 120 * math.sin(6.283 * t * 7 + 2))
band = bytes(band)
for y in range(height):
    shift = int((width - 1) * (0.5 + 0.5 * math.sin(y / 1500.0)))
    out.write(band[3 * shift:3 * (shift + width)])
PPM
mv "$file.part" "$file"
