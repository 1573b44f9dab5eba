#!/usr/bin/env bash
# Installs what is missing, builds Duskpane and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build

cmake -S . -B build/linux >/dev/null
cmake --build build/linux -j"${JOBS:-2}"

cat <<MSG

Built: the portable core, the settings store and the developer tools in build/linux.
The desktop program itself (the darkened screen with the clock) comes next;
until then this shows what the spectrum analysis makes of one second of silence:
MSG
head -c 48000 /dev/zero | build/linux/duskpane-spectrum 65535
