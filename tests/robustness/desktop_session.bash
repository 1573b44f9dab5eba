# Shared by the robustness scripts (sourced, not a test itself): a private X
# display with a white desktop and the compositing manager, a private
# settings folder, optionally a private sound server playing a tone, and the
# program started and watched. Everything is removed again at the end.
#   require_tools TOOL...       exit 77 (skipped) when one is missing
#   start_display [KIND]        Xvfb, the white desktop and picom, or one of
#                               the desktops of ../desktops/desktops.bash
#   start_sound_server          PulseAudio with a null sink; its monitor is the
#                               default source (stop_sound_server ends it)
#   play_tone                   a 1 kHz tone into the null sink for
#                               $tone_seconds (120 unless set)
#   seed_settings SQL           creates the settings file with the program's
#                               tables and runs SQL on it
#   start_program               starts $program (behind $as_user when set) and
#                               waits for its two windows ($main, $sub)
#   program_shows               the same, but returns 1 where start_program
#                               ends the script
#   quit_program                a click on the dimming layer and Escape
#   alive / ended_with CODE     the program still runs / ended with CODE
#   check DESCRIPTION CMD...    counts a failure when CMD fails
#   pixel X Y                   "R G B" of the screen now
#   pixel_becomes X Y "R G B"   the same once it reads that (up to 3 s)
#   wait_for SECONDS CMD...     polls CMD; prints the milliseconds it took
#   within SECONDS CMD...       the same, silent
#   capturing / bars_lit        the program records / the tone lights its bars
#   bar_pixels                  pixels of the spectrum bars now
#   check_sound_server_restart SIGNAL
#                               the server stopped and started again: capture
#                               is back within 2.5 s
# The caller sets `program` and `work` (a temporary folder) first.

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

session_cleanup() {
    [ -n "$app" ] && kill -9 "$app" 2>/dev/null
    [ -n "$player" ] && kill "$player" 2>/dev/null
    stop_sound_server
    stop_started
    chmod -R u+rwX "$work" 2>/dev/null
    rm -rf "$work"
}

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

wait_for() {  # wait_for SECONDS CMD...: polls CMD every 50 ms; prints the seconds it took
    local limit=$1 started now
    shift
    started=$(date +%s%N)
    while true; do
        if "$@"; then
            now=$(date +%s%N)
            echo $(((now - started) / 1000000))
            return 0
        fi
        now=$(date +%s%N)
        [ $(((now - started) / 1000000)) -gt $((limit * 1000)) ] && return 1
        sleep 0.05
    done
}
within() { wait_for "$@" >/dev/null; }
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

setting() {  # setting SECTION NAME: the stored value
    sqlite3 "$database" "SELECT data FROM value WHERE section = '$1' AND name = '$2'"
}

window_of() {  # window_of TITLE: the program's largest shown window of that title
    local id area best= best_area=0
    for id in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
        [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] || continue
        area=$(xwininfo -id "$id" 2>/dev/null | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w * h }')
        if [ "${area:-0}" -gt "$best_area" ]; then
            best=$id
            best_area=$area
        fi
    done
    [ -n "$best" ] && printf '0x%x\n' "$best"
}

# Windows of the program other than its two screen layers (message boxes,
# dialogs, menus) that are shown now.
other_windows() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
        case "$(xwininfo -id "$id" 2>/dev/null | awk '/Width:/ { w = $2 } /Height:/ { h = $2 }
            END { print w "x" h }')" in
            "${width}x${height}") ;;
            *) echo "$id" ;;
        esac
    done
}

program_shows() {  # starts the program; sets main and sub, its two screen windows, once shown
    ${as_user:-} "$program" >>"$work/program.log" 2>&1 &
    app=$!
    local _
    for _ in $(seq 300); do
        main=$(window_of Duskpane)
        sub=$(window_of SubForm)
        [ -n "$main" ] && [ -n "$sub" ] && break
        alive || break
        sleep 0.05
    done
    if [ -z "$main" ] || [ -z "$sub" ]; then
        echo "FAILED: the program's windows did not appear"
        cat "$work/program.log"
        return 1
    fi
    sleep 0.8  # the compositor shows the first frames
}

start_program() { program_shows || exit 1; }

alive() { kill -0 "$app" 2>/dev/null; }

quit_program() {  # a click on the dimming layer, then Escape
    xdotool mousemove $((width * 3 / 5)) $((height * 2 / 5)) click 1
    sleep 0.2
    xdotool key Escape
}

ended_with() {  # ended_with CODE: the program ended within 10 s with that exit code
    local _
    for _ in $(seq 200); do
        alive || break
        sleep 0.05
    done
    if alive; then
        kill -9 "$app"
        wait "$app" 2>/dev/null
        app=
        return 1
    fi
    wait "$app"
    local status=$?
    app=
    [ "$status" -eq "$1" ]
}

pixel() { screen_pixel "$@"; }  # pixel X Y: "R G B" of the screen now

pixel_becomes() {  # pixel_becomes X Y "R G B": polls up to 3 s; prints the last reading
    local now tries
    for ((tries = 0; tries < 30; ++tries)); do
        now=$(pixel "$1" "$2")
        [ "$now" = "$3" ] && break
        sleep 0.1
    done
    echo "$now"
}

# Pixels of the screen now in the spectrum bars' lowest colour (the cyan base).
lit_bar_pixels() {
    screen_shot "$work/screen.png"
    convert "$work/screen.png" -fill black +opaque 'rgb(0,204,204)' -fill white -opaque 'rgb(0,204,204)' \
        -colorspace gray -format '%[fx:int(mean*w*h+0.5)]' info:
}

capturing() { [ "$(record_streams)" -ge 1 ]; }
bars_lit() { [ "$(lit_bar_pixels)" -gt 50 ]; }

# Pixels of the spectrum bars now, in any of their colours.
bar_pixels() {
    screen_shot "$work/screen.png"
    convert "$work/screen.png" -crop 300x72+$((width - 320))+$((height - 92)) -colorspace HSL \
        -channel G -separate -threshold 50% -format '%[fx:int(mean*w*h+0.5)]' info:
}

# The sound server stopped with SIGNAL while the program runs, then started
# again with the tone: the program runs on, and its capture is back within
# 2.5 s with the bars lit.
check_sound_server_restart() {  # check_sound_server_restart SIGNAL
    stop_sound_server "$1"
    kill "$player" 2>/dev/null
    wait "$player" 2>/dev/null
    player=
    sleep 3
    check "the program runs on without a sound server (SIG$1)" alive

    start_sound_server
    play_tone
    local took
    if took=$(wait_for 10 capturing); then
        check "capture is back within 2.5 s of the server (took $took ms)" test "$took" -le 2500
    else
        check "capture came back after the server returned" false
    fi
    check "the bars light again" within 5 bars_lit
}

# Sanitizer reports in the program's output.
sanitizer_reports() {
    grep -c -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$work/program.log"
}
