#!/bin/bash
# The open-picture dialog of the desktop program under Xvfb: the wallpaper
# dialog's "画像を開く" button opens it on the pictures folder; a click on the
# first file and the arrow key preview each picture beside the list, and a
# damaged file leaves the pane empty.
# Usage: picture_dialog.sh path/to/duskpane   (exit 77: tools missing, skipped)
# With DUSKPANE_SHOTS=<folder> the screens are kept there as PNG files.
set -u

program=${1:?usage: picture_dialog.sh path/to/duskpane}
# shellcheck source=../robustness/desktop_session.bash
source "$(dirname "$0")/../robustness/desktop_session.bash"
session_begin Xvfb picom xdotool xwininfo xwd convert

start_display
pictures="$work/写真"
mkdir -p "$pictures" "$XDG_CONFIG_HOME"
echo "XDG_PICTURES_DIR=\"$pictures\"" >"$XDG_CONFIG_HOME/user-dirs.dirs"
convert -size 400x300 xc:'#ff0000' "BMP3:$pictures/1-red.bmp"
convert -size 300x600 xc:'#0000ff' -quality 95 "$pictures/2-blue.jpg"
printf 'not a picture' >"$pictures/3-broken.jpg"

# Pixels of a colour (within 10 %) in the preview pane: the right 250 pixels
# of the dialog between its path row and its name rows.
pane_pixels() { colour_pixels "$1" 250x$((dh - 110))+$((dx + dw - 260))+$((dy + 40)) 10; }

start_program
wallpaper=$(open_from_menu w 壁紙の設定)
check "the menu opens the wallpaper dialog" test -n "$wallpaper"
[ -n "$wallpaper" ] || exit 1
read -r x y _ _ <<<"$(window_box "$wallpaper")"
xdotool mousemove $((x + 412)) $((y + 248)) click 1  # the 画像を開く button
files=$(wait_output 10 window_of 開く)
check "the button opens the open-picture dialog" test -n "$files"
[ -n "$files" ] || exit 1
read -r dx dy dw dh <<<"$(window_box "$files")"
sleep 0.5  # the folder is read

xdotool mousemove $((dx + 150)) $((dy + 70)) click 1  # the first file
sleep 0.8
shot picture-dialog-red
red=$(pane_pixels '#ff0000')
check "the first file, a red BMP, shows red beside the list ($red pixels)" test "$red" -gt 10000
xdotool key Down
sleep 0.8
shot picture-dialog-blue
red=$(pane_pixels '#ff0000')
blue=$(pane_pixels '#0000ff')
check "the next file, a blue JPEG, replaces it ($blue blue, $red red pixels)" \
    test "$blue" -gt 5000 -a "$red" -eq 0
xdotool key Down
sleep 0.8
blue=$(pane_pixels '#0000ff')
check "a damaged file leaves the pane empty ($blue blue pixels)" test "$blue" -eq 0

xdotool key Escape
check "Escape closes the open-picture dialog" gone "$files"
xdotool windowfocus --sync "$wallpaper" key Escape
check "and Escape the wallpaper dialog" gone "$wallpaper"
quit_program
check "the program ends with exit code 0" ended_with 0
[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
