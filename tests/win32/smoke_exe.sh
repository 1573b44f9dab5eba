#!/bin/bash
# duskpane.exe end to end under Wine, on a private X display with a white
# desktop and a compositing manager (no window manager), in a private Wine
# prefix: both screen layers, the dimming, the clock at full brightness, the
# menu, the transparency dialog dimming live, the wallpaper dialog with its
# open-picture dialog previewing the selected file, the About box, Escape ending with exit code 0, the eight settings in the
# registry with their kinds, and a stored dimming coming back.
# Usage: smoke_exe.sh path/to/duskpane.exe   (exit 77: tools missing, skipped)
# With DUSKPANE_SHOTS=<folder> the screens are kept there as PNG files.
set -u

program=${1:?usage: smoke_exe.sh path/to/duskpane.exe}
# shellcheck source=wine_session.bash
source "$(dirname "$0")/wine_session.bash"
session_begin Xvfb picom xdotool xwud xwininfo xwd import convert
key='HKCU\Software\Kirameda\Duskpane'

click_client() {  # click_client WINDOW X Y W H: a click at X Y of a dialog's W x H client area
    local x y w h
    read -r x y w h <<<"$(window_box "$1")"
    # The frame is as wide on every side; the caption adds to the top.
    local border=$(((w - $4) / 2))
    xdotool mousemove $((x + border + $2)) $((y + h - border - $5 + $3)) click 1
}

x_display_start desktop
make_prefix
# The open-picture dialog opens on the current folder, which holds pictures.
mkdir "$work/pictures"
convert -size 400x300 xc:'#ff0000' "BMP3:$work/pictures/1-red.bmp"
convert -size 300x600 xc:'#0000ff' -quality 95 "$work/pictures/2-blue.jpg"
printf 'not a picture' >"$work/pictures/3-broken.jpg"
cd "$work/pictures" || exit 1

# Pixels of a colour (within 10 %) in the right 190 pixels of a window, where
# the open-picture dialog shows its preview.
preview_pixels() {  # preview_pixels WINDOW COLOUR
    local x y w h
    read -r x y w h <<<"$(window_box "$1")"
    colour_pixels "$2" 190x$((h - 70))+$((x + w - 200))+$((y + 40)) 10
}

# ---- first run: nothing stored yet
start_program
shot main
read -r r g b <<<"$(pixel $((width / 2)) $((height / 3)))"
check "white under the dimming window at alpha 200 reads 55 (got $r $g $b)" test "$r $g $b" = "55 55 55"
bright=$(clock_pixels)
check "the clock's digits show at full brightness ($bright white pixels)" test "$bright" -gt 300

# A right click on black opens the menu: four items, three lines between.
xdotool mousemove 700 300 click 3
sleep 0.6
menu=$(menu_at 700 300)
check "the right click opened the menu" test -n "$menu"
if [ -n "$menu" ]; then
    shot menu
    items=$(menu_items "$menu")
    check "the menu shows four items (found $items)" test "$items" -eq 4
    xdotool key Escape
    check "Escape closes the menu" gone "$menu"
fi

# The transparency dialog dims live; Cancel puts the dimming back.
dialog=$(open_from_menu t 透明度の設定)
check "the transparency item opens its dialog" test -n "$dialog"
if [ -n "$dialog" ]; then
    shot transparency
    xdotool windowfocus --sync "$dialog"
    xdotool key End
    sleep 0.5
    read -r r g b <<<"$(pixel $((width / 2)) $((height / 3)))"
    check "the track bar at 255 makes the screen black at once (got $r $g $b)" test "$r $g $b" = "0 0 0"
    xdotool key Home
    sleep 0.5
    read -r r g b <<<"$(pixel $((width / 2)) $((height / 3)))"
    check "at 0 the desktop shows undimmed (got $r $g $b)" test "$r $g $b" = "255 255 255"
    click_client "$dialog" 165 118 217 139  # the Cancel button
    check "Cancel closes the dialog" gone "$dialog"
    sleep 0.5
    read -r r g b <<<"$(pixel $((width / 2)) $((height / 3)))"
    check "Cancel restores the dimming (got $r $g $b)" test "$r $g $b" = "55 55 55"
fi

