#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Usage: scripts/setup.sh [build|test|bench|virtual-display]
set -euo pipefail

mode=${1:-test}

packages=(g++ cmake make pkg-config libsqlite3-dev sqlite3 googletest libgtest-dev
          qt6-base-dev qt6-translations-l10n libpulse-dev libjpeg62-turbo-dev fonts-ipafont-gothic
          pulseaudio xvfb picom)
if [ "$mode" = virtual-display ]; then
  packages=(xvfb picom x11-apps imagemagick)
elif [ "$mode" = test ] || [ "$mode" = bench ]; then
  packages+=(g++-mingw-w64-x86-64 mingw-w64-tools wine64 fonts-wine x11-apps x11-utils x11-xserver-utils xdotool imagemagick
             pulseaudio-utils sox clang libclang-rt-14-dev util-linux python3
             # The desktops the program is tried on (tests/desktops): window
             # managers and compositors with their panels, headless Wayland
             # compositors with XWayland, PipeWire, Xorg's dummy driver for two
             # monitors.
             openbox tint2 xfwm4 xfconf dbus-daemon kwin-x11 mutter i3-wm sway grim weston xwayland
             pipewire pipewire-pulse pipewire-bin wireplumber
             xserver-xorg-core xserver-xorg-video-dummy)
  if [ "$mode" = bench ]; then
    # The peers the benchmarks measure the program against.
    packages+=(libfftw3-dev libjpeg-turbo-progs cava hyperfine)
  fi
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
