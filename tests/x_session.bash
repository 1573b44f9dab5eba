# The private X display and sound server every desktop test and benchmark
# runs on (sourced). The caller sets `work` (a temporary folder), `width` and
# `height`, and keeps the ids of what it starts in the array `pids`.
#   require_tools TOOL...       exit 77 (skipped) when one is missing
#   stop_started                stops what pids holds, last started first
#   check DESCRIPTION CMD...    counts a failure in `failures` when CMD fails
#   wait_until SECONDS CMD...   runs CMD every 50 ms (every $poll s when set)
#                               until it succeeds, for at most SECONDS (whole)
#                               of real time; the milliseconds it took in
#                               waited_ms
#   wait_output SECONDS CMD...  the same for a CMD that prints something; prints it
#   x_display_start [desktop]   Xvfb on a free display, DISPLAY exported;
#                               with "desktop" a white desktop window and the
#                               compositing manager picom on it
#   x_server_start CMD...       an X server CMD that writes its display number
#                               to fd 3 (-displayfd 3), DISPLAY exported
#   x_white_desktop [WIDTH]     a white window over the whole screen
#   picom_start                 the compositing manager
#   compositor_running          the compositing selection of screen 0 is owned
#   screen_shot FILE            the screen as it shows now (what the compositing
#                               manager made of it) into FILE, a PNG
#   shot NAME                   the same into $DUSKPANE_SHOTS/NAME.png, when set
#   pixel X Y                   "R G B" of one pixel of the screen now
#   png_pixel FILE X Y          "R G B" of one pixel of a picture
#   colour_pixels COLOUR [PART [FUZZ]]
#                               pixels of COLOUR (within FUZZ %) on the screen
#                               now, or in its PART (WxH+X+Y)
#   program_windows             the shown windows of the program $app, one id a line
#   window_of TITLE             the largest of them with that title
#   window_box WINDOW           "X Y W H" of a window on the screen
#   shown WINDOW                the window is shown now
#   gone WINDOW                 it is not, or no longer within 5 s
#   session_bus_start           a D-Bus session bus in XDG_RUNTIME_DIR
#   pulse_server_start SOCKET   PulseAudio with a null sink "tone_sink" whose
#                               monitor is the default source, listening on
#                               SOCKET; its id in pulse_pid, PULSE_SERVER set
#   pipewire_server_start SOCKET
#                               the same with PipeWire, WirePlumber and
#                               pipewire-pulse (the sink's monitor ignores the
#                               sink volume); their ids in pipewire_pids

require_tools() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "skipped: $tool is not installed"
            exit 77
        fi
    done
}

check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}

# Last started first: the X server goes last.
stop_started() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; --i)); do
        kill "${pids[i]}" 2>/dev/null
        wait "${pids[i]}" 2>/dev/null
    done
}

# The X server and the compositor run in a session of their own: a Ctrl-C
# in the terminal reaches the program (which then saves its settings and
# ends) but not the display it is still drawing on.
x_server_start() {
    exec 3>"$work/display"
    setsid "$@" >"$work/xserver.log" 2>&1 &
    pids+=($!)
    exec 3>&-
    wait_until 10 test -s "$work/display" || { echo "FAILED: the X server did not start"; exit 1; }
    export DISPLAY=":$(head -n1 "$work/display")"
}

x_display_start() {
    x_server_start Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp
    [ "${1:-}" = desktop ] || return 0
    x_white_desktop
    picom_start
    sleep 0.3
}

picom_start() {
    setsid picom --backend xrender --config /dev/null >"$work/picom.log" 2>&1 &
    pids+=($!)
}

x_white_desktop() {  # x_white_desktop [WIDTH]: that wide, else the screen's width
    convert -size "${1:-$width}x$height" xc:white "xwd:$work/white.xwd"
    xwud -in "$work/white.xwd" -geometry "${1:-$width}x$height+0+0" -noclick &
    pids+=($!)
    ! command -v xdotool >/dev/null || wait_until 10 xdotool search --onlyvisible --classname xwud >/dev/null
}

wait_until() {
    local started=${EPOCHREALTIME/[.,]/} met=0
    local end=$((started + $1 * 1000000))
    shift
    while ! "$@"; do
        ((${EPOCHREALTIME/[.,]/} < end)) || { met=1; break; }
        sleep "${poll:-0.05}"
    done
    waited_ms=$(((${EPOCHREALTIME/[.,]/} - started) / 1000))
    return $met
}

wait_output() {
    local limit=$1 output
    shift
    wait_until "$limit" output_of "$@" && printf '%s\n' "$output"
}
output_of() { output=$("$@"); [ -n "$output" ]; }

compositor_running() {
    python3 - <<'PY'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XInternAtom.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGetSelectionOwner.restype = ctypes.c_ulong
d = x.XOpenDisplay(None)
sys.exit(0 if d and x.XGetSelectionOwner(d, x.XInternAtom(d, b"_NET_WM_CM_S0", 0)) else 1)
PY
}

