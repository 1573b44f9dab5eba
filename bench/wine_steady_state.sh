#!/bin/bash
# Steady-state cost of duskpane.exe under Wine on a 1920 x 1080 screen, in
# the scene of steady_state.sh: a folder slideshow changing every second and
# the spectrum of a 1 kHz tone from a private sound server, under Xvfb with a
# compositing manager, in a private Wine prefix. After a warm-up, the CPU
# and the peak resident size of the duskpane.exe process; the CPU of the
# prefix's wineserver and of its other processes apart.
# Aimed at: at most 20 MiB for the duskpane.exe process.
# Usage: bench/wine_steady_state.sh   (cross-builds build/bench-windows first)
#   PROGRAM=path/to/duskpane.exe  measure that build instead
#   DURATION=60 WARMUP=10         seconds measured, seconds before
#   CHANGE_SECONDS=1              the slideshow period
#   PICTURES=folder               where the 200 pictures are made once and
#                                 kept (build/bench-pictures)
#   PICTURE=file                  a slideshow of that one picture instead
#   DETAILS=folder                keep /proc smaps, status and pmap there
# Exit 0: target met and every check passed; 1: not; 77: tools missing.
set -u
cd "$(dirname "$0")/.." || exit 1
# shellcheck source=bench/bench_session.bash
source bench/bench_session.bash
# shellcheck source=tests/win32/wine_session.bash
source tests/win32/wine_session.bash  # after bench_session.bash: its overrides stay
require_tools Xvfb picom xwud xwd xwininfo xdotool convert pulseaudio pactl paplay sox

program=${PROGRAM:-}
if [ -z "$program" ]; then
    cmake -S . -B build/bench-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DDUSKPANE_TESTS=OFF >/dev/null &&
        cmake --build build/bench-windows -j2 --target duskpane >/dev/null || { echo "FAILED: the build"; exit 1; }
    program=build/bench-windows/duskpane.exe
fi
program=$(realpath "$program")
work=$(mktemp -d)
trap session_cleanup EXIT
if [ -n "${PICTURE:-}" ]; then
    pictures=$work/one
    mkdir -p "$pictures" && cp "$PICTURE" "$pictures/" || { echo "FAILED: no picture $PICTURE"; exit 1; }
else
    pictures=$(realpath -m "${PICTURES:-build/bench-pictures}")
    bench_pictures "$pictures" || { echo "FAILED: making the pictures"; exit 1; }
fi

x_display_start desktop
make_prefix
# make_prefix points Wine at no sound server; this one brings its own.
bench_sound
timeout 20 "$wineserver" -k 2>/dev/null

folder=$(timeout 60 "$wine" winepath -w "$pictures" 2>/dev/null | tr -d '\r')
[ -n "$folder" ] || { echo "FAILED: no Windows path for $pictures"; exit 1; }
# The eight settings as the program writes them: booleans and the folder as
# text, numbers as DWORDs.
cat >"$work/settings.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Kirameda\\Duskpane\\WALLPAPER]
"TRANSPARENCY"="1"
"ALPHA_VALUE"=dword:00000080
"WP_FILE"=""
"WP_DISP_MODE"="1"
"WP_FOLDER"="${folder//\\/\\\\}"
"WP_CHG_TIME"=dword:$(printf %08x $((change_seconds)))

[HKEY_CURRENT_USER\\Software\\Kirameda\\Duskpane\\WAVE_SPECTRUM]
"WAVE_SPECTRUM"="1"

[HKEY_CURRENT_USER\\Software\\Kirameda\\Duskpane\\MAIN]
"TRANSPARENCY"=dword:000000c8
REG
timeout 60 "$wine" reg import "$work/settings.reg" >/dev/null 2>&1 || { echo "FAILED: reg import"; exit 1; }
key='HKCU\Software\Kirameda\Duskpane'

