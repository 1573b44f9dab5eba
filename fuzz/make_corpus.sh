#!/usr/bin/env bash
# Writes the seed corpus of the fuzzing targets into fuzz/corpus: small JPEGs
# (ImageMagick and cjpeg), small BMPs of every layout the reader accepts
# (ImageMagick, and Python for the layouts it does not write) and the
# settings seeds, which fuzz_settings writes itself from the program's own
# save. Takes the folder holding fuzz_settings (default build/fuzz/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

fuzzers=${1:-build/fuzz/fuzz}
for tool in convert cjpeg python3; do
  command -v "$tool" >/dev/null || { echo "make_corpus.sh: $tool is needed" >&2; exit 1; }
done
[ -x "$fuzzers/fuzz_settings" ] || { echo "make_corpus.sh: build fuzz_settings first ($fuzzers)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
jpeg=fuzz/corpus/jpeg bmp=fuzz/corpus/bmp settings=fuzz/corpus/settings
rm -rf "$jpeg" "$bmp" "$settings"
mkdir -p "$jpeg" "$bmp" "$settings"

# A picture with many colours, of any size.
picture() {
  python3 - "$1" "$2" <<'PPM'
import sys
width, height = map(int, sys.argv[1].split("x"))
pixels = bytes(v for y in range(height) for x in range(width)
               for v in (255 * x // width, 255 * y // height, (x * 37 + y * 91) % 256))
open(sys.argv[2], "wb").write(b"P6 %d %d 255\n" % (width, height) + pixels)
PPM
}

# ---------------------------------------------------------------- JPEG
picture 32x24 "$work/colours.ppm"
picture 17x5 "$work/odd.ppm"
picture 3x31 "$work/narrow.ppm"
picture 40x40 "$work/square.ppm"
convert -size 24x16 gradient:white-black "$work/grey.pgm"

convert "$work/colours.ppm" -quality 85 "$jpeg/baseline_420.jpg"
convert "$work/colours.ppm" -quality 90 -interlace Plane "$jpeg/progressive.jpg"
convert "$work/colours.ppm" -quality 80 -colorspace Gray "$jpeg/grayscale.jpg"
convert "$work/grey.pgm" -quality 75 -interlace Plane "$jpeg/grayscale_progressive.jpg"
convert "$work/colours.ppm" -quality 80 -colorspace CMYK "$jpeg/cmyk_adobe.jpg"
convert "$work/colours.ppm" -quality 80 -colorspace CMYK -interlace Plane "$jpeg/cmyk_progressive.jpg"
convert -size 1x1 xc:orange "$jpeg/one_pixel.jpg"
convert "$work/odd.ppm" -sampling-factor 2x2 "$jpeg/odd_17x5_420.jpg"
convert "$work/narrow.ppm" -sampling-factor 2x1 "$jpeg/odd_3x31_422.jpg"
convert "$work/odd.ppm" -sampling-factor 1x1 "$jpeg/odd_17x5_444.jpg"
cjpeg -quality 70 -restart 1 "$work/square.ppm" >"$jpeg/restart_rows.jpg"
cjpeg -quality 70 -restart 3B -progressive "$work/square.ppm" >"$jpeg/restart_progressive.jpg"
cjpeg -quality 70 -arithmetic "$work/colours.ppm" >"$jpeg/arithmetic.jpg"
cjpeg -quality 95 -rgb "$work/odd.ppm" >"$jpeg/rgb.jpg"
cjpeg -quality 60 -optimize -sample 1x2 "$work/narrow.ppm" >"$jpeg/optimized_12.jpg"
cp tests/fixtures/quadrants_baseline.jpg tests/fixtures/quadrants_progressive.jpg \
   tests/fixtures/too_wide_16400x8.jpg "$jpeg/"

# CMYK without the Adobe marker (the ink itself), and a file cut short.
python3 - "$jpeg" <<'EOF'
import sys
folder = sys.argv[1]
data = open(f"{folder}/cmyk_adobe.jpg", "rb").read()
out, at = bytearray(data[:2]), 2
while at < len(data):
    marker, length = data[at + 1], int.from_bytes(data[at + 2:at + 4], "big")
    if marker == 0xDA:
        out += data[at:]
        break
    if marker != 0xEE:
        out += data[at:at + 2 + length]
    at += 2 + length
open(f"{folder}/cmyk_plain.jpg", "wb").write(out)
progressive = open(f"{folder}/progressive.jpg", "rb").read()
open(f"{folder}/progressive_cut.jpg", "wb").write(progressive[:len(progressive) * 2 // 3])
EOF

# ---------------------------------------------------------------- BMP
picture 13x7 "$work/small.ppm"
convert "$work/small.ppm" -type TrueColor "BMP3:$bmp/rgb24.bmp"
convert "$work/small.ppm" -colors 200 -type Palette "BMP3:$bmp/palette8.bmp"
convert "$work/small.ppm" -monochrome "BMP3:$bmp/mono1.bmp"
convert "$work/small.ppm" -colors 200 -type Palette -compress RLE "BMP3:$bmp/rle8.bmp"
convert "$work/small.ppm" -colors 200 -type Palette "BMP2:$bmp/os2_palette.bmp"
convert "$work/small.ppm" -type TrueColor "BMP2:$bmp/os2_rgb24.bmp"
convert "$work/small.ppm" -define bmp:subtype=RGB565 "BMP:$bmp/bitfields565_v5.bmp"
convert "$work/small.ppm" -alpha set "BMP:$bmp/bitfields32_v5.bmp"

# The layouts ImageMagick does not write, put together here: RLE4, a
# top-down file, 16 and 32 bits with and without masks after a 40-byte
# header, the 52- and 56-byte and V4 headers, a short colour table and a
# file cut short.
python3 - "$bmp" <<'EOF'
import struct, sys
folder = sys.argv[1]
W, H = 11, 6

def colour(x, y):
    return (x * 23) & 255, (y * 41) & 255, (x * y * 7 + 60) & 255

def bmp(name, header_size, bits, compression, pixels, palette=b"", masks=b"", height=H, extra=b""):
    info = struct.pack("<IiiHHIIiiII", header_size, W, height, 1, bits, compression, len(pixels),
                       2835, 2835, len(palette) // 4, 0)
    info += masks + extra
    info += bytes(header_size - len(info)) if header_size > len(info) else b""
    offset = 14 + len(info) + len(palette)
    head = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    open(f"{folder}/{name}", "wb").write(head + info + palette + pixels)

def rows(bits, order, pack):
    out = bytearray()
    for y in order:
        row = bytearray()
        for x in range(W):
            row += pack(*colour(x, y))
        while len(row) % 4:
            row.append(0)
        out += row
    return bytes(out)

bottom_up = range(H - 1, -1, -1)
rgb24 = rows(24, bottom_up, lambda r, g, b: bytes((b, g, r)))
bmp("topdown24.bmp", 40, 24, 0, rows(24, range(H), lambda r, g, b: bytes((b, g, r))), height=-H)
bmp("rgb32.bmp", 40, 32, 0, rows(32, bottom_up, lambda r, g, b: bytes((b, g, r, 0))))
bmp("rgb555.bmp", 40, 16, 0,
    rows(16, bottom_up, lambda r, g, b: struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)))
bmp("bitfields565_40.bmp", 40, 16, 3,
    rows(16, bottom_up, lambda r, g, b: struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)),
    masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F))
bmp("bitfields32_40.bmp", 40, 32, 3, rows(32, bottom_up, lambda r, g, b: bytes((0, b, g, r))),
    masks=struct.pack("<III", 0xFF000000, 0x00FF0000, 0x0000FF00))
bmp("bitfields444_52.bmp", 52, 16, 3,
    rows(16, bottom_up, lambda r, g, b: struct.pack("<H", (r >> 4) << 8 | (g >> 4) << 4 | b >> 4)),
    masks=struct.pack("<III", 0x0F00, 0x00F0, 0x000F))
bmp("bitfields32_56.bmp", 56, 32, 3, rows(32, bottom_up, lambda r, g, b: bytes((b, g, r, 255))),
    masks=struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0xFF000000))
bmp("rgb24_v4.bmp", 108, 24, 0, rgb24)
bmp("rgb24_cut.bmp", 40, 24, 0, rgb24[:len(rgb24) * 2 // 3])

# Indexed: a 16-entry table, of which the 4-bit pictures use all and the
# short-table one only 5.
palette = b"".join(bytes(((i * 16) & 255, (i * 40) & 255, 255 - i * 15, 0)) for i in range(16))
def index(x, y):
    return (x + 2 * y) % 16
packed4 = b"".join(bytes(index(2 * k, y) << 4 | index(2 * k + 1, y) for k in range(6)) + bytes(2)
                  for y in bottom_up)
bmp("palette4.bmp", 40, 4, 0, packed4, palette=palette)
bmp("palette4_short_table.bmp", 40, 4, 0, packed4, palette=palette[:20])

# RLE4: encoded runs, an absolute run, a delta and the end of the picture.
rle4 = bytearray()
for y in range(H):
    if y == 2:
        rle4 += bytes((0, 2, 3, 1))  # delta: 3 right, 1 up
        continue
    rle4 += bytes((4, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 2, 0xAB))
    rle4 += bytes((0, 0))  # end of row
rle4 += bytes((0, 1))
bmp("rle4.bmp", 40, 4, 2, bytes(rle4), palette=palette)

# RLE8 with every escape.
rle8 = bytearray()
for y in range(H):
    rle8 += bytes((3, 7, 0, 3, 1, 2, 3, 0)) + bytes((0, 2, 1, 0)) + bytes((2, 9, 0, 0))
rle8 += bytes((0, 1))
bmp("rle8_escapes.bmp", 40, 8, 1, bytes(rle8), palette=palette * 16)
EOF

# ---------------------------------------------------------------- settings
"$fuzzers/fuzz_settings" --write-seeds="$settings" >/dev/null 2>&1

echo "seeds: $(find fuzz/corpus -type f | wc -l) files, $(du -sk fuzz/corpus | cut -f1) KB"
