#!/usr/bin/env bash
# Builds the micro-benchmarks in Release and runs them on inputs made here:
#   bench_spectrum   the analysis of one sound buffer against the same chain on FFTW
#   bench_wallpaper  a 12-megapixel JPEG shown on a 1920 x 1080 screen (decoded
#                    and blended) against djpeg decoding it whole; the same for
#                    16384 x 8192 and 16384 x 16384 JPEGs (3 runs each)
#   bench_preview    the open-picture dialog's preview of that JPEG against djpeg
#                    at 1/8 scale, and of the largest BMP the limits allow
#   bench_scan       a 100 000-entry folder scanned for pictures against find
# Needs cmake, a C++ compiler, FFTW 3, ImageMagick's convert, cjpeg, djpeg and find;
# hyperfine, when present, times the two peer programs once more on its own.
# The build folder is build/bench unless BENCH_BUILD_DIR names another.
# Exit status: 0 when every target is met, 3 when a figure misses its
# target, 1 when a benchmark finds a wrong result or fails.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${BENCH_BUILD_DIR:-build/bench}"
runs="${BENCH_RUNS:-9}"

for tool in cmake pkg-config convert cjpeg djpeg find; do
    command -v "$tool" >/dev/null || { echo "micro.sh: $tool is missing" >&2; exit 1; }
done
pkg-config --exists fftw3 || { echo "micro.sh: FFTW 3 (libfftw3-dev) is missing" >&2; exit 1; }

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDUSKPANE_BENCH=ON -DDUSKPANE_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_spectrum bench_wallpaper bench_preview bench_scan >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A photo-like 4000 x 3000 picture: a fractal plasma with grain, quality 90.
convert -seed 7 -size 4000x3000 plasma:fractal -attenuate 0.3 +noise Gaussian -quality 90 \
    "$work/wallpaper.jpg"

# Pictures larger than ImageMagick makes, kept between runs.
large="${BENCH_LARGE_DIR:-build/bench-large}"
bench/make_large_jpeg.sh 16384 8192 "$large/sky-16384x8192.jpg"
bench/make_large_jpeg.sh 16384 16384 "$large/sky-16384x16384.jpg"

# 100 000 entries: 98 000 empty pictures, 1 990 notes, eight plain
# subfolders, one subfolder with a picture's name and one hidden subfolder.
mkdir "$work/pictures"
(
    cd "$work/pictures"
    seq -f 'picture%05g.jpg' 0 97999 | xargs touch
    seq -f 'notes%04g.txt' 0 1989 | xargs touch
    mkdir album0 album1 album2 album3 album4 album5 album6 album7 holiday.jpg .thumbs
)

echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores, load $(cut -d ' ' -f 1-3 /proc/loadavg)"
status=0
record() {
    # A wrong result outranks a missed target.
    local rc="$1"
    if [ "$rc" -ne 0 ] && [ "$rc" -ne 3 ]; then
        status=1
    elif [ "$rc" -eq 3 ] && [ "$status" -eq 0 ]; then
        status=3
    fi
}

rc=0; "$build/bench/bench_spectrum" || rc=$?; record "$rc"; echo
rc=0; "$build/bench/bench_wallpaper" "$work/wallpaper.jpg" "$runs" || rc=$?; record "$rc"; echo
for side in 8192 16384; do
    rc=0; "$build/bench/bench_wallpaper" "$large/sky-16384x$side.jpg" 3 || rc=$?; record "$rc"; echo
done
rc=0; "$build/bench/bench_preview" "$work/wallpaper.jpg" "$work" "$runs" || rc=$?; record "$rc"; echo
rc=0; "$build/bench/bench_scan" "$work/pictures" "$runs" || rc=$?; record "$rc"

if command -v hyperfine >/dev/null; then
    echo
    echo "peers timed by hyperfine:"
    hyperfine --style basic -N --warmup 2 --runs "$runs" \
        "djpeg -outfile /dev/null $work/wallpaper.jpg" "find $work/pictures -maxdepth 1" 2>&1 |
        grep -E '^(Benchmark|  Time)' || true
fi
exit "$status"
