# Shared by the benchmark scripts (sourced, not a benchmark itself): the
# picture folder, the screen size the figures are taken at, a private sound
# server playing a tone, the settings that start a folder slideshow with the
# spectrum, and the CPU and memory readings. The display, the program's
# windows and its end are the tests' (../tests/robustness/desktop_session.bash).
#   bench_pictures FOLDER        200 pictures there, made once and kept
#   bench_sound                  a PulseAudio server of our own, its null sink
#                                playing a 1 kHz tone, its monitor the default source
#   bench_linux_settings FOLDER  the settings file ($database, of start_display)
#   bench_measure PID NAME       CPU (% of one core) and peak RSS over $duration
#   bench_ended HOW [WHO]        the program ended on HOW (a signal, a key) with
#                                exit code 0, else a failure
#   capture_stream APPLICATION   the sound server records for that client
#   slideshow_changes            the middle of the screen shows new pictures
#   picture_shown                the middle of the screen shows a picture
# The caller sets `work` (a temporary folder), traps EXIT to session_cleanup
# and may add its own process ids to `pids` (stopped last started first).

# shellcheck source=../tests/robustness/desktop_session.bash
source "$(dirname "${BASH_SOURCE[0]}")/../tests/robustness/desktop_session.bash"

width=1920
height=1080
duration=${DURATION:-60}
warmup=${WARMUP:-10}
# The slideshow period in seconds; every second by default, the hardest case.
change_seconds=${CHANGE_SECONDS:-1}
bench_failures=0
clock_ticks=$(getconf CLK_TCK)

bench_fail() {  # bench_fail MESSAGE: counted, the script ends with status 1
    echo "FAILED: $1"
    bench_failures=$((bench_failures + 1))
}

