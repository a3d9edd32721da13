#!/usr/bin/env bash
# Installs what building, running and testing need, where it is missing.
# Debian and Ubuntu only; elsewhere it names the packages and stops.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
          libgtest-dev googletest xvfb xauth openbox imagemagick fonts-dejavu-core fonts-liberation
          xdotool help2man
          "$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
    echo "This machine has no apt-get. Install these packages (or your system's equivalents) and run again:" >&2
    echo "  ${missing[*]}" >&2
    exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "Not root and no sudo. As root, run:" >&2
    echo "  apt-get install ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
