# The private X display and sound server every desktop test and benchmark
# runs on (sourced). The caller sets `work` (a temporary folder), `width` and
# `height`, and keeps the ids of what it starts in the array `pids`.
#   require_tools TOOL...       exit 77 (skipped) when one is missing
#   stop_started                stops what pids holds, last started first
#   check DESCRIPTION CMD...    counts a failure in `failures` when CMD fails
#   x_display_start [desktop]   Xvfb on a free display, DISPLAY exported;
#                               with "desktop" a white desktop window and the
#                               compositing manager picom on it
#   x_server_start CMD...       an X server CMD that writes its display number
#                               to fd 3 (-displayfd 3), DISPLAY exported
#   x_white_desktop [WIDTH]     a white window over the whole screen
#   wait_until SECONDS CMD...   polls CMD every 50 ms until it succeeds
#   compositor_running          the compositing selection of screen 0 is owned
#   screen_shot FILE            the screen as it shows now (what the compositing
#                               manager made of it) into FILE, a PNG
#   screen_pixel X Y            "R G B" of one pixel of the screen now
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

x_server_start() {
    exec 3>"$work/display"
    "$@" >"$work/xserver.log" 2>&1 &
    pids+=($!)
    exec 3>&-
    wait_until 10 test -s "$work/display" || { echo "FAILED: the X server did not start"; exit 1; }
    export DISPLAY=":$(head -n1 "$work/display")"
}

x_display_start() {
    x_server_start Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp
    [ "${1:-}" = desktop ] || return 0
    x_white_desktop
    picom --backend xrender --config /dev/null >"$work/picom.log" 2>&1 &
    pids+=($!)
    sleep 0.3
}

x_white_desktop() {  # x_white_desktop [WIDTH]: that wide, else the screen's width
    convert -size "${1:-$width}x$height" xc:white "xwd:$work/white.xwd"
    xwud -in "$work/white.xwd" -geometry "${1:-$width}x$height+0+0" -noclick &
    pids+=($!)
    ! command -v xdotool >/dev/null || wait_until 10 xdotool search --onlyvisible --classname xwud >/dev/null
}

wait_until() {
    local limit=$(($1 * 20)) tries
    shift
    for ((tries = 0; tries < limit; ++tries)); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

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

screen_pixel() {
    local shot
    shot=$(mktemp --suffix=.png)
    screen_shot "$shot"
    png_pixel "$shot" "$1" "$2"
    rm -f "$shot"
}

png_pixel() {  # png_pixel FILE X Y: "R G B" of a pixel of a picture
    convert "$1" -crop 1x1+"$2"+"$3" -depth 8 txt:- |
        sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | head -n1
}

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
    local _
    for _ in $(seq 200); do pactl info >/dev/null 2>&1 && return 0; sleep 0.025; done
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
