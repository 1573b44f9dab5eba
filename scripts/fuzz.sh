#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each one for
# SECONDS (default 60) from a copy of its seeds in fuzz/corpus, so that the
# committed seeds never grow. Prints one verdict per target and exits non-zero
# when any of them crashed, leaked, ran out of memory or timed out; the input
# that did it and the run's log stay in build/fuzz/findings/<target>.
#
#   scripts/fuzz.sh [SECONDS]
#
# FUZZ_BUILD_DIR names another build folder; JOBS the build's parallel jobs.
#
# Limits: 10 s per input; 2048 MB of resident memory and 1024 MB for a single
# allocation, above the 512 MB of the largest picture part the decoders keep.
# Exits 77 (skipped) when clang is not installed.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

seconds=${1:-60}
case "$seconds" in
  '' | *[!0-9]* | 0) echo "usage: scripts/fuzz.sh [SECONDS], at least 1 second" >&2; exit 2 ;;
esac
targets=(fuzz_jpeg fuzz_bmp fuzz_settings)

if ! command -v clang >/dev/null || ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang is not installed; skipped" >&2
  exit 77
fi

build=${FUZZ_BUILD_DIR:-build/fuzz}
mkdir -p "$build"
if ! CC=clang CXX=clang++ cmake -S . -B "$build" -DDUSKPANE_FUZZ=ON -DDUSKPANE_TESTS=OFF \
       -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1; then
  cat "$build/configure.log" >&2
  echo "fuzz.sh: configuring $build failed" >&2
  exit 1
fi
cmake --build "$build" -j"${JOBS:-2}" --target "${targets[@]}" || { echo "fuzz.sh: build failed" >&2; exit 1; }

# In memory where the system has it: the settings target commits to its file.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"  # fuzz_settings keeps its files here

failed=0
for target in "${targets[@]}"; do
  seeds=fuzz/corpus/${target#fuzz_}
  corpus=$work/corpus-$target
  findings=$build/findings/$target
  rm -rf "$findings"
  mkdir -p "$corpus" "$findings"
  cp "$seeds"/* "$corpus"/
  log=$findings/run.log

  "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=1024 -detect_leaks=1 -print_final_stats=1 \
    -artifact_prefix="$findings/" >"$log" 2>&1
  status=$?

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
  if [ "$status" -eq 0 ]; then
    echo "$target: ok, ${runs:-?} inputs in ${seconds}s (${speed:-?} exec/s), ${cov:-cov: ?}"
  else
    failed=1
    # The target's own check, a sanitizer's report or libFuzzer's verdict.
    kind=$(grep -m 1 "^$target: " "$log" | sed "s/^$target: //")
    [ -n "$kind" ] || kind=$(grep -o -m 1 -E 'runtime error: .*' "$log")
    [ -n "$kind" ] || kind=$(grep -o -m 1 -E 'ERROR: [A-Za-z]+: [a-z-]+' "$log" | sed 's/^ERROR: //')
    inputs=$(find "$findings" -type f ! -name run.log | tr '\n' ' ')
    echo "$target: FAILED (exit $status: ${kind:-see the log}); input: ${inputs:-none kept}; log: $log"
  fi
done
exit "$failed"
