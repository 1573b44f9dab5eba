# The desktops the program is tried on (sourced; brings desktop_session.bash):
# each starts its display server, a white desktop, a white panel and its
# window manager or compositor, and says where to look at the screen.
#   desktop_enter KIND ARG...   re-runs the calling script in a private mount
#                               and network namespace for the Wayland kinds
#   desktop_start KIND          starts the desktop; sets panel_x, panel_y (a
#                               white pixel of the panel), tolerance (the
#                               compositor's rounding of the blend, 0 or 1),
#                               covered ("X Y W H" that the program's windows
#                               cover), and unmet (what the desktop keeps the
#                               program from, words of: panel,
#                               panel-under-dialog, click-through)
#   input ARG...                xdotool ARG... on the display where the
#                               desktop reads its keyboard and pointer
#   screenshot NAME             the screen now into $shots/$scene-NAME.png,
#                               which becomes the current shot
#   shot_until SECONDS NAME CMD...
#                               screenshots until CMD (which reads the current
#                               shot) succeeds; the last one stays
#   shot_pixel X Y              "R G B" of the current shot
#   shot_mean X Y W H           mean brightness (0..255) of a part of it
#   near "R G B" VALUE          a grey of VALUE, within the tolerance
#   scene_begin NAME BUILD_DIR  the work folder; screenshots and, at the end,
#                               the logs go to BUILD_DIR/desktops
#   scene_took                  milliseconds since scene_begin
# KIND is one of: openbox (with tint2 and picom), xfwm4 (its own compositor,
# tint2), kwin (KWin on X11, tint2), mutter (mutter on X11, tint2), i3 (i3bar,
# picom), sway (headless, swaybar), weston (on its X11 backend, its panel), dual (Xorg's
# dummy driver with two monitors, openbox, tint2 and picom; the caller sets
# `second_width` and `second_height`). The caller may set `width` and
# `height` (1280 × 800 else).

desktops_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../robustness/desktop_session.bash
source "$desktops_dir/../robustness/desktop_session.bash"
wayland_kind=false
scene_kind=
tolerance=0
covered=
unmet=
input_display=

scene_begin() {
    scene=$1
    shots=$2/desktops
    scene_started=$(date +%s%N)
    work=$(mktemp -d)
    mkdir -p "$shots"
    trap scene_end EXIT
}

