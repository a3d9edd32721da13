#!/usr/bin/env bash
# Configures a build folder: scripts/configure.sh DIR [CMake arguments].
# A new folder gets Ninja when it is there and RelWithDebInfo unless the
# arguments say otherwise; a folder configured before keeps its generator and
# settings, and the arguments given change them. The build, benchmark, fuzz
# and package scripts all configure through here.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
first=()
if [ ! -f "$dir/CMakeCache.txt" ]; then
    command -v ninja >/dev/null 2>&1 && first+=(-G Ninja)
    first+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi
exec cmake -S . -B "$dir" "${first[@]}" "$@"
