#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the Linux
# build and the Windows cross-build (its tests run under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh test

jobs=${JOBS:-2}

echo "== Linux build and tests (under AddressSanitizer and UndefinedBehaviorSanitizer)"
# Apart from build/linux, which scripts/run.sh builds without the sanitizers.
cmake -S . -B build/sanitize -DDUSKPANE_WERROR=ON -DDUSKPANE_SANITIZE=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
ctest --test-dir build/sanitize --output-on-failure

echo "== Fuzzing the picture decoders and the settings store (${FUZZ_SECONDS:-60} s each)"
scripts/fuzz.sh "${FUZZ_SECONDS:-60}"

echo "== Windows cross-build and tests under Wine"
export WINEPREFIX="$PWD/build/wineprefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DDUSKPANE_WERROR=ON >/dev/null
cmake --build build/windows -j"$jobs"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 120 /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
fi
ctest --test-dir build/windows --output-on-failure
