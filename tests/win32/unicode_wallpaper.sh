#!/bin/bash
# duskpane.exe under Wine with wallpaper paths in Japanese with emoji: the
# fixed picture and the slideshow folder are shown, pictures deleted under
# the running slideshow are skipped silently, and the paths come back from
# the registry unchanged.
# Usage: unicode_wallpaper.sh path/to/duskpane.exe   (exit 77: tools missing, skipped)
set -u

program=${1:?usage: unicode_wallpaper.sh path/to/duskpane.exe}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
# shellcheck source=wine_session.bash
source "$here/wine_session.bash"
trap session_cleanup EXIT

require_tools Xvfb picom xdotool xwud xwininfo xwd convert
key='HKCU\Software\Kirameda\Duskpane'

reg() { LC_ALL=C.UTF-8 timeout 60 "$wine" reg "$@" 2>/dev/null | tr -d '\r'; }
set_text() { reg add "$key\\WALLPAPER" /v "$1" /t REG_SZ /d "$2" /f >/dev/null; }
stored_text() {  # stored_text NAME: the text value as exported (reg query's output loses characters)
    rm -f "$WINEPREFIX/drive_c/export.reg"
    LC_ALL=C.UTF-8 timeout 60 "$wine" reg export "$key\\WALLPAPER" 'C:\export.reg' /y >/dev/null 2>&1
    iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/export.reg" | tr -d '\r' |
        sed -n "s/^\"$1\"=\"\(.*\)\"\$/\1/p" | sed 's/\\\\/\\/g'
}

main_window() {
    xwininfo -root -tree | awk -v size="${width}x${height}+0+0" \
        '/\(has no name\)/ && index($0, "(\"duskpane.exe\"") && index($0, size) { print $1; exit }'
}

start_program() {
    "$wine" "$program" >"$work/program.log" 2>&1 &
    app=$!
    local _
    for _ in $(seq 150); do
        main=$(main_window)
        [ -n "$main" ] && break
        sleep 0.1
    done
    [ -n "$main" ] || { echo "FAILED: the program's windows did not appear"; exit 1; }
    sleep 1.5  # the compositor shows the first frames
}

stop_program() {  # stop_program WHAT: Escape ends it with exit code 0
    xdotool windowfocus --sync "$main"
    xdotool key Escape
    local _
    for _ in $(seq 100); do
        kill -0 "$app" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$app" 2>/dev/null; then
        kill -9 "$app"
        app=""
        check "$1: Escape ends the program" false
        return
    fi
    wait "$app"
    local code=$?
    app=""
    check "$1: Escape ends the program with exit code 0" test "$code" -eq 0
}

# A pure red picture shown without blending: red at the centre of the screen.
shows_red() {
    local r g b
    read -r r g b <<<"$(pixel $((width / 2)) $((height / 2)))"
    [ "$r" -ge 240 ] && [ "$g" -le 70 ] && [ "$b" -le 70 ]
}
# The shown windows of the program other than its screen layers and the
# 1 x 1 window that carries the taskbar button: message boxes.
message_boxes() {
    local id
    for id in $(xwininfo -root -tree | awk 'index($0, "(\"duskpane.exe\"") { print $1 }'); do
        xwininfo -id "$id" | grep -q 'Map State: IsViewable' || continue
        xwininfo -id "$id" | grep -q -E "Width: ($width|1)\$" || echo "$id"
    done
}
no_message_box() { [ -z "$(message_boxes)" ]; }

start_display desktop
make_prefix

folder="$WINEPREFIX/drive_c/壁紙 🌙 夜空"
mkdir -p "$folder/写真 🎑"
convert -size 400x300 xc:red "$folder/夜景 ✨.jpg"
convert -size 400x300 xc:red "BMP3:$folder/写真 🎑/桜 🌸.BMP"
convert -size 400x300 xc:red "$folder/写真 🎑/富士山.JPEG"
for i in 1 2 3 4 5 6; do convert -size 400x300 xc:red "$folder/写真 🎑/slide $i 🎏.jpg"; done

reg add "$key\\WALLPAPER" /v TRANSPARENCY /t REG_SZ /d 0 /f >/dev/null
reg add "$key\\WALLPAPER" /v WP_CHG_TIME /t REG_DWORD /d 1 /f >/dev/null
set_text WP_FILE 'C:\壁紙 🌙 夜空\夜景 ✨.jpg'
set_text WP_DISP_MODE 0
start_program
shot unicode_file
check "a fixed picture named in Japanese with emoji is shown" shows_red
stop_program "fixed picture"
check "the file name comes back from the registry unchanged" \
    test "$(stored_text WP_FILE)" = 'C:\壁紙 🌙 夜空\夜景 ✨.jpg'

set_text WP_FOLDER 'C:\壁紙 🌙 夜空\写真 🎑'
set_text WP_DISP_MODE 1
start_program
check "a slideshow folder named in Japanese with emoji is shown" shows_red
for f in "$folder/写真 🎑"/*; do
    rm -f "$f"
    sleep 0.4
done
sleep 2
check "with every picture deleted the slideshow runs on" kill -0 "$app"
check "no message box came up" no_message_box
stop_program "slideshow folder"
check "the folder name comes back from the registry unchanged" \
    test "$(stored_text WP_FOLDER)" = 'C:\壁紙 🌙 夜空\写真 🎑'

# Started on the emptied folder, the program says there is no picture in it.
start_program
box=$(message_boxes)
check "started on the emptied folder the program shows its message box" test -n "$box"
# (The end of the session stops it with its box.)

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
