#!/bin/bash
# The program left running with the slideshow every second and a tone
# playing: no sanitizer report, no leak at the end, and its memory settles
# (less than 1 MB of growth after the first minute).
# Usage: soak.sh path/to/duskpane BUILD_DIR   (SOAK_SECONDS, default 120;
# exit 77: tools missing)
set -u
program=${1:?usage: soak.sh path/to/duskpane BUILD_DIR}
seconds=${SOAK_SECONDS:-120}
# shellcheck source=desktop_session.bash
source "$(dirname "$0")/desktop_session.bash"
session_begin Xvfb picom xwud xwininfo import convert xdotool sqlite3 pulseaudio pactl paplay sox

if ldd "$program" | grep -q libasan; then
    # No quarantine of freed blocks: the resident memory then follows what
    # the program holds, not what the sanitizer keeps for it. Freed picture
    # buffers are unmapped at once, so a late use of one still faults.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=0:detect_leaks=1"
    echo "the program runs under AddressSanitizer"
else
    echo "note: the program is not built with the sanitizers; memory is checked only"
fi

start_display
start_sound_server
tone_seconds=$((seconds + 60)) play_tone

slides="$work/slides"
mkdir -p "$slides"
# All JPEG files of one size, so that whichever picture is shown the program
# (and the sanitizer's quarantine of freed blocks) holds the same memory for
# it, and growth shows as growth.
for i in $(seq 0 23); do
    convert -size 1600x900 -seed "$i" "plasma:fractal" -quality 85 "$slides/slide$i.jpg"
done
seed_settings "INSERT INTO value VALUES
    ('MAIN', 'TRANSPARENCY', 200), ('WALLPAPER', 'TRANSPARENCY', '1'),
    ('WALLPAPER', 'ALPHA_VALUE', 128), ('WALLPAPER', 'WP_DISP_MODE', '1'),
    ('WALLPAPER', 'WP_FILE', ''), ('WALLPAPER', 'WP_FOLDER', '$slides'),
    ('WALLPAPER', 'WP_CHG_TIME', 1), ('WAVE_SPECTRUM', 'WAVE_SPECTRUM', '1')"

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$app/status"; }

start_program
# Resident memory every 5 s; the first minute is the program settling.
samples=()
for _ in $(seq $((seconds / 5))); do
    sleep 5
    alive || break
    samples+=("$(rss_kb)")
done
check "the program runs after $seconds s" alive
check "it records the tone" test "$(record_streams)" -ge 1
echo "resident memory every 5 s (kB): ${samples[*]}"
# The median of three samples at the start of the second minute against the
# median of the last three.
median3() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
n=${#samples[@]}
first=12
if [ "$n" -ge $((first + 6)) ]; then
    early=$(median3 "${samples[@]:first:3}")
    late=$(median3 "${samples[@]:n-3:3}")
    check "resident memory grew less than 1 MB after the first minute ($early kB to $late kB)" \
        test $((late - early)) -lt 1024
else
    check "enough samples of the resident memory ($n)" false
fi
quit_program
check "Escape ends the program with exit code 0 (no leak reported at the end)" ended_with 0
session_end
