#!/bin/bash
# The sound server killed and started again while the program runs: the
# program goes on showing the clock, and its capture is back within 2.5 s of
# the server, with the bars lit by the tone again.
# Usage: sound_server_restart.sh path/to/duskpane BUILD_DIR   (exit 77: tools missing)
set -u
program=${1:?usage: sound_server_restart.sh path/to/duskpane BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
# shellcheck source=desktop_session.bash
source "$here/desktop_session.bash"
trap session_cleanup EXIT
require_tools Xvfb picom xwud xwininfo xwd convert xdotool sqlite3 pulseaudio pactl paplay sox

start_display
start_sound_server
play_tone
start_program

wait_for() {  # wait_for SECONDS CMD...: polls CMD every 50 ms; prints the seconds it took
    local limit=$1 started now
    shift
    started=$(date +%s%N)
    while true; do
        if "$@"; then
            now=$(date +%s%N)
            echo $(((now - started) / 1000000))
            return 0
        fi
        now=$(date +%s%N)
        [ $(((now - started) / 1000000)) -gt $((limit * 1000)) ] && return 1
        sleep 0.05
    done
}
within() { wait_for "$@" >/dev/null; }
capturing() { [ "$(record_streams)" -ge 1 ]; }
bars_lit() { [ "$(lit_bar_pixels)" -gt 50 ]; }

check "the program records from the sound server" within 5 capturing
check "the tone lights the bars" within 5 bars_lit

for how in KILL TERM; do
    stop_sound_server "$how"
    kill "$player" 2>/dev/null
    wait "$player" 2>/dev/null
    player=
    sleep 3
    check "the program runs on without a sound server (SIG$how)" alive

    start_sound_server
    play_tone
    if took=$(wait_for 10 capturing); then
        check "capture is back within 2.5 s of the server (took $took ms)" test "$took" -le 2500
    else
        check "capture came back after the server returned" false
    fi
    check "the bars light again" within 5 bars_lit
done

quit_program
check "Escape still ends the program with exit code 0" ended_with 0
check "no sanitizer report" test "$(sanitizer_reports)" -eq 0
[ "$failures" -eq 0 ] && echo "all passed" || cat "$work/program.log"
exit $((failures > 0))
