#!/bin/bash
# Settings that another tool or a crash left behind. A value of a kind that
# cannot be read shows one error box, takes its default, and the rest of the
# start goes on with every other value as stored; Escape then keeps them.
# A settings file of random bytes is moved aside, kept byte for byte, and
# the program starts on its defaults and ends on Escape with exit code 0,
# saving into a new file.
# Usage: damaged_store.sh path/to/duskpane BUILD_DIR   (exit 77: tools missing)
set -u
program=${1:?usage: damaged_store.sh path/to/duskpane BUILD_DIR}
# shellcheck source=desktop_session.bash
source "$(dirname "$0")/desktop_session.bash"
session_begin Xvfb picom xwud xwininfo import convert xdotool sqlite3 cmp

start_display
# Beside the wallpaper in the middle, the clock and the spectrum: the desktop.
dimmed() { pixel $((width / 5)) $((height / 2)); }

# ---- an odd value among good ones
slides="$work/slides"
mkdir -p "$slides"
convert -size 400x300 xc:red "$slides/red.jpg"
seed_settings "INSERT INTO value VALUES
    ('MAIN', 'TRANSPARENCY', 150), ('WALLPAPER', 'ALPHA_VALUE', 2.5),
    ('WALLPAPER', 'WP_DISP_MODE', '1'), ('WALLPAPER', 'WP_FOLDER', '$slides'),
    ('WALLPAPER', 'WP_CHG_TIME', 42), ('WAVE_SPECTRUM', 'WAVE_SPECTRUM', '0')"
# The box comes before the screen layers: they wait for it.
launch
wait_output 10 other_windows >/dev/null
sleep 0.5
check "one error box is shown at the start" test "$(other_windows | wc -l)" -eq 1
screen_shot "$work/box.png"
xdotool windowfocus --sync "$(other_windows)" key Return
wait_output 10 window_of SubForm >/dev/null
sleep 1
check "the error box is closed" test -z "$(other_windows)"
read -r r g b <<<"$(dimmed)"
check "then the screen dims at the stored 150 (white reads $r $g $b)" test "$r $g $b" = "105 105 105"
quit_program
check "Escape ends the program with exit code 0" ended_with 0
check "the folder, the mode, the period and the dimming are kept" \
    test "$(setting WALLPAPER WP_FOLDER)|$(setting WALLPAPER WP_DISP_MODE)|$(setting WALLPAPER WP_CHG_TIME)|$(setting MAIN TRANSPARENCY)" \
    = "$slides|1|42|150"
check "the odd value is saved as its default" \
    test "$(sqlite3 "$database" "SELECT typeof(data) || ' ' || data FROM value WHERE name = 'ALPHA_VALUE'")" = "integer 128"

# ---- a settings file of random bytes
rm -f "$database"
head -c 8192 /dev/urandom >"$database"
cp "$database" "$work/original"
: >"$work/program.log"
start_program
check "no message box is shown" test -z "$(other_windows)"
read -r r g b <<<"$(dimmed)"
check "the screen dims at the default 200 (white reads $r $g $b)" test "$r $g $b" = "55 55 55"
moved=$(ls "$database".damaged-* 2>/dev/null)
check "the file is moved aside as it was" cmp -s "$work/original" "$moved"
check "standard error names both paths" \
    grep -qF "the settings file $database is damaged (file is not a database): moved it aside to $moved" \
    "$work/program.log"
quit_program
check "Escape ends the program with exit code 0" ended_with 0
check "the settings are saved into a new file" \
    test "$(sqlite3 "$database" "SELECT count(*) FROM value")" -eq 8
session_end
