#!/bin/bash
# waveIn capture under Wine from a private PulseAudio server whose null
# sink plays a 1 kHz tone, then silence: the Win32 sound tests that need a
# server (duskpane_win32_tests, the Win32SoundTest cases).
# Usage: capture_tone.sh path/to/duskpane.exe   (the tests are built beside
# it; exit 77: tools missing, skipped)
set -u

program=${1:?usage: capture_tone.sh path/to/duskpane.exe}
tests="$(dirname "$program")/duskpane_win32_tests.exe"
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
# shellcheck source=wine_session.bash
source "$here/wine_session.bash"
server=
player=
stop_sound() {
    [ -n "$player" ] && kill "$player" 2>/dev/null && wait "$player" 2>/dev/null
    player=
}
cleanup() {
    stop_sound
    session_cleanup
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
}
trap cleanup EXIT

require_tools pulseaudio pactl sox
[ -f "$tests" ] || { echo "FAILED: $tests is missing"; exit 1; }

make_prefix
# make_prefix points Wine at no server; this test brings its own.
export PULSE_SERVER="unix:$work/native"
export PULSE_RUNTIME_PATH="$work/runtime" PULSE_STATE_PATH="$work/state"
mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
cat >"$work/server.pa" <<PA
load-module module-native-protocol-unix socket=$work/native auth-anonymous=1
load-module module-null-sink sink_name=tone_sink rate=44100
set-default-sink tone_sink
set-default-source tone_sink.monitor
PA
pulseaudio -n -F "$work/server.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    >"$work/pulse.log" 2>&1 &
server=$!
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
pactl info >/dev/null 2>&1 || { echo "FAILED: the sound server did not start"; exit 1; }
# Wine picks up the new server in a fresh wineserver session.
timeout 20 "$wineserver" -k 2>/dev/null

failures=0
run() {  # run SCENARIO
    DUSKPANE_SOUND_SCENARIO=$1 timeout 120 "$wine" "$tests" --gtest_filter='Win32SoundTest.*' \
        >"$work/$1.log" 2>&1
    local status=$?
    if [ $status -eq 0 ] && ! grep -q SKIPPED "$work/$1.log"; then
        echo "ok: $1"
    else
        echo "FAILED: $1 (exit $status)"
        cat "$work/$1.log"
        failures=$((failures + 1))
    fi
}

sox -n -r 44100 -c 1 -b 16 -t raw - synth 60 sine 1000 vol 0.5 2>/dev/null |
    pacat --raw --rate=44100 --channels=1 --format=s16le --device=tone_sink &
player=$!
sleep 0.5
run tone
stop_sound
sleep 0.5
run silence

[ $failures -eq 0 ] && echo "all passed"
exit $((failures > 0))