# The picture folder of a slideshow: mostly screen-sized JPEG photographs
# (gradients, shapes and grain, so they decode like photographs do), some
# Windows bitmaps, and smaller sizes among them; none larger than the screen.
# Made once: a folder that already holds the 200 pictures is used as it is.
bench_pictures() {
    local folder=$1 i
    mkdir -p "$folder"
    [ "$(find "$folder" -maxdepth 1 -name 'picture-*' | wc -l)" -eq 200 ] && return 0
    echo "making 200 pictures in $folder (once)"
    rm -f "$folder"/picture-*
    local sizes=(1920x1080 1920x1080 1920x1080 1920x1080 1920x1080 1600x900 1280x1024 1024x768
                 1920x1080 640x480)
    RANDOM=4711
    for ((i = 0; i < 200; ++i)); do
        local size=${sizes[i % 10]} w h c=()
        w=${size%x*}
        h=${size#*x}
        for _ in 1 2 3 4 5; do c+=("$(printf '#%02x%02x%02x' $((RANDOM % 256)) $((RANDOM % 256)) $((RANDOM % 256)))"); done
        local shapes=(-sparse-color Barycentric "0,0 ${c[0]} $w,0 ${c[1]} 0,$h ${c[2]}"
            -fill "${c[3]}" -draw "circle $((RANDOM % w)),$((RANDOM % h)) $((RANDOM % w)),$((RANDOM % h))"
            -fill "${c[4]}" -draw "rectangle $((RANDOM % (w / 2))),$((RANDOM % (h / 2))) $((w / 2 + RANDOM % (w / 2))),$((h / 2 + RANDOM % (h / 2)))")
        if ((i % 8 == 7)); then
            convert -size "$size" xc: "${shapes[@]}" -type TrueColor "BMP3:$folder/picture-$i.bmp" || return 1
        else
            convert -size "$size" xc: "${shapes[@]}" -attenuate 3 +noise Gaussian -blur 0x1 \
                -quality 88 "$folder/picture-$i.jpg" || return 1
        fi
    done
}

# The tone lasts longer than any run of the script needs.
bench_sound() {
    start_sound_server
    tone_seconds=$((3 * (warmup + duration) + 120)) play_tone
    sleep 0.3
}

# The eight settings as the program stores them (booleans and the folder as
# text, numbers as integers), in the tables the program creates: a folder
# slideshow changing every $change_seconds seconds, the picture blended at
# 128, the dimming at 200 and the spectrum shown.
bench_linux_settings() {
    local folder=$1
    local quoted=${folder//\'/\'\'}
    seed_settings "INSERT INTO value(section, name, data) VALUES
        ('WALLPAPER', 'TRANSPARENCY', '1'), ('WALLPAPER', 'ALPHA_VALUE', 128), ('WALLPAPER', 'WP_FILE', ''),
        ('WALLPAPER', 'WP_DISP_MODE', '1'), ('WALLPAPER', 'WP_FOLDER', '$quoted'),
        ('WALLPAPER', 'WP_CHG_TIME', $((change_seconds))), ('WAVE_SPECTRUM', 'WAVE_SPECTRUM', '1'),
        ('MAIN', 'TRANSPARENCY', 200)"
}

cpu_ticks() {  # cpu_ticks PID: user and system time so far, in clock ticks
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    # The fields after the command name, which may hold spaces: utime and
    # stime are the 12th and 13th of them.
    set -- ${stat##*) }
    echo $((${12} + ${13}))
}

cpu_percent() {  # cpu_percent TICKS FROM TO: ticks between two $EPOCHREALTIME as % of one core
    awk -v t="$1" -v hz="$clock_ticks" -v a="$2" -v b="$3" 'BEGIN { printf "%.2f", 100 * t / hz / (b - a) }'
}

status_kb() {  # status_kb PID FIELD: a /proc/PID/status figure in kB
    awk -v field="$2:" '$1 == field { print $2 }' "/proc/$1/status" 2>/dev/null
}

# sample_memory PID SECONDS: waits that long, reading the process's
# anonymous resident memory every 0.2 s: its own heap and stacks, apart from
# the shared libraries and (under Wine) the DLL files mapped in. Sets
# peak_anon_kb.
sample_memory() {
    local pid=$1 anon end
    end=$((${EPOCHREALTIME/./} + $2 * 1000000))
    peak_anon_kb=0
    while ((${EPOCHREALTIME/./} < end)); do
        anon=$(status_kb "$pid" RssAnon)
        [ -n "$anon" ] && ((anon > peak_anon_kb)) && peak_anon_kb=$anon
        sleep 0.2
    done
}

# bench_measure PID NAME [TARGET_CPU TARGET_MB]: waits the warm-up, then
# reads the CPU time the process took over $duration seconds as a share of
# one core, its peak resident size at the end and the peak of its own
# (anonymous) part while measuring. Sets measured_cpu and measured_mb; a
# target given and missed counts as a failure.
bench_measure() {
    local pid=$1 name=$2 target_cpu=${3:-} target_mb=${4:-}
    sleep "$warmup"
    local start_ticks end_ticks start_time end_time
    start_ticks=$(cpu_ticks "$pid") || { bench_fail "$name ended during the warm-up"; return 1; }
    start_time=$EPOCHREALTIME
    sample_memory "$pid" "$duration"
    end_ticks=$(cpu_ticks "$pid") || { bench_fail "$name ended during the measurement"; return 1; }
    end_time=$EPOCHREALTIME
    local hwm rss anon
    hwm=$(status_kb "$pid" VmHWM)
    rss=$(status_kb "$pid" VmRSS)
    anon=$(status_kb "$pid" RssAnon)
    measured_cpu=$(cpu_percent $((end_ticks - start_ticks)) "$start_time" "$end_time")
    measured_mb=$(awk -v k="$hwm" 'BEGIN { printf "%.1f", k / 1024 }')
    printf '%s: CPU %s %% of one core over %s s (%d ticks), peak RSS %s MiB (VmHWM %s kB, VmRSS now %s kB);' \
        "$name" "$measured_cpu" "$duration" $((end_ticks - start_ticks)) "$measured_mb" "$hwm" "$rss"
    printf ' its own anonymous memory %s kB now, %s kB at the most\n' "$anon" "$peak_anon_kb"
    if [ -n "$target_cpu" ] && awk -v v="$measured_cpu" -v t="$target_cpu" 'BEGIN { exit !(v > t) }'; then
        bench_fail "$name takes $measured_cpu % of one core, more than the $target_cpu % aimed at"
    fi
    if [ -n "$target_mb" ] && awk -v v="$measured_mb" -v t="$target_mb" 'BEGIN { exit !(v > t) }'; then
        bench_fail "$name peaks at $measured_mb MiB, more than the $target_mb MiB aimed at"
    fi
    return 0
}

# bench_details PID NAME: with DETAILS=<folder>, where the process's memory
# lies, kept there for a closer look.
bench_details() {
    [ -n "${DETAILS:-}" ] || return 0
    mkdir -p "$DETAILS"
    cat "/proc/$1/status" >"$DETAILS/$2.status" 2>/dev/null
    cat "/proc/$1/smaps_rollup" >"$DETAILS/$2.smaps_rollup" 2>/dev/null
    cat "/proc/$1/smaps" >"$DETAILS/$2.smaps" 2>/dev/null
    pmap -x "$1" >"$DETAILS/$2.pmap" 2>/dev/null
}

bench_ended() {
    ended_with 0 && return 0
    if [ -n "$exit_code" ]; then
        bench_fail "${2:-the program} ended with exit code $exit_code"
    else
        bench_fail "${2:-the program} did not end on $1 within 10 s"
    fi
}

capture_stream() {  # capture_stream APPLICATION: a running record stream of that client
    pactl list source-outputs | awk -v name="application.name = \"$1\"" '
        /^Source Output #/ { corked = "" }
        /Corked:/ { corked = $2 }
        index($0, name) && corked == "no" { found = 1 }
        END { exit !found }'
}

# Screens a little more than a slideshow period apart, the middle of the
# screen only (the clock and the spectrum lie outside it): at least two
# different pictures among five, and none of them plain. With a period
# longer than five seconds, one screen showing a picture.
slideshow_changes() {
    local i sums=() spreads=() plain=0 spread screens=5 apart
    apart=$(awk -v p="$change_seconds" 'BEGIN { print p * 1.3 }')
    ((change_seconds > 5)) && screens=1
    for ((i = 1; i <= screens; ++i)); do
        xwd -root -silent | convert xwd:- -crop 960x540+480+270 +repage -depth 8 "rgb:$work/middle-$i.rgb"
        sums+=("$(md5sum <"$work/middle-$i.rgb" | cut -d' ' -f1)")
        # The standard deviation of the grey levels, 0 to 255.
        spread=$(convert -size 960x540 -depth 8 "rgb:$work/middle-$i.rgb" -colorspace gray \
            -format '%[fx:int(255 * standard_deviation + 0.5)]' info:)
        spreads+=("$spread")
        [ "$spread" -ge 2 ] || plain=$((plain + 1))
        if [ -n "${DETAILS:-}" ]; then
            mkdir -p "$DETAILS"
            convert -size 960x540 -depth 8 "rgb:$work/middle-$i.rgb" "$DETAILS/middle-$i.png"
        fi
        ((i < screens)) && sleep "$apart"
    done
    local distinct
    distinct=$(printf '%s\n' "${sums[@]}" | sort -u | wc -l)
    if ((screens > 1)); then
        echo "slideshow: $distinct different pictures in $screens screens $apart s apart, $plain plain" \
            "(grey level spreads ${spreads[*]})"
    else
        echo "slideshow: one screen, $plain plain (grey level spread ${spreads[*]})"
    fi
    [ "$distinct" -ge $((screens > 1 ? 2 : 1)) ] && [ "$plain" -eq 0 ]
}

# picture_shown: the middle of the screen is not plain.
picture_shown() {
    local spread
    spread=$(xwd -root -silent | convert xwd:- -crop 960x540+480+270 -colorspace gray \
        -format '%[fx:int(255 * standard_deviation + 0.5)]' info:)
    echo "picture: grey level spread $spread in the middle of the screen"
    [ "$spread" -ge 2 ]
}

# The Linux program to measure ($PROGRAM, or build/bench built in Release),
# the pictures made once, a working folder and the cleanup at the end: sets
# program, pictures, work and app.
bench_linux_start() {
    program=${PROGRAM:-}
    if [ -z "$program" ]; then
        cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DDUSKPANE_TESTS=OFF >/dev/null &&
            cmake --build build/bench -j2 --target duskpane >/dev/null || { echo "FAILED: the build"; exit 1; }
        program=build/bench/duskpane
    fi
    program=$(realpath "$program")
    pictures=$(realpath -m "${PICTURES:-build/bench-pictures}")
    bench_pictures "$pictures" || { echo "FAILED: making the pictures"; exit 1; }

    work=$(mktemp -d)
    trap session_cleanup EXIT
}
