#!/bin/bash
# The sound server killed and started again while the program runs: the
# program goes on showing the clock, and its capture is back within 2.5 s of
# the server, with the bars lit by the tone again.
# Usage: sound_server_restart.sh path/to/duskpane BUILD_DIR   (exit 77: tools missing)
set -u
program=${1:?usage: sound_server_restart.sh path/to/duskpane BUILD_DIR}
# shellcheck source=desktop_session.bash
source "$(dirname "$0")/desktop_session.bash"
session_begin Xvfb picom xwud xwininfo import convert xdotool sqlite3 pulseaudio pactl paplay sox

start_display
start_sound_server
play_tone
start_program

check "the program records from the sound server" wait_until 5 capturing
check "the tone lights the bars" wait_until 5 bars_lit

for how in KILL TERM; do
    check_sound_server_restart "$how"
done

quit_program
check "Escape still ends the program with exit code 0" ended_with 0
session_end
