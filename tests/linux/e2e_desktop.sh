#!/bin/bash
# The desktop program end to end: under Xvfb with a compositing manager over
# a white desktop, with its own settings folder and no sound server. Checks
# the dimming, the clock at full brightness, clicks going through black, the
# menu, Escape and SIGTERM ending with exit code 0 and the stored settings.
# Usage: e2e_desktop.sh path/to/duskpane   (exit 77: tools missing, skipped)
set -u

program=${1:?usage: e2e_desktop.sh path/to/duskpane}
# shellcheck source=../robustness/desktop_session.bash
source "$(dirname "$0")/../robustness/desktop_session.bash"
session_begin Xvfb picom xdotool xwud xwininfo xwd import convert sqlite3 xrandr

# No sound server: the program runs without one.
start_display

pointer_window() {  # pointer_window X Y: the window that gets a click there
    xdotool mousemove "$1" "$2"
    sleep 0.1
    eval "$(xdotool getmouselocation --shell)"
    printf '0x%x\n' "$WINDOW"
}

# ---- first run: the screen, the menu, Escape
start_program

read -r r g b <<<"$(pixel $((width / 2)) $((height / 3)))"
check "white under the dimming layer at alpha 200 reads 55 (got $r $g $b)" \
    test "$r $g $b" = "55 55 55"

screen_shot "$work/screen.png"
bright=$(clock_pixels "$work/screen.png")
check "the clock's digits show at full brightness ($bright white pixels)" test "$bright" -gt 300
read -r lit_x lit_y <<<"$(clock_digit "$work/screen.png")"
check "a click on a digit goes to the main window" test "$(pointer_window $((lit_x + 8)) $((lit_y + 8)))" = "$main"
check "a click on black goes through to the dimming window" test "$(pointer_window 700 300)" = "$sub"

# A right click on black opens the menu: four items, three lines between.
xdotool mousemove 700 300 click 3
sleep 0.6
menu=$(menu_at 700 300)
check "the right click opened the menu" test -n "$menu"
if [ -n "$menu" ]; then
    items=$(menu_items "$menu")
    check "the menu shows exactly four items (found $items)" test "$items" -eq 4
fi
xdotool key Escape  # closes the menu
sleep 0.3

# A left click on the dimming layer and Escape end the program.
quit_program
check "Escape ends the program with exit code 0" ended_with 0

kinds=$(sqlite3 "$database" "SELECT section || '/' || name || '=' || typeof(data) FROM value ORDER BY 1" | tr '\n' ' ')
expected="MAIN/TRANSPARENCY=integer WALLPAPER/ALPHA_VALUE=integer WALLPAPER/TRANSPARENCY=text \
WALLPAPER/WP_CHG_TIME=integer WALLPAPER/WP_DISP_MODE=text WALLPAPER/WP_FILE=text \
WALLPAPER/WP_FOLDER=text WAVE_SPECTRUM/WAVE_SPECTRUM=text "
check "the eight settings are stored with their kinds" test "$kinds" = "$expected"
check "the dimming is stored as 200" \
    test "$(sqlite3 "$database" "SELECT data FROM value WHERE section = 'MAIN' AND name = 'TRANSPARENCY'")" = 200

# ---- second run: the stored dimming comes back; SIGTERM closes as Escape does
sqlite3 "$database" "UPDATE value SET data = 100 WHERE section = 'MAIN' AND name = 'TRANSPARENCY'"
start_program
read -r r g b <<<"$(pixel $((width / 2)) $((height / 3)))"
check "the stored alpha 100 dims white to 155 (got $r $g $b)" test "$r $g $b" = "155 155 155"
kill -TERM "$app"
check "SIGTERM ends the program with exit code 0" ended_with 0
check "the settings were saved at the end" \
    test "$(sqlite3 "$database" "SELECT count(*) FROM value")" = 8

check "with a compositing manager the program has nothing to say" \
    test ! -s "$work/program.log"

# ---- a new resolution: both windows take it, the wallpaper is centred anew
convert -size 101x61 xc:'rgb(250,120,30)' "$work/wall.bmp"
sqlite3 "$database" "INSERT OR REPLACE INTO value VALUES('WALLPAPER', 'WP_FILE', '$work/wall.bmp')"
start_program
picture=$(pixel $((width / 2)) $((height / 2)))
xrandr --newmode 1024x768 60 1024 1048 1184 1344 768 771 777 806 >/dev/null 2>&1
xrandr --addmode screen 1024x768 && xrandr --output screen --mode 1024x768 && xrandr --fb 1024x768
sleep 1
check "both windows take the new resolution" \
    test "$(window_box "$main") $(window_box "$sub")" = "0 0 1024 768 0 0 1024 768"
check "the wallpaper is centred on the new screen (got $(pixel 512 384), was $picture)" \
    test "$(pixel 512 384)" = "$picture"
xrandr --output screen --mode "${width}x${height}" && xrandr --fb "${width}x${height}"
quit_program
check "Escape ends the program after the change (exit code 0)" ended_with 0
sqlite3 "$database" "UPDATE value SET data = '' WHERE section = 'WALLPAPER' AND name = 'WP_FILE'"

# ---- third run: without a compositing manager the dimming is opaque; the
# program says once how to get it see-through and works all the same.
kill "${pids[2]}"
wait "${pids[2]}" 2>/dev/null
sleep 0.3
start_program
check "without a compositing manager the program says how to get one" \
    test "$(grep -c 'no compositing manager is running' "$work/program.log")" -eq 1
read -r r g b <<<"$(pixel $((width / 2)) $((height / 3)))"
check "the dimming layer is then opaque black (got $r $g $b)" test "$r $g $b" = "0 0 0"
quit_program
check "Escape still ends the program with exit code 0" ended_with 0

# ---- no display, a display that does not open, a Wayland platform asked for
no_display() {  # no_display EXPECTED_TEXT ENV...: exit 1, one line naming it, no core dump
    local expected=$1 status
    shift
    env "$@" "$program" >"$work/nodisplay.out" 2>"$work/nodisplay.err" </dev/null
    status=$?
    [ "$status" -eq 1 ] && [ "$(wc -l <"$work/nodisplay.err")" -eq 1 ] &&
        grep -qF "$expected" "$work/nodisplay.err" && [ ! -s "$work/nodisplay.out" ]
}
check "without DISPLAY the program says so on one line and ends with 1" \
    no_display "DISPLAY is not set" -u DISPLAY -u WAYLAND_DISPLAY
check "a display that cannot be opened is named and the program ends with 1" \
    no_display '":65000"' DISPLAY=:65000
: >"$work/program.log"
QT_QPA_PLATFORM=wayland start_program
check "asked for Wayland, the program says it draws on X11 (once)" \
    test "$(grep -c 'QT_QPA_PLATFORM=wayland is not used' "$work/program.log")" -eq 1
quit_program
check "and runs there until Escape (exit code 0)" ended_with 0

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
