#!/usr/bin/env bash
# Builds and runs the benchmark (bench/): wire efficiency, turnaround, processor
# while idle, memory and start-up, each beside its target; then the production
# line (veltrax-flash alone and on eight instruments at once, about 75 s). A
# full run takes about six minutes, the paced transfer of a 256 KiB image alone
# about 3.5; --quick uses a 32 KiB image. Arguments go to veltrax-bench
# (--quick, --size BYTES).
# VELTRAX_BUILD_DIR names the build folder (default build/), VELTRAX_JOBS the
# number of compile jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VELTRAX_BUILD_DIR:-build}
scripts/setup.sh
[ -f "$build/CMakeCache.txt" ] || scripts/configure.sh "$build"
# "flash" first runs only the production-line benchmark (veltrax-flash-bench:
# veltrax-flash on one simulated instrument, then on eight at once), with the
# arguments after it (--size BYTES, --instruments N).
if [ "${1:-}" = flash ]; then
    shift
    cmake --build "$build" --target veltrax-flash-bench -j "${VELTRAX_JOBS:-$(nproc)}"
    exec "$build/bench/veltrax-flash-bench" "$@"
fi
# "soak" runs some hundreds of updates through veltrax-flash, 8 at once, each
# simulator with a seeded fault or none, every ending checked against the table
# of endings (veltrax-flash-soak: --updates N, --seed S; about 7 minutes).
if [ "${1:-}" = soak ]; then
    shift
    cmake --build "$build" --target veltrax-flash-soak -j "${VELTRAX_JOBS:-$(nproc)}"
    exec "$build/bench/veltrax-flash-soak" "$@"
fi
cmake --build "$build" --target veltrax-bench veltrax-flash-bench -j "${VELTRAX_JOBS:-$(nproc)}"
"$build/bench/veltrax-bench" "$@"
exec "$build/bench/veltrax-flash-bench"