dialog=$(open_from_menu w 壁紙の設定)
check "the wallpaper item opens its dialog" test -n "$dialog"
if [ -n "$dialog" ]; then
    shot wallpaper
    # Its 画像を開く button: a click on the first file and the arrow key
    # preview each picture beside the list; a damaged file shows nothing.
    click_client "$dialog" 412 248 491 386
    files=$(wait_output 10 window_of Open || wait_output 10 window_of 開く)
    check "the picture button opens the open-picture dialog" test -n "$files"
    if [ -n "$files" ]; then
        read -r x y _ _ <<<"$(window_box "$files")"
        xdotool mousemove $((x + 150)) $((y + 63)) click 1
        sleep 1
        shot picture-dialog-red
        red=$(preview_pixels "$files" '#ff0000')
        check "the first file, a red BMP, shows red beside the list ($red pixels)" test "$red" -gt 10000
        xdotool key Down
        sleep 1
        shot picture-dialog-blue
        red=$(preview_pixels "$files" '#ff0000')
        blue=$(preview_pixels "$files" '#0000ff')
        check "the next file, a blue JPEG, replaces it ($blue blue, $red red pixels)" \
            test "$blue" -gt 5000 -a "$red" -eq 0
        xdotool key Down
        sleep 1
        blue=$(preview_pixels "$files" '#0000ff')
        check "a damaged file leaves the pane empty ($blue blue pixels)" test "$blue" -eq 0
        xdotool key Escape
        check "Escape closes the open-picture dialog" gone "$files"
    fi
    xdotool windowfocus --sync "$dialog"
    xdotool key Escape
    check "Escape closes the wallpaper dialog" gone "$dialog"
fi

dialog=$(open_from_menu m バージョン情報)
check "the About item opens the About box" test -n "$dialog"
if [ -n "$dialog" ]; then
    shot about
    xdotool windowfocus --sync "$dialog"
    xdotool key Return
    check "Enter closes the About box" gone "$dialog"
fi

bright=$(clock_pixels)
check "after the dialogs the clock is still above the dimming ($bright white pixels)" test "$bright" -gt 300

quit_program
check "Escape ends the program with exit code 0" ended_with 0

# ---- the settings as the registry holds them
kind_of() {  # kind_of SECTION NAME: the value's registry kind
    timeout 60 "$wine" reg query "$key\\$1" /v "$2" 2>/dev/null | tr -d '\r' |
        awk -v name="$2" '$1 == name { print $2 }'
}
kinds=""
for value in MAIN/TRANSPARENCY WALLPAPER/ALPHA_VALUE WALLPAPER/TRANSPARENCY WALLPAPER/WP_CHG_TIME \
    WALLPAPER/WP_DISP_MODE WALLPAPER/WP_FILE WALLPAPER/WP_FOLDER WAVE_SPECTRUM/WAVE_SPECTRUM; do
    kinds+="$value=$(kind_of "${value%/*}" "${value#*/}") "
done
expected="MAIN/TRANSPARENCY=REG_DWORD WALLPAPER/ALPHA_VALUE=REG_DWORD WALLPAPER/TRANSPARENCY=REG_SZ \
WALLPAPER/WP_CHG_TIME=REG_DWORD WALLPAPER/WP_DISP_MODE=REG_SZ WALLPAPER/WP_FILE=REG_SZ \
WALLPAPER/WP_FOLDER=REG_SZ WAVE_SPECTRUM/WAVE_SPECTRUM=REG_SZ "
check "the eight settings are stored with their kinds ($kinds)" test "$kinds" = "$expected"
stored=$(timeout 60 "$wine" reg query "$key\\MAIN" /v TRANSPARENCY | tr -d '\r' | awk '$1 == "TRANSPARENCY" { print $3 }')
check "the dimming is stored as 200 (got $stored)" test "$stored" = 0xc8

# ---- second run: a stored 300 is taken modulo 256, alpha 44
timeout 60 "$wine" reg add "$key\\MAIN" /v TRANSPARENCY /t REG_DWORD /d 300 /f >/dev/null 2>&1
start_program
read -r r g b <<<"$(pixel $((width / 2)) $((height / 3)))"
check "the stored 300 dims white at alpha 44 to 211 (got $r $g $b)" test "$r $g $b" = "211 211 211"
quit_program
check "Escape ends the second run with exit code 0" ended_with 0
stored=$(timeout 60 "$wine" reg query "$key\\MAIN" /v TRANSPARENCY | tr -d '\r' | awk '$1 == "TRANSPARENCY" { print $3 }')
check "the close saved the dimming in force, 44 (got $stored)" test "$stored" = 0x2c

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
