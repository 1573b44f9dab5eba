#!/bin/bash
# The endings the system asks for, on the real program: SIGTERM with the
# transparency dialog open and its slider moved keeps the value from before
# the dialog; SIGTERM when the settings cannot be saved still ends the
# program within five seconds, with exit code 1 and the reason on standard
# error; a burst of signals ends it with the close's own exit code.
# Usage: signal_endings.sh path/to/duskpane BUILD_DIR   (exit 77: tools missing)
set -u
program=${1:?usage: signal_endings.sh path/to/duskpane BUILD_DIR}
# shellcheck source=desktop_session.bash
source "$(dirname "$0")/desktop_session.bash"
session_begin Xvfb picom xwud xwininfo import convert xdotool sqlite3

start_display

# ---- the transparency dialog open, its slider dragged to 0, then SIGTERM
seed_settings "INSERT INTO value VALUES ('MAIN', 'TRANSPARENCY', 150)"
start_program
dialog=$(open_from_menu t 透明度の設定)
check "the transparency dialog opened" test -n "$dialog"
[ -n "$dialog" ] && xdotool windowfocus "$dialog" 2>/dev/null
xdotool key Home
sleep 0.5
read -r r g b <<<"$(pixel $((width / 2)) $((height / 3)))"
check "the dragged slider clears the dimming at once (white reads $r $g $b)" test "$r $g $b" = "255 255 255"
kill -TERM "$app"
check "SIGTERM with the dialog open ends the program with exit code 0" ended_with 0
check "the value from before the dialog is saved, not the dragged one" \
    test "$(setting MAIN TRANSPARENCY)" = 150

# ---- settings that cannot be saved: their file is a folder
rm -f "$database"
mkdir "$database"
start_program
kill -TERM "$app"
check "SIGTERM ends a program that cannot save with exit code 1" ended_with 1
check "within five seconds ($waited_ms ms)" test "$waited_ms" -lt 5000
check "the reason is on standard error" grep -q "ending without saving the settings" "$work/program.log"
rmdir "$database"

# ---- a burst of signals, twice: the close's exit code every time
for run in 1 2; do
    start_program
    for _ in $(seq 300); do
        kill -TERM "$app" 2>/dev/null || break
        sleep 0.002
    done
    check "a burst of SIGTERM ends the program with exit code 0 (run $run)" ended_with 0
done
check "the burst's close saved the settings" test "$(sqlite3 "$database" "SELECT count(*) FROM value")" = 8
session_end
