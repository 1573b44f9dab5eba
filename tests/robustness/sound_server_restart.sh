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
require_tools Xvfb picom xwud xwininfo import convert xdotool sqlite3 pulseaudio pactl paplay sox

start_display
start_sound_server
play_tone
start_program

check "the program records from the sound server" within 5 capturing
check "the tone lights the bars" within 5 bars_lit

for how in KILL TERM; do
    check_sound_server_restart "$how"
done

quit_program
check "Escape still ends the program with exit code 0" ended_with 0
check "no sanitizer report" test "$(sanitizer_reports)" -eq 0
[ "$failures" -eq 0 ] && echo "all passed" || cat "$work/program.log"
exit $((failures > 0))
