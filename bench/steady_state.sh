#!/bin/bash
# Steady-state cost of the Linux program on a 1920 x 1080 screen: a folder
# slideshow changing every second and the spectrum of a 1 kHz tone, under
# Xvfb with a compositing manager and a private sound server. After a
# warm-up, the CPU the process takes (as a share of one core) and its peak
# resident size; then the same for cava showing the same tone, for scale.
# Aimed at: at most 1 % of one core and 60 MiB.
# Usage: bench/steady_state.sh   (builds build/bench first)
#   PROGRAM=path/to/duskpane  measure that build instead
#   DURATION=60 WARMUP=10     seconds measured, seconds before
#   CHANGE_SECONDS=1          the slideshow period
#   PICTURES=folder           where the 200 pictures are made once and kept
#                             (build/bench-pictures)
#   DETAILS=folder            keep /proc smaps, status and pmap there
# Exit 0: targets met and every check passed; 1: not; 77: tools missing.
set -u
cd "$(dirname "$0")/.." || exit 1
# shellcheck source=bench/bench_session.bash
source bench/bench_session.bash
require_tools Xvfb picom xwud xwd convert sqlite3 pulseaudio pactl paplay sox cava

bench_linux_start

start_display
bench_sound
bench_linux_settings "$pictures"

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $width x $height;" \
    "$warmup s warm-up, $duration s measured"

# ---- the program
"$program" >"$work/program.log" 2>&1 &
app=$!
bench_measure "$app" duskpane 1 60
bench_details "$app" duskpane
if capture_stream Duskpane; then
    echo "ok: the program records the default source"
else
    bench_fail "the program has no running record stream"
fi
slideshow_changes || bench_fail "the slideshow did not change pictures"
kill -TERM "$app"
bench_ended SIGTERM
saved=$(sqlite3 "$database" "SELECT data FROM value WHERE section = 'WALLPAPER' AND name = 'WP_DISP_MODE'")
[ "$saved" = 1 ] || bench_fail "the folder slideshow was not in force (saved WP_DISP_MODE '$saved')"
[ -s "$work/program.log" ] && { echo "the program said:"; cat "$work/program.log"; }

# ---- cava on the same tone, sixty frames a second to nowhere
cat >"$work/cava.conf" <<CONF
[general]
framerate = 60
[input]
method = pulse
source = tone_sink.monitor
[output]
method = raw
raw_target = /dev/null
data_format = ascii
CONF
cava -p "$work/cava.conf" >"$work/cava.log" 2>&1 &
app=$!
bench_measure "$app" cava
bench_details "$app" cava
if capture_stream cava; then
    echo "ok: cava records the monitor"
else
    bench_fail "cava has no running record stream"
fi
kill -TERM "$app"
wait "$app" 2>/dev/null
app=

[ "$bench_failures" -eq 0 ] && echo "all met"
exit $((bench_failures > 0))