ours() {  # ours PID: a process of this prefix
    { tr '\0' '\n' <"/proc/$1/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"
}

prefix_processes() {  # every process of this prefix, "PID NAME" a line
    local dir pid name
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        ours "$pid" || continue
        name=$({ tr '\0' ' ' <"$dir/cmdline"; } 2>/dev/null)
        [ -n "$name" ] && echo "$pid ${name%% }"
    done
}

program_process() {  # the duskpane.exe process of this prefix
    prefix_processes | awk 'index($0, "duskpane.exe") { print $1; exit }'
}

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $width x $height;" \
    "$warmup s warm-up, $duration s measured; $("$wine" --version 2>/dev/null)"

start_program
exe=$(program_process)
[ -n "$exe" ] || { echo "FAILED: no duskpane.exe process"; exit 1; }

sleep "$warmup"
declare -A before names
while read -r pid name; do
    ticks=$(cpu_ticks "$pid") || continue
    before[$pid]=$ticks
    names[$pid]=$name
done < <(prefix_processes)
start_time=$EPOCHREALTIME
sample_memory "$exe" "$duration"
end_time=$EPOCHREALTIME
declare -A after
for pid in "${!before[@]}"; do
    after[$pid]=$(cpu_ticks "$pid") || after[$pid]=${before[$pid]}
done
hwm=$(status_kb "$exe" VmHWM)
rss=$(status_kb "$exe" VmRSS)
anon=$(status_kb "$exe" RssAnon)
bench_details "$exe" duskpane.exe

if [ -z "${before[$exe]:-}" ] || ! kill -0 "$exe" 2>/dev/null; then
    bench_fail "duskpane.exe ended during the measurement"
else
    cpu=$(cpu_percent $((after[$exe] - before[$exe])) "$start_time" "$end_time")
    mb=$(awk -v k="$hwm" 'BEGIN { printf "%.1f", k / 1024 }')
    printf 'duskpane.exe: CPU %s %% of one core over %s s, peak RSS %s MiB (VmHWM %s kB, VmRSS now %s kB)\n' \
        "$cpu" "$duration" "$mb" "$hwm" "$rss"
    # Wine's own DLLs and libraries are files mapped in; the process's
    # private bytes are its anonymous memory.
    printf 'duskpane.exe: private (anonymous) memory %s kB now, %s kB at the most\n' "$anon" "$peak_anon_kb"
    awk -v v="$mb" 'BEGIN { exit !(v > 20) }' &&
        bench_fail "duskpane.exe peaks at $mb MiB, more than the 20 MiB aimed at"
fi
others=0
for pid in "${!before[@]}"; do
    [ "$pid" = "$exe" ] && continue
    ticks=$((after[$pid] - before[$pid]))
    case ${names[$pid]} in
        *wineserver*) echo "wineserver: CPU $(cpu_percent "$ticks" "$start_time" "$end_time") % of one core" ;;
        *) others=$((others + ticks)) ;;
    esac
done
echo "the prefix's other processes together: CPU $(cpu_percent "$others" "$start_time" "$end_time") % of one core"

# Wine names the sound client after the program's version resource.
if capture_stream Duskpane; then
    echo "ok: the program records the default source"
else
    bench_fail "the program has no running record stream"
    pactl list source-outputs | grep -E 'application.name|Corked'
fi
if [ -n "${PICTURE:-}" ]; then
    picture_shown || bench_fail "the picture is not shown"
else
    slideshow_changes || bench_fail "the slideshow did not change pictures"
fi

quit_program
bench_ended Escape
saved=$(timeout 60 "$wine" reg query "$key\\WALLPAPER" /v WP_DISP_MODE 2>/dev/null | tr -d '\r' |
    awk '$1 == "WP_DISP_MODE" { print $3 }')
[ "$saved" = 1 ] || bench_fail "the folder slideshow was not in force (saved WP_DISP_MODE '$saved')"

[ "$bench_failures" -eq 0 ] && echo "all met"
exit $((bench_failures > 0))