# One GetImage of the root window, under a server grab (ImageMagick's
# `import` without -descend): on an X server that is the frame buffer, where
# the compositing manager draws, and no window can change while it is read.
# `xwd -root` cannot be used: where windows of several depths overlap (the
# program's 32-bit screen layers under a 24-bit menu or dialog) it reads each
# window's own pixels instead and shows the dimming as black. A desktop whose
# screen is not an X server's sets screen_shooter to its own command.
screen_shot() {
    if [ -n "${screen_shooter:-}" ]; then
        "$screen_shooter" "$1"
    else
        import -silent -window root "png:$1"
    fi
}

shot() {
    [ -n "${DUSKPANE_SHOTS:-}" ] || return 0
    mkdir -p "$DUSKPANE_SHOTS"
    screen_shot "$DUSKPANE_SHOTS/$1.png"
}

pixel() {
    local shot
    shot=$(mktemp --suffix=.png)
    screen_shot "$shot"
    png_pixel "$shot" "$1" "$2"
    rm -f "$shot"
}

png_pixel() {
    convert "$1" -crop 1x1+"$2"+"$3" -depth 8 txt:- |
        sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | head -n1
}

colour_pixels() {
    screen_shot "$work/colours.png"
    convert "$work/colours.png" ${2:+-crop "$2" +repage} -fuzz "${3:-0}%" -fill black +opaque "$1" \
        -fill white -opaque "$1" -colorspace gray -format '%[fx:int(mean*w*h+0.5)]' info:
}

program_windows() { xdotool search --onlyvisible --pid "$app" 2>/dev/null; }

window_of() {
    local id area best= best_area=0
    for id in $(program_windows); do
        [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] || continue
        area=$(xwininfo -id "$id" 2>/dev/null | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w * h }')
        if [ "${area:-0}" -gt "$best_area" ]; then
            best=$id
            best_area=$area
        fi
    done
    [ -n "$best" ] && printf '0x%x\n' "$best"
}

window_box() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
        /Width:/ { w = $2 } /Height:/ { h = $2 } END { print x, y, w, h }'
}

shown() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
gone() { wait_until 5 eval "! shown $1"; }

# A session bus for the desktops that keep their settings behind D-Bus
# (xfwm4's xfconf, KWin, mutter). Without one xfwm4 finds no settings and
# ends at once.
session_bus_start() {
    dbus-daemon --session --address="unix:path=$XDG_RUNTIME_DIR/bus" --nofork --nopidfile \
        >"$work/dbus.log" 2>&1 &
    pids+=($!)
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    wait_until 5 test -S "$XDG_RUNTIME_DIR/bus"
}

pulse_server_start() {
    export PULSE_SERVER="unix:$1"
    export PULSE_RUNTIME_PATH="$work/pulse-runtime" PULSE_STATE_PATH="$work/pulse-state"
    mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
    cat >"$work/server.pa" <<PA
load-module module-native-protocol-unix socket=$1 auth-anonymous=1
load-module module-null-sink sink_name=tone_sink rate=44100
set-default-sink tone_sink
set-default-source tone_sink.monitor
PA
    pulseaudio -n -F "$work/server.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        >>"$work/pulse.log" 2>&1 &
    pulse_pid=$!
    wait_until 5 eval 'pactl info >/dev/null 2>&1' && return 0
    echo "FAILED: the sound server did not start"
    cat "$work/pulse.log"
    exit 1
}

pipewire_server_start() {
    export PULSE_SERVER="unix:$1"
    export XDG_STATE_HOME="$work/pipewire-state"
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || session_bus_start
    mkdir -p "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d" "$XDG_CONFIG_HOME/pipewire/pipewire-pulse.conf.d"
    cat >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/tone-sink.conf" <<CONF
context.objects = [
    { factory = adapter
      args = { factory.name = support.null-audio-sink node.name = tone_sink media.class = Audio/Sink
               audio.position = [ FL FR ] object.linger = true monitor.channel-volumes = false } }
]
CONF
    echo "pulse.properties = { server.address = [ \"unix:$1\" ] }" \
        >"$XDG_CONFIG_HOME/pipewire/pipewire-pulse.conf.d/socket.conf"
    local daemon
    pipewire_pids=()
    # The session manager and the PulseAudio server connect to PipeWire once
    # at start, and end if it does not answer yet.
    for daemon in pipewire wireplumber pipewire-pulse; do
        "$daemon" >>"$work/$daemon.log" 2>&1 &
        pipewire_pids+=($!)
        [ "$daemon" != pipewire ] || wait_until 10 eval 'pw-cli info 0 >/dev/null 2>&1'
    done
    if ! wait_until 10 eval 'pactl list short sinks 2>/dev/null | grep -q tone_sink'; then
        echo "FAILED: PipeWire did not start"
        cat "$work/pipewire.log" "$work/pipewire-pulse.log"
        exit 1
    fi
    # The defaults take only once the session manager keeps them; before
    # that pipewire-pulse answers "Not supported".
    if ! wait_until 10 eval 'pactl set-default-sink tone_sink 2>/dev/null &&
            pactl set-default-source tone_sink.monitor 2>/dev/null &&
            [ "$(pactl get-default-source 2>/dev/null)" = tone_sink.monitor ]'; then
        echo "FAILED: PipeWire keeps no default sink and source"
        cat "$work/wireplumber.log"
        exit 1
    fi
}
