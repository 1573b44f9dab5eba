# Shared by the Win32 test scripts and benchmarks (sourced, not a test
# itself): the desktop program's session of ../robustness/desktop_session.bash
# with duskpane.exe under Wine in a private prefix, removed again at the end.
#   make_prefix               a fresh prefix set up for the program's windows
# What differs from the Linux program: it runs under $wine, its main window
# has no title, Escape reaches it through its focused main window, and the
# prefix's server ends with the session. Exit 77 (skipped) without Wine.

# shellcheck source=../robustness/desktop_session.bash
declare -F program_shows >/dev/null || source "$(dirname "${BASH_SOURCE[0]}")/../robustness/desktop_session.bash"

wine=$(command -v wine64 || true)
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || true)
[ -x /usr/lib/wine/wineserver ] && wineserver=/usr/lib/wine/wineserver
[ -n "$wine" ] && [ -n "$wineserver" ] || { echo "skipped: wine64 is not installed"; exit 77; }
launcher=$wine
main_title=
first_frames=1.5

program_cleanup() {
    [ -z "$app" ] || kill -9 "$app" 2>/dev/null
    # The prefix's own server, and nothing else: it is ours alone.
    if [ -n "${WINEPREFIX:-}" ] && [ "${WINEPREFIX#"$work"}" != "$WINEPREFIX" ]; then
        timeout 20 "$wineserver" -k 2>/dev/null
    fi
}

quit_program() {
    xdotool windowfocus --sync "$main"
    xdotool key Escape
}

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
