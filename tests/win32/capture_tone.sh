#!/bin/bash
# waveIn capture, the mixer and the endpoint under Wine with a private
# PulseAudio server whose null sink plays a 1 kHz tone, then silence: the
# Win32SoundTest cases of duskpane_win32_tests that need a sound server.
# Usage: capture_tone.sh path/to/duskpane.exe   (the tests are built beside
# it; exit 77: tools missing, skipped)
set -u

program=${1:?usage: capture_tone.sh path/to/duskpane.exe}
tests="$(dirname "$program")/duskpane_win32_tests.exe"
# shellcheck source=wine_session.bash
source "$(dirname "$0")/wine_session.bash"
session_begin pulseaudio pactl paplay sox
[ -f "$tests" ] || { echo "FAILED: $tests is missing"; exit 1; }

make_prefix
# make_prefix points Wine at no sound server; this test brings its own, with
# its own runtime and state folders.
start_sound_server
# The prefix's processes so far knew no server: start afresh.
timeout 20 "$wineserver" -k 2>/dev/null

run() { # run SCENARIO: every sound case must run and pass
    DUSKPANE_SOUND_SCENARIO=$1 timeout 100 "$wine" "$tests" --gtest_filter='Win32SoundTest.*' \
        >"$work/$1.log" 2>&1
    local status=$?
    if [ $status -eq 0 ] && ! grep -q '^\[  SKIPPED \]' "$work/$1.log"; then
        echo "ok: $1"
    else
        echo "FAILED: $1 (exit $status)"
        cat "$work/$1.log"
        failures=$((failures + 1))
    fi
}

# Longer than the tone cases can take; the player is stopped after them.
tone_seconds=110 play_tone
sleep 0.5
run tone
stop_tone
sleep 0.5
run silence

[ $failures -eq 0 ] && echo "all passed"
exit $((failures > 0))
