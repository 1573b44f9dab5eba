#!/bin/bash
# The program on two monitors (Xorg's dummy driver, openbox, tint2, picom):
# only the primary monitor is dimmed, and when the other monitor is made the
# primary at run time both windows move over to it and the first monitor is
# left as it was; when that monitor is unplugged they come back to the
# first. The wallpaper, larger than either monitor, is centred anew on each.
# Screenshots are kept in BUILD_DIR/desktops.
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

# A wallpaper larger than both monitors, black but for the part that a
# 1024 x 768 screen shows of it when centred, which is red: on the second
# monitor red reaches every corner, on the first only its middle.
picture="$work/wallpaper.bmp"
convert -size 2048x1536 xc:black -fill red -draw "rectangle 512,384 1535,1151" "BMP3:$picture"
seed_settings "INSERT INTO value VALUES ('MAIN', 'TRANSPARENCY', 200),
    ('WALLPAPER', 'TRANSPARENCY', '0'), ('WALLPAPER', 'WP_DISP_MODE', '0'),
    ('WALLPAPER', 'WP_FILE', '$picture'), ('WAVE_SPECTRUM', 'WAVE_SPECTRUM', '0')"
red="255 55 55"   # red under the dimming, over the white desktop
black="55 55 55"
corners_of() {  # corners_of LEFT WIDTH HEIGHT: three corners of a monitor, clear of the panel and the clock
    local left=$(($1 + 60)) right=$(($1 + $2 - 60)) bottom=$(($3 - 60))
    echo "$(shot_pixel "$right" 60)|$(shot_pixel "$left" "$bottom")|$(shot_pixel "$right" "$bottom")"
}
all_near() {  # all_near "P|P|..." "R G B": every pixel within the compositor's rounding
    local p
    IFS='|' read -ra p <<<"$1"
    for p in "${p[@]}"; do
        python3 -c 'import sys; a, b = sys.argv[1].split(), sys.argv[2].split(); sys.exit(any(abs(int(x) - int(y)) > 2 for x, y in zip(a, b)))' "$p" "$2" || return 1
    done
}

on_first() { shot_pixel 30 $((height / 2)); }
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
    check "the wallpaper is centred on it: red in the middle ($(shot_pixel $((width / 2)) $((height / 2))))" \
        all_near "$(shot_pixel $((width / 2)) $((height / 2)))" "$red"
    check "and black in the corners ($(corners_of 0 "$width" "$height"))" \
        all_near "$(corners_of 0 "$width" "$height")" "$black"
    check "the other monitor stays as it is ($(on_second))" near "$(on_second)" 255

    xrandr --output DUMMY1 --primary
    wait_until 5 both_on "$width 0 $second_width $second_height"
    sleep 0.5
    screenshot second
    check "after the primary changed, both windows cover the new primary" \
        both_on "$width 0 $second_width $second_height"
    check "the wallpaper is centred on the new primary: red in its corners ($(corners_of "$width" "$second_width" "$second_height"))" \
        all_near "$(corners_of "$width" "$second_width" "$second_height")" "$red"
    check "the first monitor is left undimmed ($(on_first))" near "$(on_first)" 255

    # The primary unplugged: the windows go back to the monitor that is left.
    xrandr --output DUMMY1 --off
    wait_until 5 both_on "0 0 $width $height"
    sleep 0.5
    screenshot unplugged
    check "after the primary was unplugged, both windows cover the monitor left" both_on "0 0 $width $height"
    check "which is dimmed again (white reads $(on_first))" near "$(on_first)" 55
    check "with the wallpaper centred on it again ($(corners_of 0 "$width" "$height"))" \
        all_near "$(corners_of 0 "$width" "$height")" "$black"

    quit_program
    check "Escape ends the program with exit code 0" ended_with 0
else
    failures=$((failures + 1))
fi
echo "timing: scene $(scene_took) ms"
session_end
