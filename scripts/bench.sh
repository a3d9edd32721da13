#!/usr/bin/env bash
# Builds and runs the benchmark (bench/): wire efficiency, turnaround, processor
# while idle, memory and start-up, each beside its target. A full run takes
# about five minutes, the paced transfer of a 256 KiB image alone about 3.5;
# --quick uses a 32 KiB image. Arguments go to veltrax-bench (--quick, --size BYTES).
# VELTRAX_BUILD_DIR names the build folder (default build/), VELTRAX_JOBS the
# number of compile jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VELTRAX_BUILD_DIR:-build}
scripts/setup.sh
if [ ! -f "$build/CMakeCache.txt" ]; then
    generator=()
    command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
    cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target veltrax-bench -j "${VELTRAX_JOBS:-$(nproc)}"
exec "$build/bench/veltrax-bench" "$@"
