#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1, with extra CMake arguments after it).
# VELTRAX_TARGETS, when set, names the only targets to build.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
[ -f "$dir/CMakeCache.txt" ] || scripts/configure.sh "$dir" "$@"
targets=()
for t in ${VELTRAX_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
