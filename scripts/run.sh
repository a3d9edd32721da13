#!/usr/bin/env bash
# Runs the program in demo/, a program folder of its own: the program, a
# firmware file (veltrax_02092012.hex, 8 KiB), hexcfg.dat (COM1, Debug view on)
# and COM1, a link to the serial line.
#
#   scripts/run.sh                      COM1 is the simulated instrument (veltrax-sim)
#   scripts/run.sh --port /dev/ttyUSB0  COM1 is that port, a real instrument on it
#
# With a display ($DISPLAY set) the window opens and the technician presses
# Send File. Without one (a server, CI) the program runs on a virtual X server
# and one whole update is done by itself: a real click on Send File, Return on
# the question (Yes is the default), screenshots in demo/ at the start, during
# the transfer and at the end. It prints the final status line and the
# simulator's verdict, and exits 0 only when the update succeeded.
# VELTRAX_BUILD_DIR names the build folder (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'
}

port=""
while [ $# -gt 0 ]; do
    case $1 in
        --port) [ $# -ge 2 ] || { usage >&2; exit 2; }; port=$2; shift 2 ;;
        --port=*) port=${1#--port=}; shift ;;
        -h|--help) usage; exit 0 ;;
        *) usage >&2; exit 2 ;;
    esac
done

build=${VELTRAX_BUILD_DIR:-build}
scripts/setup.sh
# The program and the simulated instrument only; the test command builds the rest.
VELTRAX_TARGETS="veltrax-uploader veltrax-sim veltrax-hexgen" scripts/build.sh "$build"

demo=$PWD/demo
title="ORV Veltrax Firmware Uploader"
box_title="Veltrax Firmware Uploader"

say() { echo "run.sh: $*"; }

# Everything started here is ended here, whichever way the script ends.
program_pid="" sim_pid="" xvfb_pid=""
stop_process() {
    local pid=$1
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
cleanup() {
    stop_process "$program_pid"
    stop_process "$sim_pid"
    stop_process "$xvfb_pid"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---- the program folder -----------------------------------------------------
mkdir -p "$demo"
rm -f "$demo"/COM1 "$demo"/veltrax_*.hex "$demo"/*.png
cp "$build/veltrax-uploader" "$demo/"
"$build/tools/veltrax-hexgen" --date 02092012 --size 8K --out-dir "$demo" \
    --binary "$demo/firmware.bin" >/dev/null
printf 'COM=1\r\nDBG=1\r\n' >"$demo/hexcfg.dat"

if [ -n "$port" ]; then
    [ -e "$port" ] || say "warning: $port does not exist (yet); the program will say it cannot open COM1"
    ln -s "$port" "$demo/COM1"
    say "COM1 -> $port"
else
    # Paced at 19200 baud like the real line; a short erase keeps the demo short.
    "$build/tools/veltrax-sim" --link "$demo/COM1" --erase-ms 1500 \
        --log "$demo/sim.log" --image "$demo/image.bin" >"$demo/sim.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do
        grep -q 'ready on' "$demo/sim.out" 2>/dev/null && break
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    grep -q 'ready on' "$demo/sim.out" || { cat "$demo/sim.out" >&2; say "the simulator did not start"; exit 1; }
    say "COM1 -> the simulated instrument ($(sed -n 's/.*(\(.*\))$/\1/p' "$demo/sim.out" | head -1))"
fi

# The simulator's verdict, once it has been told to stop.
sim_verdict() {
    [ -n "$sim_pid" ] || return 0
    local status=0
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" || status=$?
    sim_pid=""
    sed -n 's/^veltrax-sim: verdict: /simulator: /p' "$demo/sim.out"
    if cmp -s "$demo/image.bin" "$demo/firmware.bin"; then
        echo "simulator: its image equals the firmware file's"
    fi
    return "$status"
}

# ---- with a display: the technician drives --------------------------------
if [ -n "${DISPLAY:-}" ]; then
    say "starting the program; press Send File and confirm (close the window to end)"
    status=0
    (cd "$demo" && ./veltrax-uploader) || status=$?
    sim_verdict || true
    exit "$status"
fi

# ---- without one: a whole update on a virtual X server ----------------------
for tool in Xvfb xdotool import xdpyinfo; do
    command -v "$tool" >/dev/null || { say "$tool is missing"; exit 1; }
done
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
# No window manager: windows sit where the program puts them, without frames.
Xvfb ":$display" -screen 0 1024x1280x24 -nolisten tcp >"$demo/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { say "Xvfb did not start"; exit 1; }
say "virtual display $DISPLAY"

log=$demo/uploader.log
(cd "$demo" && exec ./veltrax-uploader) 2>"$log" &
program_pid=$!

last_status() { sed -n 's/^status: //p' "$log" | tail -1; }
# Polls a condition every 0.2 s for up to $1 seconds.
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
find_box() { xdotool search --onlyvisible --name "^$box_title\$" 2>/dev/null | head -1; }
box_shown() { [ -n "$(find_box)" ]; }
transfer_running() { grep -q '^status: Sending file' "$log"; }
update_over() {
    case $(last_status) in
        "Update Successful" | Error* | "Communitcations error." | "Stopped by user!" | \
            Failed* | Timeout* | "File sent UNsuccessfully"* | "Did not"*) return 0 ;;
    esac
    return 1
}

window=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -1) || true
[ -n "$window" ] || { cat "$log" >&2; say "the window did not appear"; exit 1; }
sleep 0.5 # its first paint
# The window is centred from its normal height and grows downwards for the
# Debug view: the virtual screen is tall enough to hold it whole.
shot() { import -window "$window" "$demo/$1"; }
shot 1-start.png
say "window shown"

# Send File lies at x 104..185, y 160..185 of the client area, below the menu
# bar, whose height depends on the fonts: try the likely heights.
clicked=""
for menu_bar in 18 22 26 30 14; do
    xdotool mousemove --window "$window" 144 $((172 + menu_bar)) click 1
    if wait_for 2 box_shown; then
        clicked=$menu_bar
        break
    fi
done
[ -n "$clicked" ] || { shot 3-end.png; say "the question did not appear"; exit 1; }
box=$(find_box)
say "clicked Send File; the question is up"
xdotool windowfocus --sync "$box"
xdotool key Return
wait_for 5 bash -c "! xdotool search --onlyvisible --name '^$box_title\$' >/dev/null 2>&1" ||
    { say "the question did not go away"; exit 1; }

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
echo "screenshots: demo/1-start.png demo/2-transfer.png demo/3-end.png"
[ "$final" = "Update Successful" ] && [ "$sim_status" -eq 0 ]
