#!/usr/bin/env bash
# Runs the uploader in a program folder against the simulated instrument and
# drives one whole update through its window with the keyboard, as a
# technician would: Send File (first in the window's tab order, so it has the
# focus when the window opens), Return on the question (Yes is the default).
# The demo and the package tests both run their updates through this script.
#
#   scripts/drive-update.sh [options] -- COMMAND [ARGUMENT...]
#
#   --folder DIR      the program folder COMMAND runs in (required)
#   --sim PROGRAM     start veltrax-sim with COM1 of DIR linked to it
#   --image FILE      the firmware's raw image: the simulator's must equal it
#   --logs DIR        where the program's, the simulator's and the X server's
#                     output go (default: DIR)
#   --shots DIR       screenshots 1-start.png, 2-transfer.png, 3-end.png
#   --start-only      only start: wait for the window, print the status it
#                     shows after start-up, end the program
#   --by-hand         on the display in $DISPLAY, the person at it drives; the
#                     script waits for the window to be closed
#
# Without --by-hand the window is on a virtual X server of the script's own
# (Xvfb, no window manager). Prints the final status line (and the
# simulator's verdict) and exits 0 only when the update succeeded.
set -euo pipefail

title="ORV Veltrax Firmware Uploader"
box_title="Veltrax Firmware Uploader"
say() { echo "drive-update: $*"; }
usage() { sed -n '8,21p' "$0" | sed 's/^# \{0,1\}//'; }

# ---- options ------------------------------------------------------------------
folder="" sim="" image="" logs="" shots="" start_only="" by_hand=""
while [ $# -gt 0 ]; do
    case $1 in
        --folder) folder=$2; shift 2 ;;
        --sim) sim=$2; shift 2 ;;
        --image) image=$2; shift 2 ;;
        --logs) logs=$2; shift 2 ;;
        --shots) shots=$2; shift 2 ;;
        --start-only) start_only=1; shift ;;
        --by-hand) by_hand=1; shift ;;
        --) shift; break ;;
        *) usage >&2; exit 2 ;;
    esac
done
[ -n "$folder" ] && [ $# -gt 0 ] || { usage >&2; exit 2; }
[ -d "$folder" ] || { say "no folder $folder"; exit 2; }
logs=${logs:-$folder}
mkdir -p "$logs"
log=$logs/uploader.log

# Everything started here is ended here, whichever way the script ends.
program_pid="" sim_pid="" xvfb_pid=""
source "$(dirname "$0")/lib/stop-process.sh"
cleanup() {
    stop_process "$program_pid"
    stop_process "$sim_pid"
    stop_process "$xvfb_pid"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---- the simulated instrument on COM1 ---------------------------------------
if [ -n "$sim" ]; then
    # Paced at 19200 baud like the real line; a short erase keeps the run short.
    "$sim" --link "$folder/COM1" --erase-ms 1500 --log "$logs/sim.log" \
        ${image:+--image "$logs/image.bin"} >"$logs/sim.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do
        grep -q 'ready on' "$logs/sim.out" 2>/dev/null && break
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    grep -q 'ready on' "$logs/sim.out" || { cat "$logs/sim.out" >&2; say "the simulator did not start"; exit 1; }
    say "COM1 -> the simulated instrument ($(sed -n 's/.*(\(.*\))$/\1/p' "$logs/sim.out" | head -1))"
fi

# The simulator's verdict, once it has been told to stop.
sim_verdict() {
    [ -n "$sim_pid" ] || return 0
    local status=0
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" || status=$?
    sim_pid=""
    sed -n 's/^veltrax-sim: verdict: /simulator: /p' "$logs/sim.out"
    if [ -n "$image" ]; then
        if cmp -s "$logs/image.bin" "$image"; then
            echo "simulator: its image equals the firmware file's"
        else
            echo "simulator: its image differs from the firmware file's"
            status=1
        fi
    fi
    return "$status"
}

# ---- by hand: the person at the display drives -------------------------------
if [ -n "$by_hand" ]; then
    say "press Send File and confirm; close the window to end"
    status=0
    (cd "$folder" && exec "$@") || status=$?
    sim_verdict || true
    exit "$status"
fi

# ---- a virtual display -------------------------------------------------------
for tool in Xvfb xdotool ${shots:+import}; do
    command -v "$tool" >/dev/null || { say "$tool is missing"; exit 1; }
done
# Tall enough for the Debug view whole; no window manager: windows sit where
# the program puts them, without frames. The server picks a free display and
# writes its number once it takes connections: a display number chosen here
# could still belong to a server that is shutting down.
Xvfb -displayfd 3 -screen 0 1024x1280x24 -nolisten tcp 3>"$logs/display" >"$logs/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$logs/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
display=$(head -1 "$logs/display" 2>/dev/null || true)
[ -n "$display" ] || { cat "$logs/xvfb.log" >&2; say "Xvfb did not start"; exit 1; }
export DISPLAY=":$display"
# A real X window, whatever the caller chose (the test command runs its other
# stages offscreen).
export QT_QPA_PLATFORM=xcb

# ---- the program -----------------------------------------------------------------
(cd "$folder" && exec "$@") 2>"$log" &
program_pid=$!

last_status() { sed -n 's/^status: //p' "$log" | tail -1; }
# Polls a condition every 0.2 s for up to $1 seconds, while the program runs.
wait_for() {
    local limit=$1
    shift
    for _ in $(seq $((limit * 5))); do
        "$@" && return 0
        kill -0 "$program_pid" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}
find_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
box_shown() { [ -n "$(find_window "$box_title")" ]; }
box_gone() { ! box_shown; }
transfer_running() { grep -q '^status: Sending file' "$log"; }
update_over() {
    case $(last_status) in
        "Update Successful" | Error* | "Communitcations error." | "Stopped by user!" | \
            Failed* | Timeout* | "File sent UNsuccessfully"* | "Did not"*) return 0 ;;
    esac
    return 1
}
shot() { [ -z "$shots" ] || import -window "$window" "$shots/$1"; }

window=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -1) || true
[ -n "$window" ] || { cat "$log" >&2; say "the window did not appear"; exit 1; }
sleep 0.5 # its first paint
shot 1-start.png
say "window shown; status: $(last_status)"
if [ -n "$start_only" ]; then
    echo "start-up status: $(last_status)"
    exit 0
fi

# ---- the update, by keyboard -----------------------------------------------------
# The focus goes to the first element in the tab order, Send File, as the
# window gets the keyboard.
xdotool windowfocus --sync "$window"
xdotool key space
wait_for 5 box_shown || { shot 3-end.png; say "the question did not appear"; exit 1; }
say "pressed Send File; the question is up"
xdotool windowfocus --sync "$(find_window "$box_title")"
xdotool key Return
wait_for 5 box_gone || { say "the question did not go away"; exit 1; }

if wait_for 60 transfer_running; then
    sleep 2 # some lines into it
    shot 2-transfer.png
    say "transfer running; status: $(last_status)"
fi
wait_for 90 update_over || say "no final status within 90 s"
sleep 0.5
shot 3-end.png
final=$(last_status)

# There is no window manager to pass on a close request: end the program.
stop_process "$program_pid"
program_pid=""

echo "final status: $final"
sim_status=0
sim_verdict || sim_status=$?
[ "$final" = "Update Successful" ] && [ "$sim_status" -eq 0 ]
