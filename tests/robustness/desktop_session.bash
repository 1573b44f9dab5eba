# The desktop program's tests and benchmarks share this (sourced, not a test
# itself): a private X display with a white desktop and the compositing
# manager, a private settings folder, optionally a private sound server
# playing a tone, and the program started and watched. Everything is removed
# again at the end. The X display's own helpers are in ../x_session.bash.
#   session_begin TOOL...       the work folder, removed at the end; exit 77
#                               (skipped) when a TOOL is missing
#   start_display [KIND]        Xvfb, the white desktop and picom, or one of
#                               the desktops of ../desktops/desktops.bash
#   start_sound_server          PulseAudio with a null sink; its monitor is the
#                               default source (stop_sound_server ends it)
#   play_tone / stop_tone       a 1 kHz tone into the null sink for
#                               $tone_seconds (120 unless set) / its end
#   seed_settings SQL           creates the settings file with the program's
#                               tables and runs SQL on it
#   setting SECTION NAME        a stored value
#   launch                      starts $program (behind $launcher when set)
#   start_program               launches it and waits for its two windows
#                               ($main, $sub)
#   program_shows               the same, but returns 1 where start_program
#                               ends the script
#   quit_program                a click on the dimming layer and Escape
#   alive / ended               the program still runs / no longer does
#   ended_with CODE             it ends within 10 s (else it is killed) with
#                               exit code CODE; its exit code in exit_code
#                               (empty when it was killed)
#   finish_run WHAT             no message box is shown; Escape ends the
#                               program with exit code 0
#   other_windows               its windows besides its screen layers
#   open_from_menu LETTER TITLE the dialog a menu item opens, once shown
#   menu_at X Y                 the menu opened there
#   menu_items MENU             the items it shows
#   clock_pixels [FILE]         white pixels of the clock on the screen now
#                               (or in a screen shot)
#   clock_digit FILE            "X Y" of a white pixel of the clock in a
#                               screen shot (less 8, the clock's corner)
#   pixel_becomes X Y "R G B"   the screen's pixel once it reads that (up to 3 s)
#   red_at X Y / shows_red      the screen shows pure red there / at its centre
#                               (a red picture shown without blending)
#   capturing / bars_lit        the program records / the tone lights its bars
#   bar_pixels                  pixels of the spectrum bars now
#   check_sound_server_restart SIGNAL
#                               the server stopped and started again: capture
#                               is back within 2.5 s
#   session_end                 no sanitizer report; the verdict and the exit
# The caller sets `program` first.

# shellcheck source=../x_session.bash
source "$(dirname "${BASH_SOURCE[0]}")/../x_session.bash"

# A sanitized program reports its own leaks only (see lsan.supp).
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(dirname "${BASH_SOURCE[0]}")/lsan.supp:print_suppressions=0}

width=${width:-1280}
height=${height:-800}
pids=()
failures=0
app=
servers=()
player=
main_title=Duskpane
first_frames=0.8  # the compositor shows the program's first frames

session_begin() {
    work=$(mktemp -d)
    trap session_cleanup EXIT
    require_tools "$@"
}

session_cleanup() {
    program_cleanup
    stop_tone
    stop_sound_server
    stop_started
    chmod -R u+rwX "$work" 2>/dev/null
    rm -rf "$work"
}

program_cleanup() { [ -z "$app" ] || kill -9 "$app" 2>/dev/null; }

start_display() {  # start_display [KIND]: the bare desktop, or a KIND of desktops.bash
    export XDG_CONFIG_HOME="$work/config"
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    # No sound server until start_sound_server: the program runs without one.
    export PULSE_SERVER="unix:$work/pulse-socket"
    unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_SESSION_TYPE DBUS_SESSION_BUS_ADDRESS
    database="$XDG_CONFIG_HOME/Kirameda/Duskpane/settings.sqlite3"
    if [ -n "${1:-}" ]; then desktop_start "$1"; else x_display_start desktop; fi
}

start_sound_server() {  # PulseAudio, or PipeWire when sound_server=pipewire
    if [ "${sound_server:-pulseaudio}" = pipewire ]; then
        pipewire_server_start "$work/pulse-socket"
        servers=("${pipewire_pids[@]}")
    else
        pulse_server_start "$work/pulse-socket"
        servers=("$pulse_pid")
    fi
}

stop_sound_server() {  # stop_sound_server [SIGNAL]
    local id
    for id in "${servers[@]}"; do kill -"${1:-TERM}" "$id" 2>/dev/null; done
    for id in "${servers[@]}"; do wait "$id" 2>/dev/null; done
    servers=()
}

play_tone() {
    [ -f "$work/tone.wav" ] ||
        sox -n -r 44100 -c 1 -b 16 "$work/tone.wav" synth "${tone_seconds:-120}" sine 1000 vol 0.5
    if [ "${sound_server:-pulseaudio}" = pipewire ]; then
        pw-play --target tone_sink "$work/tone.wav" >/dev/null 2>&1 &
    else
        paplay -d tone_sink "$work/tone.wav" >/dev/null 2>&1 &
    fi
    player=$!
}

stop_tone() {
    [ -n "$player" ] || return 0
    kill "$player" 2>/dev/null
    wait "$player" 2>/dev/null
    player=
}

# The program's record streams on the sound server now.
record_streams() {
    pactl list short source-outputs 2>/dev/null | wc -l
}

seed_settings() {
    mkdir -p "$(dirname "$database")"
    sqlite3 "$database" "CREATE TABLE IF NOT EXISTS section(name TEXT PRIMARY KEY);
        CREATE TABLE IF NOT EXISTS value(section TEXT NOT NULL, name TEXT NOT NULL, data,
            PRIMARY KEY(section, name));
        INSERT OR IGNORE INTO section VALUES('MAIN'), ('WALLPAPER'), ('WAVE_SPECTRUM');
        $1"
}