scene_end() {
    rm -rf "$shots/$scene-logs"
    mkdir -p "$shots/$scene-logs"
    cp "$work"/*.log "$shots/$scene-logs/" 2>/dev/null
    session_cleanup
}

scene_took() { echo $((($(date +%s%N) - scene_started) / 1000000)); }

desktop_enter() {
    local kind=$1
    shift
    case "$kind" in sway | weston) ;; *) return 0 ;; esac
    wayland_kind=true
    [ -n "${DUSKPANE_DESKTOP_NAMESPACE:-}" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "skipped: a headless $kind runs here as nobody in a private namespace, which needs root"
        exit 77
    fi
    require_tools unshare setpriv
    DUSKPANE_DESKTOP_NAMESPACE=1 exec unshare -m -n --propagation private "$0" "$@"
}

# tint2 as a white panel along the bottom: by default on top of ordinary
# windows (_NET_WM_STATE_ABOVE); tint2_start normal puts it in the dock layer
# alone, as Xfce's own panel is.
tint2_start() {
    cat >"$work/tint2rc" <<RC
rounded = 0
border_width = 0
background_color = #ffffff 100
border_color = #ffffff 0
panel_items = T
panel_size = 100% 40
panel_position = bottom center horizontal
panel_layer = ${1:-top}
panel_background_id = 1
taskbar_mode = single_desktop
task_text = 1
task_maximum_size = 160 32
font_shadow = 0
task_font_color = #000000 100
RC
    tint2 -c "$work/tint2rc" >"$work/tint2.log" 2>&1 &
    pids+=($!)
    panel_x=$((width - 12))
    panel_y=$((height - 12))
    wait_until 10 xdotool search --onlyvisible --classname tint2 >/dev/null ||
        { echo "FAILED: tint2 did not show"; exit 1; }
}

window_manager_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

x_desktop_ready() {  # x_desktop_ready NAME: the window manager runs and composites
    wait_until 20 window_manager_ready || { echo "FAILED: $1 did not start"; cat "$work/$1.log"; exit 1; }
    wait_until 20 compositor_running || { echo "FAILED: $1 does not composite"; cat "$work/$1.log"; exit 1; }
}

# Two monitors on Xorg's dummy driver: DUMMY0 (width × height) at the left,
# the primary, and DUMMY1 (second_width × second_height) at its right.
dual_server_start() {
    cat >"$work/xorg.conf" <<'CONF'
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "card"
  Driver "dummy"
  VideoRam 65536
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "card"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 4096 2048
  EndSubSection
EndSection
CONF
    x_server_start Xorg -displayfd 3 -config "$work/xorg.conf" -logfile "$work/xorg.log" \
        -noreset -nolisten tcp -novtswitch -sharevts
    local output size w h
    for output in DUMMY0 DUMMY1; do
        if [ "$output" = DUMMY0 ]; then size="$width $height"; else size="$second_width $second_height"; fi
        # A plain mode line of the size: the dummy outputs have no monitor to ask.
        read -r w h <<<"$size"
        xrandr --newmode "scene${w}x$h" 60 "$w" $((w + 8)) $((w + 16)) $((w + 24)) \
            "$h" $((h + 2)) $((h + 4)) $((h + 6)) 2>/dev/null
        xrandr --addmode "$output" "scene${w}x$h"
    done
    xrandr --output DUMMY0 --mode "scene${width}x$height" --pos 0x0 --primary \
        --output DUMMY1 --mode "scene${second_width}x$second_height" --pos "${width}x0"
}

sway_start() {
    cat >"$work/sway.conf" <<CONF
output HEADLESS-1 mode ${width}x$height position 0 0 bg #FFFFFF solid_color
xwayland enable
bar {
    position bottom
    height 30
    workspace_buttons no
    colors {
        background #FFFFFF
        statusline #FFFFFF
    }
}
CONF
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        "${compositor_user[@]}" sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
    pids+=($!)
    panel_x=$((width / 2))
    panel_y=$((height - 10))
}

# weston in a window of a private Xvfb (its X11 backend), which gives it a
# keyboard and a pointer: headless weston 10 has no seat at all, and its X
# window manager gives the X focus to no window and takes back any focus a
# program sets itself. The scene's keys and clicks go to that Xvfb.
weston_start() {
    cat >"$work/weston.ini" <<'INI'
[core]
xwayland=true
idle-time=0
[shell]
background-color=0xffffffff
panel-color=0xffffffff
panel-position=bottom
locking=false
animation=none
startup-animation=none
INI
    chmod 644 "$work/weston.ini"
    x_server_start Xvfb -displayfd 3 -screen 0 "$((width + 64))x$((height + 64))x24" -nolisten tcp -ac
    input_display=$DISPLAY
    "${compositor_user[@]}" weston --backend=x11-backend.so --use-pixman \
        --width="$width" --height="$height" --xwayland --debug --socket=wayland-scene \
        --idle-time=0 -c "$work/weston.ini" >"$work/weston.log" 2>&1 &
    pids+=($!)
    panel_x=$((width / 2))
    panel_y=$((height - 10))
    # weston keeps its panel above every window but a full-screen one (and
    # draws black below a full-screen window); the program's windows take
    # the rest of the screen, maximized, as weston 10 places a window asked
    # for at the screen's corner elsewhere. Its X window manager frames each
    # window without the window's input shape: a click on the dark reaches
    # the frame of the clock window, not the dimming window.
    covered="0 0 $width $((height - 32))"
    unmet="panel click-through"
}

# The compositor runs as nobody (sway refuses root) with its own runtime
# folder; its XWayland is on a display of the private /tmp/.X11-unix, and the
# scene's own tools (as root) are let in by the compositor's user.
wayland_desktop_start() {
    compositor_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod 755 "$work"
    [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix
    mkdir -m 1777 "$work/x11"
    mount --bind "$work/x11" /tmp/.X11-unix
    local runtime=$work/compositor-runtime
    mkdir -m 700 "$runtime"
    chown 65534:65534 "$runtime"
    XDG_RUNTIME_DIR=$runtime HOME=$runtime "${1}_start"
    local socket=
    wait_until 20 eval 'socket=$(ls "$work/x11" 2>/dev/null | sed -n "s/^X//p" | grep -vx "${input_display#:}" | head -n1); [ -n "$socket" ]' ||
        { echo "FAILED: $1 started no XWayland"; cat "$work/$1.log"; exit 1; }
    export DISPLAY=":$socket"
    wait_until 20 env XDG_RUNTIME_DIR="$runtime" "${compositor_user[@]}" xhost +si:localuser:root >/dev/null ||
        { echo "FAILED: XWayland of $1 did not answer"; cat "$work/$1.log"; exit 1; }
    wayland_socket=$(find "$runtime" -maxdepth 1 -type s -name 'wayland-*' | head -n1)
    compositor_runtime=$runtime
    screen_shooter=${1}_screen_shot
    # The program sees a Wayland session as its users have it.
    export WAYLAND_DISPLAY=$wayland_socket XDG_SESSION_TYPE=wayland
}

input() { DISPLAY=${input_display:-$DISPLAY} xdotool "$@"; }

desktop_start() {
    scene_kind=$1
    covered="0 0 $width $height"
    case "$1" in
        openbox | dual)
            if [ "$1" = dual ]; then
                dual_server_start
                x_white_desktop $((width + second_width))
            else
                x_display_start
                x_white_desktop
            fi
            openbox --sm-disable >"$work/openbox.log" 2>&1 &
            pids+=($!)
            picom_start
            x_desktop_ready openbox
            tint2_start
            ;;
        xfwm4)
            x_display_start
            session_bus_start
            x_white_desktop
            xfwm4 --compositor=on --sm-client-disable >"$work/xfwm4.log" 2>&1 &
            pids+=($!)
            x_desktop_ready xfwm4
            # xfwm4 keeps a panel of the top layer (_NET_WM_STATE_ABOVE)
            # above every full-screen window by design; Xfce's own panel is
            # in the dock layer, below the full-screen window that has the
            # keyboard; while a dialog has it, the panel rises again.
            tint2_start normal
            unmet=panel-under-dialog
            ;;
        kwin)
            x_display_start
            session_bus_start
            x_white_desktop
            kwin_x11 --replace >"$work/kwin.log" 2>&1 &
            pids+=($!)
            x_desktop_ready kwin
            tint2_start
            tolerance=1  # KWin blends in OpenGL: white under alpha 200 reads 55 or 56
            ;;
        mutter)
            x_display_start
            session_bus_start
            x_white_desktop
            mutter --x11 --replace --sm-disable >"$work/mutter.log" 2>&1 &
            pids+=($!)
            x_desktop_ready mutter
            tint2_start
            tolerance=1  # mutter blends in OpenGL
            ;;
        i3)
            x_display_start
            cat >"$work/i3.conf" <<'CONF'
# i3 config file (v4)
bar {
    position bottom
    workspace_buttons no
    colors {
        background #ffffff
        statusline #ffffff
    }
}
CONF
            x_white_desktop
            i3 -c "$work/i3.conf" >"$work/i3.log" 2>&1 &
            pids+=($!)
            picom_start
            x_desktop_ready i3
            panel_x=$((width / 2))
            panel_y=$((height - 6))
            wait_until 10 xdotool search --onlyvisible --class i3bar >/dev/null ||
                { echo "FAILED: i3bar did not show"; exit 1; }
            ;;
        sway | weston)
            wayland_desktop_start "$1"
            ;;
        *)
            echo "FAILED: no desktop called $1"
            exit 1
            ;;
    esac
    sleep 0.5  # the panel and the compositor show their first frames
}

screenshot() {
    current_shot=$shots/$scene-$1.png
    screen_shot "$current_shot"
}

sway_screen_shot() {
    XDG_RUNTIME_DIR=$compositor_runtime WAYLAND_DISPLAY=$wayland_socket grim "$1"
}

# weston-screenshooter writes into the current folder, under a time-stamped
# name; its alpha channel means nothing.
weston_screen_shot() {
    rm -f "$work"/wayland-screenshot-*.png
    (cd "$work" && XDG_RUNTIME_DIR=$compositor_runtime WAYLAND_DISPLAY=$wayland_socket \
        weston-screenshooter >/dev/null 2>&1)
    convert "$work"/wayland-screenshot-*.png -alpha off "png:$1"
}

shot_until() { wait_until "$1" shot_shows "${@:2}"; }
shot_shows() { screenshot "$1" && "${@:2}"; }

shot_pixel() { png_pixel "$current_shot" "$@"; }

shot_mean() {
    convert "$current_shot" -crop "${3}x${4}+${1}+${2}" -colorspace gray -format '%[fx:int(255*mean+0.5)]' info:
}

near() {  # near "R G B" VALUE: a grey of VALUE, within the compositor's rounding
    local r g b c
    read -r r g b <<<"$1"
    for c in "$r" "$g" "$b"; do
        [ "${c:-999}" -ge $(($2 - tolerance)) ] && [ "$c" -le $(($2 + tolerance)) ] || return 1
    done
}
