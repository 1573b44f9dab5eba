#!/bin/bash
# The desktop program end to end: under Xvfb with a compositing manager over
# a white desktop, with its own settings folder and no sound server. Checks
# the dimming, the clock at full brightness, clicks going through black, the
# menu, Escape and SIGTERM ending with exit code 0 and the stored settings.
# Usage: e2e_desktop.sh path/to/duskpane   (exit 77: tools missing, skipped)
set -u

program=${1:?usage: e2e_desktop.sh path/to/duskpane}
for tool in Xvfb picom xdotool xwud xwininfo xwd convert sqlite3; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done

width=1280
height=800
work=$(mktemp -d)
pids=()
failures=0

cleanup() {
    [ -n "${app:-}" ] && kill -9 "$app" 2>/dev/null
    # Last started first: the X server goes last.
    for ((i = ${#pids[@]} - 1; i >= 0; --i)); do
        kill "${pids[i]}" 2>/dev/null
        wait "${pids[i]}" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}

# A free display: Xvfb picks the number and tells it.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 ${width}x${height}x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "FAILED: Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# A white window as the desktop, and the compositing manager.
convert -size ${width}x${height} xc:white "xwd:$work/white.xwd"
xwud -in "$work/white.xwd" -geometry ${width}x${height}+0+0 -noclick &
pids+=($!)
picom --backend xrender --config /dev/null >"$work/picom.log" 2>&1 &
pids+=($!)

export XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export PULSE_SERVER="unix:$work/no-sound-server"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
database="$XDG_CONFIG_HOME/Kirameda/Duskpane/settings.sqlite3"

window_of() {  # window_of TITLE: the program's screen-sized window of that title
    xwininfo -root -tree | awk -v title="\"$1\":" -v size="${width}x${height}+0+0" \
        '$2 == title && index($0, "(\"duskpane\"") && index($0, size) { print $1; exit }'
}

pixel() {  # pixel X Y: "R G B" of the screen now
    xwd -root -silent | convert xwd:- -crop 1x1+"$1"+"$2" -depth 8 txt:- |
        sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | head -n1
}

pointer_window() {  # pointer_window X Y: the window that gets a click there
    xdotool mousemove "$1" "$2"
    sleep 0.1
    eval "$(xdotool getmouselocation --shell)"
    printf '0x%x\n' "$WINDOW"
}

start_program() {
    "$program" >"$work/program.log" 2>&1 &
    app=$!
    main=""
    sub=""
    for _ in $(seq 150); do
        main=$(window_of Duskpane)
        sub=$(window_of SubForm)
        [ -n "$main" ] && [ -n "$sub" ] && break
        sleep 0.05
    done
    [ -n "$main" ] && [ -n "$sub" ] || { echo "FAILED: the program's windows did not appear"; exit 1; }
    sleep 0.8  # the compositor shows the first frames
}

ended_with() {  # ended_with CODE: the program ended within 5 s with that exit code
    for _ in $(seq 100); do
        kill -0 "$app" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$app" 2>/dev/null; then
        kill -9 "$app"
        return 1
    fi
    wait "$app"
    [ $? -eq "$1" ]
}

# ---- first run: the screen, the menu, Escape
start_program

read -r r g b <<<"$(pixel $((width / 2)) $((height / 3)))"
check "white under the dimming layer at alpha 200 reads 55 (got $r $g $b)" \
    test "$r $g $b" = "55 55 55"

xwd -root -silent | convert xwd:- -crop 166x64+8+8 +repage "$work/clock.png"
bright=$(convert "$work/clock.png" -colorspace gray -threshold 99% -format '%[fx:int(mean*w*h+0.5)]' info:)
check "the clock's digits show at full brightness ($bright white pixels)" test "$bright" -gt 300
lit=$(convert "$work/clock.png" -colorspace gray -threshold 99% txt:- | grep -m1 -E '#FFFFFF|gray\(255\)' |
    sed 's/^\([0-9]*\),\([0-9]*\):.*/\1 \2/')
read -r lit_x lit_y <<<"$lit"
check "a click on a digit goes to the main window" test "$(pointer_window $((lit_x + 8)) $((lit_y + 8)))" = "$main"
check "a click on black goes through to the dimming window" test "$(pointer_window 700 300)" = "$sub"

# A right click on black opens the menu: four items, three lines between.
xdotool mousemove 700 300 click 3
sleep 0.6
menu=$(xwininfo -root -tree | awk '/\("duskpane"/ && $0 ~ /\+700\+300 / { print $1; exit }')
check "the right click opened the menu" test -n "$menu"
if [ -n "$menu" ]; then
    xwd -id "$menu" -silent | convert xwd:- "$work/menu.png"
    # Rows with dark text, grouped: one group per item.
    items=$(convert "$work/menu.png" -colorspace gray -depth 8 txt:- |
        awk -F'[,:() ]+' 'NR > 1 && $3 + 0 < 110 { dark[$2] = 1 }
            END { n = 0; for (y = 0; y < 2000; ++y) { if ((y in dark) && !((y - 1) in dark)) ++n } print n }')
    check "the menu shows exactly four items (found $items)" test "$items" -eq 4
fi
xdotool key Escape  # closes the menu
sleep 0.3

# A left click on the dimming layer and Escape end the program.
xdotool mousemove 700 300 click 1
sleep 0.2
xdotool key Escape
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
xdotool mousemove 700 300 click 1
sleep 0.2
xdotool key Escape
check "Escape still ends the program with exit code 0" ended_with 0
[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
