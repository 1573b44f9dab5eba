#!/bin/bash
# The program with PipeWire (pipewire-pulse and WirePlumber) as the sound
# server instead of PulseAudio: it records the default input and the tone
# lights the bars; the bars follow the output volume (the sink's monitor here
# ignores the sink volume, so only the program's own scaling changes them);
# after the server is killed and started again capture is back within 2.5 s.
# Usage: pipewire.sh path/to/duskpane BUILD_DIR   (exit 77: tools missing)
set -u
program=${1:?usage: pipewire.sh path/to/duskpane BUILD_DIR}
build=${2:?usage: pipewire.sh path/to/duskpane BUILD_DIR}
# shellcheck source=desktops.bash
source "$(dirname "$0")/desktops.bash"
require_tools Xvfb picom xwud xwininfo import convert xdotool sqlite3 python3 sox dbus-daemon \
    pipewire wireplumber pipewire-pulse pw-play pw-cli pactl
sound_server=pipewire
scene_begin pipewire "$build"

start_display
start_sound_server
check "the sound server is PipeWire" eval 'pactl info | grep -q "on PipeWire"'
play_tone
start_program

check "the program records from PipeWire" wait_until 5 capturing
check "the tone lights the bars" wait_until 5 bars_lit

bars_at() {  # bars_at PERCENT: the bars' pixels at that output volume, settled
    pactl set-sink-volume tone_sink "$1%"
    sleep 0.6
    bar_pixels
}
full=$(bars_at 100)
quiet=$(bars_at 10)
check "at 10 % volume the bars are lower than at 100 % ($quiet against $full pixels)" \
    test "$quiet" -lt $((full * 4 / 5))
check "at 10 % volume the tone still shows ($quiet pixels)" test "$quiet" -gt 0
back=$(bars_at 100)
check "back at 100 % the bars are as high as before ($back against $full pixels)" \
    test "$back" -ge $((full * 9 / 10))
screen_shot "$shots/pipewire-bars.png"

check_sound_server_restart KILL

quit_program
check "Escape ends the program with exit code 0" ended_with 0
echo "timing: scene $(scene_took) ms"
session_end
