# Shared by the Win32 test scripts (sourced, not a test itself): a private X
# display and a private Wine prefix, both removed again at the end.
#   require_tools TOOL...     exit 77 (skipped) when one is missing
#   start_display [desktop]   Xvfb on a free display; with "desktop" a white
#                             desktop window and the compositing manager
#   make_prefix               a fresh prefix set up for the program's windows
#   pixel X Y                 "R G B" of the screen now
#   shot NAME                 the screen into $DUSKPANE_SHOTS/NAME.png, when set
#   check DESCRIPTION CMD...  counts a failure in $failures when CMD fails
# The caller sets `work` (a temporary folder) first and traps EXIT to
# session_cleanup.

# shellcheck source=../x_session.bash
source "$(dirname "${BASH_SOURCE[0]}")/../x_session.bash"

width=${width:-1280}
height=${height:-800}
pids=()
failures=0
wine=$(command -v wine64 || true)
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || true)
[ -x /usr/lib/wine/wineserver ] && wineserver=/usr/lib/wine/wineserver

# The shared check of the tools, and Wine besides.
require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
    done
    if [ -z "$wine" ] || [ -z "$wineserver" ]; then
        echo "skipped: wine64 is not installed"
        exit 77
    fi
}

session_cleanup() {
    [ -n "${app:-}" ] && kill -9 "$app" 2>/dev/null
    # The prefix's own server, and nothing else: it is ours alone.
    if [ -n "${WINEPREFIX:-}" ] && [ "${WINEPREFIX#"$work"}" != "$WINEPREFIX" ]; then
        timeout 20 "$wineserver" -k 2>/dev/null
    fi
    stop_started
    rm -rf "$work"
}

start_display() { x_display_start "${1:-}"; }

# Japanese fonts for the program's designed ones, windows that no window
# manager handles (none runs here: Wine would wait for one at every hide),
# and the system's glyph font for the title bar buttons.
make_prefix() {
    export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # No sound server: the capture finds no device and the program goes on.
    export PULSE_SERVER="unix:$work/no-sound-server"
    timeout 120 "$wine" wineboot --init >"$work/wineboot.log" 2>&1 || { echo "FAILED: wineboot"; exit 1; }
    local replacement name
    for replacement in "MS PGothic=IPAPGothic" "MS Gothic=IPAGothic" "MS UI Gothic=IPAPGothic" \
        "ＭＳ Ｐゴシック=IPAPGothic" "ＭＳ ゴシック=IPAGothic" "Meiryo=IPAPGothic" "Meiryo UI=IPAPGothic" \
        "Yu Gothic UI=IPAPGothic"; do
        name=${replacement%%=*}
        LC_ALL=C.UTF-8 timeout 60 "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$name" \
            /t REG_SZ /d "${replacement#*=}" /f >/dev/null 2>&1
    done
    timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
}

pixel() {
    xwd -root -silent | convert xwd:- -crop 1x1+"$1"+"$2" -depth 8 txt:- |
        sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | head -n1
}

shot() {
    [ -n "${DUSKPANE_SHOTS:-}" ] || return 0
    mkdir -p "$DUSKPANE_SHOTS"
    xwd -root -silent | convert xwd:- "$DUSKPANE_SHOTS/$1.png"
}
