#!/bin/bash
# The wallpaper against an unfriendly file system: pictures deleted or
# spoilt under a running slideshow are skipped silently, a folder of 100000
# entries is scanned and shown, paths in Japanese with emoji work both as the
# fixed picture and as the slideshow folder, a picture three times the
# screen shows its middle in place, and a picture cut short shows nothing.
# Usage: slideshow_faults.sh path/to/duskpane BUILD_DIR   (exit 77: tools missing)
set -u
program=${1:?usage: slideshow_faults.sh path/to/duskpane BUILD_DIR}
# shellcheck source=desktop_session.bash
source "$(dirname "$0")/desktop_session.bash"
session_begin Xvfb picom xwud xwininfo import convert xdotool sqlite3

start_display

# Shown without blending, so the centre of the screen takes the picture's
# colour under the dimming layer: a pure colour over white at alpha 200.
use_settings() {  # use_settings MODE FILE FOLDER
    rm -f "$database"
    seed_settings "INSERT INTO value VALUES
        ('MAIN', 'TRANSPARENCY', 200), ('WALLPAPER', 'TRANSPARENCY', '0'),
        ('WALLPAPER', 'ALPHA_VALUE', 128), ('WALLPAPER', 'WP_DISP_MODE', '$1'),
        ('WALLPAPER', 'WP_FILE', '$2'), ('WALLPAPER', 'WP_FOLDER', '$3'),
        ('WALLPAPER', 'WP_CHG_TIME', 1), ('WAVE_SPECTRUM', 'WAVE_SPECTRUM', '0')"
}
centre() { pixel $((width / 2)) $((height / 2)); }
# The colours shown at the centre over about SECONDS seconds, one per line.
colours_over() {
    local _
    for _ in $(seq $(($1 * 4))); do
        centre
        sleep 0.25
    done | sort -u
}

# ---- pictures deleted and spoilt under a running slideshow
slides="$work/slides"
mkdir -p "$slides"
colours=(red lime blue yellow magenta cyan orange purple)
for i in "${!colours[@]}"; do
    convert -size 400x300 "xc:${colours[i]}" "$slides/slide$i.jpg"
    convert -size 400x300 "xc:${colours[i]}" "BMP3:$slides/slide$i.bmp"
done
use_settings 1 "" "$slides"
start_program
check "the slideshow changes pictures every second" test "$(colours_over 4 | wc -l)" -ge 2
# Spoilt in place: cut short, emptied, replaced by text, or by a folder.
head -c 300 "$slides/slide0.jpg" >"$work/cut" && mv "$work/cut" "$slides/slide0.jpg"
: >"$slides/slide1.jpg"
echo "not a picture" >"$slides/slide2.bmp"
rm "$slides/slide3.jpg" && mkdir "$slides/slide3.jpg"
# Then deleted one after another while the slideshow runs on.
for f in "$slides"/*; do
    rm -rf "$f"
    sleep 0.3
done
sleep 2
check "with every picture deleted the program runs on" alive
finish_run "deleted pictures"

# ---- a picture larger than the screen, whole and cut short
# Blue, with a red middle of exactly the screen's size: centred, the red
# fills the screen to its corners and no blue shows.
large="$work/large.jpg"
convert -size $((width * 3))x$((height * 3)) xc:blue -fill red \
    -draw "rectangle $width,$height $((2 * width - 1)),$((2 * height - 1))" "$large"
red_corners() {
    red_at 2 2 && red_at $((width - 3)) 2 && red_at 2 $((height - 3)) && red_at $((width - 3)) $((height - 3))
}
use_settings 0 "$large" ""
start_program
check "a picture three times the screen shows its middle at the centre" shows_red
check "a picture three times the screen shows its middle to the corners" red_corners
finish_run "large picture"
# Cut short, a JPEG and a BMP show nothing at all (no grey rest, no rows):
# the dimmed white of the desktop at the centre.
convert "$large" -resize 50% "BMP3:$work/large.bmp"
head -c $(($(stat -c %s "$large") / 2)) "$large" >"$work/cut.jpg"
head -c $(($(stat -c %s "$work/large.bmp") * 3 / 4)) "$work/large.bmp" >"$work/cut.bmp"
nothing_shown() {
    local r g b
    read -r r g b <<<"$(centre)"
    [ "$r" -le 70 ] && [ "$g" -le 70 ] && [ "$b" -le 70 ]
}
for cut in "$work/cut.jpg" "$work/cut.bmp"; do
    use_settings 0 "$cut" ""
    start_program
    check "a fixed picture cut short (${cut##*.}) shows nothing" nothing_shown
    finish_run "cut picture (${cut##*.})"
done

# ---- a folder of 100000 entries with a few pictures among them
big="$work/big"
mkdir -p "$big"
(cd "$big" && seq -f 'note-%06g.txt' 1 99995 | xargs touch)
for i in 1 2 3 4 5; do convert -size 400x300 xc:red "$big/picture-$i.jpg"; done
check "the folder holds 100000 entries" test "$(find "$big" -mindepth 1 -maxdepth 1 | wc -l)" -eq 100000
use_settings 1 "" "$big"
start_program
check "a picture of the big folder is shown" shows_red
sleep 2
check "the slideshow over the big folder keeps running" alive
finish_run "big folder"

# ---- Japanese and emoji in folder and file names
named="$work/壁紙 🌙 夜空"
mkdir -p "$named/写真 🎑"
convert -size 400x300 xc:red "$named/夜景 ✨.jpg"
convert -size 400x300 xc:red "BMP3:$named/写真 🎑/桜 🌸.BMP"
convert -size 400x300 xc:red "$named/写真 🎑/富士山.JPEG"
use_settings 0 "$named/夜景 ✨.jpg" ""
start_program
check "a fixed picture named in Japanese with emoji is shown" shows_red
finish_run "fixed picture"
use_settings 1 "" "$named/写真 🎑"
start_program
check "a slideshow folder named in Japanese with emoji is shown" shows_red
sleep 2
check "its pictures keep being shown" shows_red
finish_run "slideshow folder"
check "the folder name comes back from the store unchanged" \
    test "$(setting WALLPAPER WP_FOLDER)" = "$named/写真 🎑"

session_end
