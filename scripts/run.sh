#!/usr/bin/env bash
# The demo: runs the program in demo/, a program folder of its own, against
# the simulated instrument (veltrax-sim). demo/ holds the program, a firmware
# file (veltrax_02092012.hex, 8 KiB), hexcfg.dat (COM1, Debug view on) and a
# link for every COM port: COM1 to the simulator, COM2 to COM16 to nothing,
# so that no pick in the demo can reach a serial port of this machine.
#
# With a display ($DISPLAY set) the window opens and you press Send File.
# Without one (a server, CI) scripts/drive-update.sh does one whole update on
# a virtual X server by keyboard, with screenshots in demo/ at the start,
# during the transfer and at the end, and exits 0 only when it succeeded.
#
# A real instrument is never reached from here: see the README's section for
# the technician. VELTRAX_BUILD_DIR names the build folder (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."

case ${1:-} in
    "") ;;
    -h | --help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh takes no arguments; a real instrument is reached through the installed program (README)" >&2; exit 2 ;;
esac

build=${VELTRAX_BUILD_DIR:-build}
scripts/setup.sh x11-utils
# Every program the README uses, and their manual pages (for "cmake --install");
# the test command builds the rest.
VELTRAX_TARGETS="veltrax-uploader veltrax-flash veltrax-ports veltrax-sim veltrax-hexgen manual_pages" \
    scripts/build.sh "$build"

demo=$PWD/demo
mkdir -p "$demo"
rm -f "$demo"/COM* "$demo"/veltrax_*.hex "$demo"/*.png
cp "$build/veltrax-uploader" "$demo/"
"$build/tools/veltrax-hexgen" --date 02092012 --size 8K --out-dir "$demo" \
    --binary "$demo/firmware.bin" >/dev/null
printf 'COM=1\r\nDBG=1\r\n' >"$demo/hexcfg.dat"
# COM1 is linked to the simulator while it runs, and to nothing afterwards.
for port in $(seq 1 16); do
    ln -s not-connected "$demo/COM$port"
done
echo "run.sh: COM2 to COM16 lead nowhere; each says \"Could not open ComN\""

drive=(scripts/drive-update.sh --folder "$demo" --sim "$build/tools/veltrax-sim"
       --image "$demo/firmware.bin")
status=0
if [ -n "${DISPLAY:-}" ]; then
    "${drive[@]}" --by-hand -- ./veltrax-uploader || status=$?
else
    "${drive[@]}" --shots "$demo" -- ./veltrax-uploader || status=$?
    echo "screenshots: demo/1-start.png demo/2-transfer.png demo/3-end.png"
fi
# The simulator took its link away when it ended.
[ -L "$demo/COM1" ] || ln -s not-connected "$demo/COM1"
exit "$status"
