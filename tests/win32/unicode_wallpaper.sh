#!/bin/bash
# duskpane.exe under Wine with wallpaper paths in Japanese with emoji: the
# fixed picture and the slideshow folder are shown, pictures deleted under
# the running slideshow are skipped silently, and the paths come back from
# the registry unchanged.
# Usage: unicode_wallpaper.sh path/to/duskpane.exe   (exit 77: tools missing, skipped)
set -u

program=${1:?usage: unicode_wallpaper.sh path/to/duskpane.exe}
# shellcheck source=wine_session.bash
source "$(dirname "$0")/wine_session.bash"
session_begin Xvfb picom xdotool xwud xwininfo import convert
key='HKCU\Software\Kirameda\Duskpane'

reg() { LC_ALL=C.UTF-8 timeout 60 "$wine" reg "$@" 2>/dev/null | tr -d '\r'; }
set_text() { reg add "$key\\WALLPAPER" /v "$1" /t REG_SZ /d "$2" /f >/dev/null; }
stored_text() {  # stored_text NAME: the text value as exported (reg query's output loses characters)
    rm -f "$WINEPREFIX/drive_c/export.reg"
    LC_ALL=C.UTF-8 timeout 60 "$wine" reg export "$key\\WALLPAPER" 'C:\export.reg' /y >/dev/null 2>&1
    iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/export.reg" | tr -d '\r' |
        sed -n "s/^\"$1\"=\"\(.*\)\"\$/\1/p" | sed 's/\\\\/\\/g'
}

x_display_start desktop
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
finish_run "fixed picture"
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
check "with every picture deleted the slideshow runs on" alive
finish_run "slideshow folder"
check "the folder name comes back from the registry unchanged" \
    test "$(stored_text WP_FOLDER)" = 'C:\壁紙 🌙 夜空\写真 🎑'

# Started on the emptied folder, the program says there is no picture in it.
launch
box=$(wait_output 15 other_windows)
check "started on the emptied folder the program shows its message box" test -n "$box"
# (The end of the session stops it with its box.)

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
