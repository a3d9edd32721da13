#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for the
# given number of seconds (default 60), two at a time, on a scratch copy of its
# seed corpus. Fails on any crash, sanitizer report, broken invariant, hang or
# memory blow-up; the input that showed it is kept in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [seconds per target, default 60]" >&2
    exit 2
fi
targets=(fuzz_preferences fuzz_firmware_name fuzz_firmware_line)
build=build-fuzz
command -v clang++ >/dev/null 2>&1 || scripts/setup.sh clang
# libFuzzer and the sanitizers' run-time libraries of the compiler's own version.
scripts/setup.sh "libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev"
# No build type: the fuzz targets set their own optimisation and debug flags.
scripts/configure.sh "$build" -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_COMPILER=clang++ -DVELTRAX_FUZZ=ON \
    >/dev/null
cmake --build "$build" --target "${targets[@]}" -j 2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts=$PWD/$build/artifacts
mkdir -p "$artifacts"

run() {
    cp -r "tests/fuzz/corpus/$1" "$scratch/$1"
    "$build/fuzz/$1" "$scratch/$1" -dict="tests/fuzz/dict/$1.dict" -max_total_time="$seconds" \
        -timeout=5 -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$artifacts/$1-" \
        >"$scratch/$1.log" 2>&1 && echo 0 >"$scratch/$1.rc" || echo $? >"$scratch/$1.rc"
}
for target in "${targets[@]}"; do
    run "$target" &
    [ "$(jobs -rp | wc -l)" -lt 2 ] || wait -n || true
done
wait

# A finding ends libFuzzer with a non-zero status; a report that let the run go
# on would still show in the log.
failed=0
printf '%-20s %12s %s\n' target executions result
for target in "${targets[@]}"; do
    log=$scratch/$target.log
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    result=ok
    if [ "$(cat "$scratch/$target.rc")" != 0 ] ||
        grep -qE '^(==[0-9]+==ERROR|SUMMARY: |invariant broken)|runtime error:' "$log"; then
        result=FAILED
        failed=1
        cp "$log" "$artifacts/$target.log"
        grep -E -A1 'invariant broken|==ERROR|runtime error:|^SUMMARY|Test unit written' "$log" >&2 ||
            true
    fi
    printf '%-20s %12s %s\n' "$target" "${runs:--}" "$result"
done
[ "$failed" -eq 0 ] || echo "fuzzing found a fault; logs and inputs in $artifacts" >&2
exit "$failed"
