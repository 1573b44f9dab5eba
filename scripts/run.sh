#!/usr/bin/env bash
# Installs what is missing, builds Duskpane and runs it on the user's display.
# Without any display (a server, a container) it runs on a private virtual
# X display with a compositing manager and leaves a screenshot of it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build

# Optimised as the benchmarks measure it: the picture blends and pixel
# conversions are vectorised only at this level.
cmake -S . -B build/linux -DDUSKPANE_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
# The program alone; the tests are built by scripts/test.sh.
cmake --build build/linux -j"${JOBS:-2}" --target duskpane

program=build/linux/duskpane
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting Duskpane: right click for its menu, Escape to end it."
  exec "$program"
fi

# No display: Xvfb with picom, so that the dimming is real.
scripts/setup.sh virtual-display
# shellcheck source=../tests/x_session.bash
source tests/x_session.bash
work=$(mktemp -d) width=1280 height=800 pids=()
trap 'set +e; stop_started; rm -rf "$work"' EXIT
x_display_start
picom_start

"$program" &
app=$!
sleep 2
shot=build/linux/duskpane-screenshot.png
screen_shot "$shot"
cat <<MSG
No display was set, so Duskpane runs on the virtual display $DISPLAY.
A screenshot of it is in $shot.
Press Ctrl-C to end it (the settings are saved as with Escape).
MSG
trap 'kill -INT "$app" 2>/dev/null' INT
wait "$app" || true
wait "$app" 2>/dev/null || true