setting() {
    sqlite3 "$database" "SELECT data FROM value WHERE section = '$1' AND name = '$2'"
}

# Windows of the program other than its two screen layers (message boxes,
# dialogs, menus) that are shown now; not the 1 x 1 window that carries the
# taskbar button under Wine.
other_windows() {
    local id
    for id in $(program_windows); do
        case "$(xwininfo -id "$id" 2>/dev/null | awk '/Width:/ { w = $2 } /Height:/ { h = $2 }
            END { print w "x" h }')" in
            "${width}x${height}" | 1x1) ;;
            *) echo "$id" ;;
        esac
    done
}

launch() {
    ${launcher:-} "$program" >>"$work/program.log" 2>&1 &
    app=$!
}

program_shows() {
    launch
    wait_until 15 screen_windows_or_end
    if [ -z "$main" ] || [ -z "$sub" ]; then
        echo "FAILED: the program's windows did not appear"
        cat "$work/program.log"
        return 1
    fi
    sleep "$first_frames"
}

screen_windows_or_end() {
    main=$(window_of "$main_title")
    sub=$(window_of SubForm)
    { [ -n "$main" ] && [ -n "$sub" ]; } || ! alive
}

start_program() { program_shows || exit 1; }

alive() { kill -0 "$app" 2>/dev/null; }
ended() { ! alive; }

quit_program() {
    xdotool mousemove $((width * 3 / 5)) $((height * 2 / 5)) click 1
    sleep 0.2
    xdotool key Escape
}

ended_with() {
    exit_code=
    if wait_until 10 ended; then
        wait "$app"
        exit_code=$?
    else
        kill -9 "$app"
        wait "$app" 2>/dev/null
    fi
    app=
    [ "$exit_code" = "$1" ]
}

finish_run() {
    check "$1: no message box was shown" test -z "$(other_windows)"
    quit_program
    check "$1: Escape ends the program with exit code 0" ended_with 0
}

# A right click on the dark opens the menu; its item's letter the dialog.
open_from_menu() {
    xdotool mousemove 700 300 click 3
    sleep 0.6
    xdotool key "$1"
    wait_output 10 window_of "$2" && sleep 0.5
}

menu_at() {  # the program's shown window whose corner is at X Y
    local id
    for id in $(program_windows); do
        [[ "$(window_box "$id")" == "$1 $2 "* ]] && { printf '0x%x\n' "$id"; return 0; }
    done
    return 1
}

menu_items() {  # rows with dark text, grouped: one group per item
    xwd -id "$1" -silent | convert xwd:- -colorspace gray -depth 8 txt:- |
        awk -F'[,:() ]+' 'NR > 1 && $3 + 0 < 110 { dark[$2] = 1 }
            END { n = 0; for (y = 1; y < 2000; ++y) { if ((y in dark) && !((y - 1) in dark)) ++n } print n }'
}

clock_pixels() {
    [ -n "${1:-}" ] || { screen_shot "$work/clock.png" && set -- "$work/clock.png"; }
    convert "$1" -crop 166x64+8+8 -colorspace gray -threshold 99% -format '%[fx:int(mean*w*h+0.5)]' info:
}

clock_digit() {
    convert "$1" -crop 166x64+8+8 +repage -colorspace gray -threshold 99% txt:- |
        grep -m1 -E '#FFFFFF|gray\(255\)' | sed 's/^\([0-9]*\),\([0-9]*\):.*/\1 \2/'
}

pixel_becomes() {  # prints the last reading
    local reading
    wait_until 3 pixel_is "$@"
    echo "$reading"
}
pixel_is() { reading=$(pixel "$1" "$2"); [ "$reading" = "$3" ]; }

red_at() {
    local r g b
    read -r r g b <<<"$(pixel "$1" "$2")"
    [ "$r" -ge 240 ] && [ "$g" -le 70 ] && [ "$b" -le 70 ]
}
shows_red() { red_at $((width / 2)) $((height / 2)); }

capturing() { [ "$(record_streams)" -ge 1 ]; }
# The bars' lowest colour (the cyan base) on the screen.
bars_lit() { [ "$(colour_pixels 'rgb(0,204,204)')" -gt 50 ]; }

# Pixels of the spectrum bars now, in any of their colours.
bar_pixels() {
    screen_shot "$work/screen.png"
    convert "$work/screen.png" -crop 300x72+$((width - 320))+$((height - 92)) -colorspace HSL \
        -channel G -separate -threshold 50% -format '%[fx:int(mean*w*h+0.5)]' info:
}

# The sound server stopped with SIGNAL while the program runs, then started
# again with the tone: the program runs on, and its capture is back within
# 2.5 s with the bars lit.
check_sound_server_restart() {
    stop_sound_server "$1"
    stop_tone
    sleep 3
    check "the program runs on without a sound server (SIG$1)" alive

    start_sound_server
    play_tone
    if wait_until 10 capturing; then
        check "capture is back within 2.5 s of the server (took $waited_ms ms)" test "$waited_ms" -le 2500
    else
        check "capture came back after the server returned" false
    fi
    check "the bars light again" wait_until 5 bars_lit
}

# Sanitizer reports in the program's output.
sanitizer_reports() {
    grep -c -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$work/program.log"
}

session_end() {
    check "no sanitizer report" test "$(sanitizer_reports)" -eq 0
    [ "$failures" -eq 0 ] && echo "all passed" || cat "$work/program.log"
    exit $((failures > 0))
}
