#!/bin/bash
# The program on two monitors (Xorg's dummy driver, openbox, tint2, picom):
# only the primary monitor is dimmed, and when the other monitor is made the
# primary at run time both windows move over to it and the first monitor is
# left as it was; when that monitor is unplugged they come back to the
# first. Screenshots are kept in BUILD_DIR/desktops.
# Usage: two_monitors.sh path/to/duskpane BUILD_DIR   (exit 77: tools missing)
set -u
program=${1:?usage: two_monitors.sh path/to/duskpane BUILD_DIR}
build=${2:?usage: two_monitors.sh path/to/duskpane BUILD_DIR}
# shellcheck source=desktops.bash
source "$(dirname "$0")/desktops.bash"
require_tools Xorg xrandr xwud xwininfo import xprop xdotool convert sqlite3 python3 openbox tint2 picom
[ -f /usr/lib/xorg/modules/drivers/dummy_drv.so ] ||
    { echo "skipped: Xorg's dummy driver is not installed"; exit 77; }
if [ "$(id -u)" -ne 0 ]; then echo "skipped: Xorg with a configuration of its own needs root"; exit 77; fi
second_width=1024
second_height=768
scene_begin two_monitors "$build"
start_display dual

on_first() { shot_pixel $((width / 2)) $((height / 2)); }
on_second() { shot_pixel $((width + second_width / 2)) $((second_height / 2)); }
both_on() {  # both_on "X Y W H": both screen windows lie exactly there
    [ "$(window_box "$main")" = "$1" ] && [ "$(window_box "$sub")" = "$1" ]
}

screenshot before
check "both monitors are white before the program starts" \
    test "$(on_first) $(on_second)" = "255 255 255 255 255 255"

if program_shows; then
    screenshot first
    check "both windows cover the primary monitor alone" both_on "0 0 $width $height"
    check "the primary monitor is dimmed (white reads $(on_first))" near "$(on_first)" 55
    check "the other monitor stays as it is ($(on_second))" near "$(on_second)" 255

    xrandr --output DUMMY1 --primary
    wait_until 5 both_on "$width 0 $second_width $second_height"
    sleep 0.5
    screenshot second
    check "after the primary changed, both windows cover the new primary" \
        both_on "$width 0 $second_width $second_height"
    check "the new primary is dimmed (white reads $(on_second))" near "$(on_second)" 55
    check "the first monitor is left undimmed ($(on_first))" near "$(on_first)" 255

    # The primary unplugged: the windows go back to the monitor that is left.
    xrandr --output DUMMY1 --off
    wait_until 5 both_on "0 0 $width $height"
    sleep 0.5
    screenshot unplugged
    check "after the primary was unplugged, both windows cover the monitor left" both_on "0 0 $width $height"
    check "which is dimmed again (white reads $(on_first))" near "$(on_first)" 55

    quit_program
    check "Escape ends the program with exit code 0" ended_with 0
else
    failures=$((failures + 1))
fi
echo "timing: scene $(scene_took) ms"
session_end
