#!/bin/bash
# The settings file made read-only under the running program: its close
# shows the key error and goes on, the file keeps every value it had, and a
# close after the file is writable again saves normally.
# Usage: read_only_store.sh path/to/duskpane BUILD_DIR   (exit 77: tools missing)
set -u
program=${1:?usage: read_only_store.sh path/to/duskpane BUILD_DIR}
# shellcheck source=desktop_session.bash
source "$(dirname "$0")/desktop_session.bash"
session_begin Xvfb picom xwud xwininfo import convert xdotool sqlite3 sha256sum

start_display
# A file the program's user may read but not write: root writes anywhere, so
# then the program runs as nobody.
if [ "$(id -u)" -eq 0 ]; then
    require_tools setpriv
    launcher="setpriv --reuid=65534 --regid=65534 --clear-groups"
    chmod 755 "$work"
    # The checkout may lie in a folder only root may enter (a mode-700 home):
    # the program and its sanitizer's suppressions go where nobody can read.
    cp "$program" "$work/duskpane"
    program="$work/duskpane"
    cp "$(dirname "$0")/lsan.supp" "$work/lsan.supp"
    export LSAN_OPTIONS="suppressions=$work/lsan.supp:print_suppressions=0"
    chown 65534:65534 "$XDG_RUNTIME_DIR"
fi
seed_settings "INSERT INTO value VALUES
    ('MAIN', 'TRANSPARENCY', 150), ('WALLPAPER', 'TRANSPARENCY', '1'),
    ('WALLPAPER', 'ALPHA_VALUE', '77'), ('WALLPAPER', 'WP_FILE', ''),
    ('WALLPAPER', 'WP_DISP_MODE', '0'), ('WALLPAPER', 'WP_FOLDER', ''),
    ('WALLPAPER', 'WP_CHG_TIME', 42)"
folder=$(dirname "$database")
chmod 755 "$XDG_CONFIG_HOME" "$XDG_CONFIG_HOME/Kirameda"
chmod 555 "$folder"
chmod 444 "$database"
before=$(sha256sum <"$database")

start_program
read -r r g b <<<"$(pixel_becomes $((width / 2)) $((height / 3)) "105 105 105")"
check "the stored dimming 150 is read from the read-only file (white reads $r $g $b)" \
    test "$r $g $b" = "105 105 105"

quit_program
sleep 1.5
check "a close that cannot save leaves the program running" alive
check "a message box (the key error) is shown" test -n "$(other_windows)"
check "the read-only file keeps every value it had" test "$(sha256sum <"$database")" = "$before"
check "no file beside it was left behind" test "$(ls -A "$folder")" = "settings.sqlite3"

# The message box is closed, the file becomes writable, and the next close saves.
xdotool key Return
sleep 0.5
check "the message box is gone" test -z "$(other_windows)"
chmod 777 "$folder"
chmod 666 "$database"
quit_program
check "with the file writable again the close ends the program with exit code 0" ended_with 0
check "the save wrote the setting the file lacked" test "$(setting WAVE_SPECTRUM WAVE_SPECTRUM)" = 1
check "the dimming, the blend and the slideshow period are kept as they were stored" \
    test "$(setting MAIN TRANSPARENCY) $(setting WALLPAPER ALPHA_VALUE) $(setting WALLPAPER WP_CHG_TIME)" = "150 77 42"
session_end
