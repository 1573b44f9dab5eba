#!/usr/bin/env bash
# Installs what is missing, builds Duskpane and runs it on the user's display.
# Without any display (a server, a container) it runs on a private virtual
# X display with a compositing manager and leaves a screenshot of it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build

cmake -S . -B build/linux -DDUSKPANE_SANITIZE=OFF >/dev/null
# The program alone; the tests are built by scripts/test.sh.
cmake --build build/linux -j"${JOBS:-2}" --target duskpane

program=build/linux/duskpane
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting Duskpane: right click for its menu, Escape to end it."
  exec "$program"
fi

# No display: Xvfb with picom, so that the dimming is real.
scripts/setup.sh virtual-display
work=$(mktemp -d)
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
picom --backend xrender --config /dev/null >"$work/picom.log" 2>&1 &
picom=$!
trap 'kill "$picom" "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT

"$program" &
app=$!
sleep 2
shot=build/linux/duskpane-screenshot.png
import -silent -window root "$shot"
cat <<MSG
No display was set, so Duskpane runs on the virtual display $DISPLAY.
A screenshot of it is in $shot.
Press Ctrl-C to end it (the settings are saved as with Escape).
MSG
trap 'kill -INT "$app" 2>/dev/null' INT
wait "$app" || true
wait "$app" 2>/dev/null || true
