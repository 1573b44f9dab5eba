#!/bin/bash
# Start-up time of the Linux program: from its launch to both of its screen
# windows ("Duskpane" and "SubForm", each the size of the screen) being
# mapped on a 1920 x 1080 Xvfb with a compositing manager, with the folder
# slideshow and the spectrum of a private sound server's tone in force.
# The maps are taken from the X server's own notifications (xev on the root
# window), stamped as they come. 20 runs, each ended with SIGTERM; minimum,
# median and maximum. Aimed at: a median of at most 300 ms.
# Usage: bench/startup.sh   (builds build/bench first)
#   PROGRAM=path/to/duskpane  measure that build instead
#   RUNS=20                   number of launches
#   PICTURES=folder           where the 200 pictures are made once and kept
# Exit 0: target met and every run passed; 1: not; 77: tools missing.
set -u
cd "$(dirname "$0")/.." || exit 1
# shellcheck source=bench/bench_session.bash
source bench/bench_session.bash
require_tools Xvfb picom xwud xwininfo xev stdbuf convert sqlite3 pulseaudio pactl paplay sox

runs=${RUNS:-20}
target_ms=300
bench_linux_start

# Only the length of the tone depends on these.
duration=$((runs * 2))
warmup=0
start_display
bench_sound
bench_linux_settings "$pictures"

# Every map of a top-level window, with the time it was read and the CPU
# time (user and system, in clock ticks) the program had taken by then.
mkfifo "$work/xev.fifo"
stdbuf -oL xev -root -event substructure >"$work/xev.fifo" 2>/dev/null &
pids+=($!)
: >"$work/pid"
while IFS= read -r line; do
    now=$EPOCHREALTIME
    ticks=-
    if [ "${pending:-}" = 1 ]; then
        read -r pid <"$work/pid"
        if [ -n "$pid" ] && read -r stat <"/proc/$pid/stat"; then
            read -r -a fields <<<"${stat##*) }"
            ticks=$((fields[11] + fields[12]))
        fi
    fi
    pending=0
    [[ $line == *"MapNotify event"* ]] && pending=1
    printf '%s %s %s\n' "$now" "$ticks" "$line"
done <"$work/xev.fifo" >"$work/events" 2>/dev/null &
pids+=($!)
sleep 0.5

mapped_at() {  # mapped_at FIRST_LINE WINDOW: "TIME TICKS" of the window's map, after that line
    tail -n +"$1" "$work/events" | awk -v id="$2" '
        / MapNotify event/ { pending = 1; next }
        pending { pending = 0; for (i = 3; i < NF; ++i) if ($i == "window" && $(i + 1) == id ",") { print $1, $2; exit } }'
}

# Both screen windows mapped since that line of the events (mapped_at of
# each in main_at and sub_at); the windows are looked for once two maps came.
both_mapped() {
    [ "$(tail -n +"$1" "$work/events" | grep -c ' MapNotify event')" -ge 2 ] || return 1
    main_at=$(mapped_at "$1" "$(window_of Duskpane)")
    sub_at=$(mapped_at "$1" "$(window_of SubForm)")
    [ -n "$main_at" ] && [ -n "$sub_at" ]
}

median_of() {  # the median of the numbers on standard input, with the minimum and maximum: "MIN MEDIAN MAX"
    sort -n | awk '{ v[NR] = $1 }
        END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%s %.1f %s\n", v[1], m, v[NR] }'
}

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $width x $height; $runs runs;" \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
times=()
cpu_times=()
for ((run = 1; run <= runs; ++run)); do
    first=$(($(wc -l <"$work/events") + 1))
    started=$EPOCHREALTIME
    "$program" >"$work/program.log" 2>&1 &
    app=$!
    echo "$app" >"$work/pid"
    if ! wait_until 15 both_mapped "$first"; then
        bench_fail "run $run: the program's windows were not mapped within 15 s"
    else
        read -r ms cpu_ms < <(awk -v a="$started" -v m="$main_at" -v s="$sub_at" -v hz="$clock_ticks" '
            BEGIN { split(m, mm, " "); split(s, ss, " "); last = mm[1] > ss[1] ? 1 : 2
                    t = last == 1 ? mm[1] : ss[1]; c = last == 1 ? mm[2] : ss[2]
                    printf "%.1f %s\n", 1000 * (t - a), c == "-" ? "-" : 1000 * c / hz }')
        times+=("$ms")
        [ "$cpu_ms" != - ] && cpu_times+=("$cpu_ms")
        echo "run $run: $ms ms (the program's CPU time by then: $cpu_ms ms)"
    fi
    kill -TERM "$app"
    bench_ended SIGTERM "run $run: the program"
    if [ -s "$work/program.log" ]; then
        echo "run $run: the program said:"
        cat "$work/program.log"
    fi
    sleep 0.5
done

if [ ${#times[@]} -gt 0 ]; then
    read -r low median high < <(printf '%s\n' "${times[@]}" | median_of)
    echo "start-up to both windows mapped: min $low ms, median $median ms, max $high ms over ${#times[@]} runs"
    if [ ${#cpu_times[@]} -gt 0 ]; then
        read -r cpu_low cpu_median cpu_high < <(printf '%s\n' "${cpu_times[@]}" | median_of)
        echo "the program's CPU time until then: min $cpu_low ms, median $cpu_median ms, max $cpu_high ms"
    fi
    echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores; above that the times include waiting for a core)"
    awk -v m="$median" -v t="$target_ms" 'BEGIN { exit !(m > t) }' &&
        bench_fail "the median start-up $median ms is more than the $target_ms ms aimed at"
fi
[ "$bench_failures" -eq 0 ] && echo "all met"
exit $((bench_failures > 0))
