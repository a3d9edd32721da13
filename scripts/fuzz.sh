#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for the
# given number of seconds (default 60), two at a time, on a scratch copy of the
# seed corpus. Fails on any crash, sanitizer report, broken invariant, hang or
# memory blow-up; the input that showed it is kept in build-fuzz/artifacts/.
# FUZZ_JOBS sets how many run at once.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [seconds per target, default 60]" >&2
    exit 2
fi
jobs=${FUZZ_JOBS:-2}
targets=(fuzz_preferences fuzz_firmware_name fuzz_firmware_line fuzz_monitor_reply fuzz_sim_record)
build=build-fuzz

if ! command -v clang++ >/dev/null 2>&1; then
    scripts/setup.sh clang libclang-rt-dev
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
[ -f "$build/CMakeCache.txt" ] && generator=()
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++ -DVELTRAX_FUZZ=ON >/dev/null
cmake --build "$build" --target "${targets[@]}" -j 2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts=$PWD/$build/artifacts
mkdir -p "$artifacts"

run_one() {
    local target=$1 corpus=$scratch/$1
    cp -r "tests/fuzz/corpus/$target" "$corpus"
    "$build/fuzz/$target" "$corpus" -dict="tests/fuzz/dict/$target.dict" \
        -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-" >"$scratch/$target.log" 2>&1 &&
        echo 0 >"$scratch/$target.rc" || echo $? >"$scratch/$target.rc"
}

# A finding ends libFuzzer with a non-zero status; a report that let the run go
# on would still show in the log.
found_nothing() {
    [ "$(cat "$scratch/$1.rc" 2>/dev/null)" = 0 ] &&
        ! grep -qE '^(==[0-9]+==ERROR|SUMMARY: |invariant broken)|runtime error:' \
            "$scratch/$1.log"
}

pids=()
failed=0
for target in "${targets[@]}"; do
    run_one "$target" &
    pids+=("$!")
    if [ "${#pids[@]}" -ge "$jobs" ]; then
        wait "${pids[0]}" || true
        pids=("${pids[@]:1}")
    fi
done
wait || true

printf '%-20s %12s %10s %s\n' target executions exec/s result
for target in "${targets[@]}"; do
    log=$scratch/$target.log
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    if found_nothing "$target"; then
        result=ok
    else
        result=FAILED
        failed=1
    fi
    printf '%-20s %12s %10s %s\n' "$target" "${runs:--}" "${rate:--}" "$result"
done

if [ "$failed" -ne 0 ]; then
    for target in "${targets[@]}"; do
        log=$scratch/$target.log
        if ! found_nothing "$target"; then
            cp "$log" "$artifacts/$target.log"
            echo "---- $target (full log: $artifacts/$target.log)" >&2
            grep -E -A1 'invariant broken' "$log" >&2 || true
            grep -E '==ERROR|runtime error:|^SUMMARY|Test unit written|^Base64' "$log" >&2 || true
        fi
    done
    exit 1
fi
