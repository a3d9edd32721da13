# shellcheck shell=bash
# stop_process PID: ends a child of the sourcing script, if it still runs:
# SIGTERM, up to 5 s to end, then SIGKILL; reaped either way.
stop_process() {
    local pid=$1
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
