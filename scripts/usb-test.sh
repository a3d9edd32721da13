#!/usr/bin/env bash
# The USB stage of the test command: the tools against a real kernel's USB
# serial driver instead of a pseudo-terminal. A small virtual machine (QEMU,
# TCG) boots Debian's current kernel, mounts this machine's root read-only and
# runs the programs from it; each case hot-plugs a fresh emulated FTDI adapter
# (ftdi_sio in the guest) whose other end is a veltrax-sim on this machine.
#
#   scripts/usb-test.sh [CASE...]
#
# CASE is update, unplug, window, during or identity (default: all of them, in
# that order).
#
# Cases, each judged by the simulator's log, verdict and image and by the
# tool's own result:
# - a whole update with veltrax-flash on /dev/ttyUSB0; the driver's latency
#   timer while the port is open; the time against a pseudo-terminal here;
# - the window program, driven by scripts/drive-update.sh under Xvfb in the
#   guest, through a COM1 link to the adapter;
# - the adapter pulled out in the first wait, the erase wait, mid-transfer and
#   the pause before the reset (the simulator hangs up there, which detaches
#   the adapter): the ending within 1 s, the exit status, the port released;
# - a second adapter plugged in during an update leaves it alone;
# - the adapter's identity through udev: veltrax-ports, /dev/serial/by-id,
#   "veltrax-ports link 3 SERIAL", an update through COM3, and COM3 finding
#   the adapter again after it is pulled out and plugged in elsewhere.
#
# Needs root (apt-get, and QEMU reading all of / for the guest). Without root
# it skips, unless CI is set: then, as for any failure, the stage fails.
set -euo pipefail
cd "$(dirname "$0")/.."

say() { echo "usb-test: $*"; }
fail() { echo "usb-test: FAILED: $*" >&2; exit 1; }
measured() { say "measured: $*"; printf '%s\n' "$*" >>"$work/measurements"; }
stage_start=$(date +%s.%N)
since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }'; }

# ---- how an unplug must end --------------------------------------------------
# One row per moment: the case, the simulator's --hangup-at (a mid-transfer
# line of a 4 KiB file, 256 lines), then veltrax-flash's exit status and JSON
# "instrument" field from its table of endings, and its final status line.
#   case          hang-up   exit   instrument  status
unplug_rows="
    first-wait    boot      8      unchanged   Communitcations error.
    erase-wait    erase     10     erased      Communitcations error.
    mid-transfer  line:100  10     erased      Communitcations error.
    reset-pause   pause     6      updated     Communitcations error."
unplug_limit=1.0 # seconds from the hang-up to the tool's end

all_cases="update unplug window during identity"
cases=("$@")
[ $# -gt 0 ] || read -ra cases <<<"$all_cases"
for name in "${cases[@]}"; do
    [[ " $all_cases " == *" $name "* ]] || { sed -n '8,11p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
done

# ---- who may run it ------------------------------------------------------------
if [ "$(id -u)" -ne 0 ]; then
    [ -z "${CI:-}" ] || fail "the USB stage needs root in CI"
    say "skipped: it installs QEMU and lets a virtual machine read all of / (run it as root)"
    exit 0
fi
case $PWD in *[[:space:]]*) fail "the checkout's path has a space, which a kernel command line cannot carry" ;; esac

work=$PWD/build/usb-test
share=$work/share # the guest's writable folder, at the same path on both sides
mkdir -p "$work/debs"
rm -rf "$share" "$work/measurements" "$work"/console* "$work"/qmp*
mkdir -p "$share"

# ---- packages, the kernel, udev -------------------------------------------------
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -qq -o DPkg::Lock::Timeout=300 -o APT::Sandbox::User=root)
say "apt-get update"
# Stale lists name kernels the archive has dropped.
"${apt[@]}" update || fail "apt-get update"
"${apt[@]}" install -y --no-install-recommends qemu-system-x86 busybox-static >/dev/null ||
    fail "installing QEMU and busybox"
scripts/setup.sh # Xvfb, xdotool and the build tools, for the window case in the guest

kernel_package=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -1)
[ -n "$kernel_package" ] || fail "linux-image-amd64 names no kernel"
kernel_dir=$work/kernel/$kernel_package
if [ ! -d "$kernel_dir" ]; then
    say "downloading $kernel_package"
    rm -rf "$work/kernel" "$work"/debs/linux-image-*
    mkdir -p "$work/kernel"
    (cd "$work/debs" && "${apt[@]}" download "$kernel_package") || fail "downloading $kernel_package"
    dpkg-deb -x "$work"/debs/"$kernel_package"_*.deb "$kernel_dir.partial" || fail "unpacking the kernel"
    mv "$kernel_dir.partial" "$kernel_dir"
fi
kernel_version=$(ls "$kernel_dir/lib/modules")
modules=$kernel_dir/lib/modules/$kernel_version
[ -f "$modules/modules.dep" ] || depmod -b "$kernel_dir" "$kernel_version" || fail "depmod of the kernel"

# Qt reads an adapter's maker, product and serial number from udev's database.
udevadm=""
for candidate in /usr/bin/udevadm /bin/udevadm; do
    [ -x "$candidate" ] && [ -e /lib/systemd/systemd-udevd ] && udevadm=$candidate && break
done
if [ -n "$udevadm" ]; then
    udev_rules=/lib/udev/rules.d
    udevd=/lib/systemd/systemd-udevd
else
    udev_dir=$work/udev
    if [ ! -x "$udev_dir/bin/udevadm" ]; then
        say "this machine has no udev: unpacking Debian's"
        rm -f "$work"/debs/udev_*.deb
        (cd "$work/debs" && "${apt[@]}" download udev) || fail "downloading udev"
        rm -rf "$udev_dir" && dpkg-deb -x "$work"/debs/udev_*.deb "$udev_dir" || fail "unpacking udev"
    fi
    udevadm=$udev_dir/bin/udevadm
    udev_rules=$udev_dir/lib/udev/rules.d
    # The package's systemd-udevd is an absolute link to /bin/udevadm, which
    # picks its role by the name it is started under.
    ln -sfn "$udevadm" "$udev_dir/systemd-udevd"
    udevd=$udev_dir/systemd-udevd
fi

# ---- the programs -------------------------------------------------------------------
VELTRAX_TARGETS="veltrax-flash veltrax-ports veltrax-uploader veltrax-sim veltrax-hexgen" scripts/build.sh build
bin=$PWD/build
sim=$bin/tools/veltrax-sim
firmware() { # DIR SIZE: a firmware file in DIR and its raw image as DIR/expected.bin
    mkdir -p "$1"
    "$bin/tools/veltrax-hexgen" --date 02092012 --size "$2" --out-dir "$1" --binary "$1/expected.bin" >/dev/null
}

# ---- the initramfs: busybox, the drivers and /init -----------------------------------
initramfs=$work/initramfs
rm -rf "$initramfs"
mkdir -p "$initramfs"/{bin,dev,proc,sys,newroot}
cp /bin/busybox "$initramfs/bin/busybox"
file -L "$initramfs/bin/busybox" | grep -q 'statically linked' || fail "/bin/busybox is not busybox-static's"
wanted="virtio_pci 9pnet_virtio 9p xhci_pci ftdi_sio"
for module in $wanted; do
    # modules.dep: "kernel/path/name.ko: what it needs"; - and _ are the same in names.
    entry=$(awk -F: -v want="${module//-/_}" '{
            name = $1; sub(/.*\//, "", name); sub(/\.ko.*$/, "", name); gsub(/-/, "_", name)
            if (name == want) { print; exit }
        }' "$modules/modules.dep")
    [ -n "$entry" ] || fail "the kernel has no module $module"
    for file in ${entry%%:*} ${entry#*:}; do
        mkdir -p "$initramfs/lib/modules/$kernel_version/$(dirname "$file")"
        cp "$modules/$file" "$initramfs/lib/modules/$kernel_version/$file"
    done
done
cp "$modules"/modules.{order,builtin,builtin.modinfo} "$initramfs/lib/modules/$kernel_version/"
depmod -b "$initramfs" "$kernel_version"
echo "$wanted" >"$initramfs/modules.load"
cp scripts/usb-guest-init.sh "$initramfs/init"
chmod +x "$initramfs/init"
(cd "$initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"
measured "initramfs $(du -k "$work/initramfs.gz" | cut -f1) KiB, kernel $kernel_version"

# ---- everything started here ends here ----------------------------------------------
qemu_pid=""
host_flash_pid=""
readers=()
declare -A sims=()
source scripts/lib/stop-process.sh
cleanup() {
    local status=$?
    local name
    stop_process "$qemu_pid"
    stop_process "$host_flash_pid"
    for name in "${!sims[@]}"; do stop_process "${sims[$name]}"; done
    for pid in "${readers[@]}"; do stop_process "$pid"; done
    [ "$status" -eq 0 ] || say "the guest's console: $work/console.log; each case's files: $share"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---- the guest ------------------------------------------------------------------------
# Console and monitor are pipes: what QEMU writes is read line by line with
# the time it arrived, which times the ends of the unplug cases.
for pipe in console qmp; do mkfifo "$work/$pipe.in" "$work/$pipe.out"; done
say "booting the guest"
boot_start=$(date +%s.%N)
qemu-system-x86_64 -nodefaults -display none -no-reboot -m 256 -accel tcg,tb-size=64 \
    -kernel "$kernel_dir/boot/vmlinuz-$kernel_version" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 quiet panic=-1 rdinit=/init veltrax_source=$PWD veltrax_share=$share" \
    -chardev pipe,id=console,path="$work/console" -serial chardev:console \
    -chardev pipe,id=qmp,path="$work/qmp" -mon chardev=qmp,mode=control \
    -device qemu-xhci,id=xhci \
    -virtfs local,path=/,mount_tag=host,security_model=passthrough,readonly=on,multidevs=remap \
    -virtfs local,path="$share",mount_tag=share,security_model=passthrough \
    >"$work/qemu.log" 2>&1 &
qemu_pid=$!
for pipe in console qmp; do
    while IFS= read -r line; do
        printf '%s %s\n' "$(date +%s.%N)" "${line%$'\r'}"
    done <"$work/$pipe.out" >"$work/$pipe.log" &
    readers+=($!)
done
# Read-write opens of the pipes' other ends never block, even if QEMU is gone.
exec {console}<>"$work/console.in" {qmp}<>"$work/qmp.in"

# Waits up to $1 seconds for a line matching $3 in the log $2, while QEMU runs;
# prints the line.
await_line() {
    local limit=$1 log=$2 pattern=$3 found
    for _ in $(seq $((limit * 10))); do
        found=$(grep -m1 -E "$pattern" "$log" 2>/dev/null) && { echo "$found"; return 0; }
        kill -0 "$qemu_pid" 2>/dev/null || { cat "$work/qemu.log" >&2; fail "QEMU ended"; }
        sleep 0.1
    done
    return 1
}
ready=$(await_line 120 "$work/console.log" '@@(ready|failed)') || fail "the guest did not boot within 120 s"
case $ready in *@@failed*) fail "the guest: ${ready#*@@failed }" ;; esac
measured "boot to a shell in $(since "$boot_start") s"

qmp_count=0
qmp() { # JSON-COMMAND [ARGUMENTS]: runs it, fails on an error reply
    qmp_count=$((qmp_count + 1))
    printf '{"execute":"%s","arguments":%s,"id":"q%d"}\n' "$1" "${2:-{\}}" "$qmp_count" >&"$qmp"
    local reply
    reply=$(await_line 10 "$work/qmp.log" "\"id\": \"q$qmp_count\"") || fail "QEMU did not answer $1"
    case $reply in *'"error"'*) echo "$reply" >&2; return 1 ;; esac
}
printf '{"execute":"qmp_capabilities"}\n' >&"$qmp"
await_line 10 "$work/qmp.log" '"return"' >/dev/null || fail "QEMU's monitor did not answer"

command_count=0
# Runs the bash script on standard input in the guest, in the chroot of this
# machine's root, in the background; its number for guest_wait is in $n. The
# script's mark WORD puts "@@mark N WORD" on the console at once.
guest_run() {
    command_count=$((command_count + 1))
    {
        echo "set -uo pipefail"
        echo "mark() { echo \"@@mark $command_count \$*\" >/dev/console; }"
        cat
    } >"$share/cmd-$command_count.sh"
    echo "run $command_count" >&"$console"
    n=$command_count
}
# Waits up to $2 seconds for guest command $1 to end; its status is the command's.
guest_wait() {
    local ended
    ended=$(await_line "$2" "$work/console.log" "@@done $1 ") ||
        fail "guest command $1 still running after $2 s: $(cat "$share/cmd-$1.out")"
    return "${ended##* }"
}
# When the guest's command $1 wrote its mark $2, on this machine's clock.
mark_time() { grep -m1 " @@mark $1 $2\$" "$work/console.log" | cut -d' ' -f1; }


# ---- adapters -------------------------------------------------------------------------
adapter_count=0
declare -A adapters=()
# plug NAME SERIAL [SIMULATOR OPTION...]: a veltrax-sim with its files in
# $share/NAME, and a fresh emulated adapter in front of it, in a free socket.
plug() {
    local name=$1 serial=$2
    shift 2
    local dir=$share/$name
    mkdir -p "$dir"
    "$sim" --link "$dir/line" --log "$dir/sim.log" --image "$dir/image.bin" --timeout 300 "$@" \
        >"$dir/sim.out" 2>&1 &
    sims[$name]=$!
    for _ in $(seq 100); do
        grep -q 'ready on' "$dir/sim.out" 2>/dev/null && break
        kill -0 "${sims[$name]}" 2>/dev/null || break
        sleep 0.1
    done
    grep -q 'ready on' "$dir/sim.out" || fail "$name: the simulator did not start: $(cat "$dir/sim.out")"
    adapter_count=$((adapter_count + 1))
    adapters[$name]=$adapter_count
    qmp chardev-add "{\"id\":\"c$adapter_count\",\"backend\":{\"type\":\"serial\",\"data\":{\"device\":\"$(readlink "$dir/line")\"}}}" ||
        fail "$name: chardev-add"
    qmp device_add "{\"driver\":\"usb-serial\",\"bus\":\"xhci.0\",\"chardev\":\"c$adapter_count\",\"id\":\"u$adapter_count\",\"serial\":\"$serial\"}" ||
        fail "$name: device_add"
}
# A real USB unplug, which also frees the socket of an adapter whose
# simulator hung up.
unplug() { qmp device_del "{\"id\":\"u${adapters[$1]}\"}" || true; }
# Ends NAME's simulator (if it still runs); its verdict in $verdict, the
# status the simulator's.
sim_verdict() {
    local name=$1 status=0
    kill -TERM "${sims[$name]}" 2>/dev/null || true
    wait "${sims[$name]}" || status=$?
    unset "sims[$name]"
    verdict=$(sed -n 's/^veltrax-sim: verdict: //p' "$share/$name/sim.out")
    return "$status"
}
# A whole update seen from the instrument's side: complete, its image the file's.
instrument_updated() {
    local name=$1 status=0
    sim_verdict "$name" || status=$?
    [ "$status" -eq 0 ] || fail "$name: the simulator says: $verdict (status $status)"
    cmp -s "$share/$name/image.bin" "$share/$name/expected.bin" || fail "$name: the image is not the file's"
}
json_field() { sed -n "s/.*\"$2\":\"\{0,1\}\([^\",}]*\)\"\{0,1\}[,}].*/\1/p" "$1"; }
# What the guest's scripts share: waiting for a device to come or go, and
# veltrax-flash on folder $1 and port $2, its JSON line in $1/flash.json and
# its exit status in $1/flash.rc.
guest_helpers='
appears() { for _ in $(seq 100); do [ -e "$1" ] && return 0; sleep 0.1; done; echo "no $1 after 10 s"; return 1; }
vanishes() { for _ in $(seq 50); do [ -e "$1" ] || return 0; sleep 0.1; done; echo "$1 still there"; return 1; }
flash() {
    "'"$bin"'/veltrax-flash" --port "$2" --folder "$1" --yes --json --timeout 120 --log "$1/transcripts" \
        >"$1/flash.json" 2>"$1/flash.err"
    echo $? >"$1/flash.rc"
}
'

# ---- a whole update, and the latency timer --------------------------------------------
case_update() {
    say "case: a whole update through /dev/ttyUSB0"
    firmware "$share/whole" 16K
    plug whole WHOLE1
    guest_run <<EOF
$guest_helpers
cd "$share/whole"
appears /dev/ttyUSB0 || exit 1
timer=/sys/bus/usb-serial/devices/ttyUSB0/latency_timer
cat \$timer >latency-before
flash "$share/whole" /dev/ttyUSB0 &
# The transfer is running once the instrument has erased its flash.
for _ in \$(seq 300); do grep -q 'flash erased' sim.log && break; sleep 0.1; done
cat \$timer >latency-open
wait \$!
cat \$timer >latency-after
EOF
    guest_wait "$n" 180 || fail "whole update: the guest's script: $(cat "$share/cmd-$n.out")"
    [ "$(cat "$share/whole/flash.rc")" = 0 ] || fail "whole update: veltrax-flash: $(cat "$share/whole/flash.err")"
    [ "$(json_field "$share/whole/flash.json" status)" = "Update Successful" ] ||
        fail "whole update: $(cat "$share/whole/flash.json")"
    unplug whole
    instrument_updated whole
    usb_seconds=$(json_field "$share/whole/flash.json" seconds)
    latency_open=$(cat "$share/whole/latency-open")
    [ "$latency_open" = 1 ] || fail "low latency: the latency timer read $latency_open ms while the port was open"
    measured "latency timer: $(cat "$share/whole/latency-before") ms before the open, $latency_open ms while open, $(cat "$share/whole/latency-after") ms after the close"

    # The same update on a pseudo-terminal here, for comparison.
    pty=$work/pty
    rm -rf "$pty" && mkdir -p "$pty"
    cp "$share"/whole/veltrax_*.hex "$pty/"
    "$sim" --link "$pty/COM1" --log "$pty/sim.log" --timeout 120 >"$pty/sim.out" 2>&1 &
    sims[pty]=$!
    for _ in $(seq 100); do grep -q 'ready on' "$pty/sim.out" 2>/dev/null && break; sleep 0.1; done
    # In the background, so that a signal to this script ends it at once.
    "$bin/veltrax-flash" --port "$(readlink "$pty/COM1")" --folder "$pty" --yes --json \
        >"$pty/flash.json" 2>"$pty/flash.err" &
    host_flash_pid=$!
    wait "$host_flash_pid" || fail "the update on a pseudo-terminal: $(cat "$pty/flash.err")"
    host_flash_pid=""
    kill -TERM "${sims[pty]}"; wait "${sims[pty]}" || true; unset "sims[pty]"
    measured "a 16 KiB update: $usb_seconds s through the USB adapter, $(json_field "$pty/flash.json" seconds) s on a pseudo-terminal"
}

# ---- unplugged at four moments -------------------------------------------------------
case_unplug() {
    # Every moment is tried; the case fails after the last.
    local missed_count=0 name hangup expected_exit instrument status
    missed() { say "FAILED: $*"; missed_count=$((missed_count + 1)); }
    while read -r name hangup expected_exit instrument status; do
        [ -n "$name" ] || continue
        say "case: the adapter pulled out at $name"
        firmware "$share/$name" 4K
        plug "$name" "UNPLUG$adapter_count" --hangup-at "$hangup" --timeout 60
        guest_run <<EOF
$guest_helpers
cd "$share/$name"
appears /dev/ttyUSB0 || exit 1
flash "$share/$name" /dev/ttyUSB0
mark ended
vanishes /dev/ttyUSB0 || exit 1
# The port released: no lock file, no update process left.
ls /run/lock/ | grep -q ttyUSB && { echo "a lock file is left: \$(ls /run/lock)"; exit 1; }
pidof veltrax-flash && { echo "veltrax-flash still runs"; exit 1; }
exit 0
EOF
        # The simulator exits as it hangs up, which pulls the adapter out.
        wait "${sims[$name]}" || true
        unplugged=$(date +%s.%N)
        unset "sims[$name]"
        local guest_status=0
        guest_wait "$n" 150 || guest_status=$?
        unplug "$name"
        grep -q "hung up at" "$share/$name/sim.out" ||
            { missed "$name: the simulator did not hang up: $(cat "$share/$name/sim.out")"; continue; }
        [ "$guest_status" -eq 0 ] || { missed "$name: $(cat "$share/cmd-$n.out")"; continue; }
        ended=$(mark_time "$n" ended)
        seconds=$(awk -v a="$unplugged" -v b="$ended" 'BEGIN { printf "%.2f", b - a }')
        measured "unplugged at $name: ended $seconds s after the hang-up"
        awk -v s="$seconds" -v limit="$unplug_limit" 'BEGIN { exit !(s <= limit) }' ||
            { missed "$name: the update ended $seconds s after the unplug, over $unplug_limit s"; continue; }
        json=$share/$name/flash.json
        got_instrument=$(json_field "$json" instrument)
        got_exit=$(cat "$share/$name/flash.rc")
        [ "$got_exit" = "$expected_exit" ] && [ "$(json_field "$json" exit_code)" = "$expected_exit" ] ||
            { missed "$name: exit status $got_exit, expected $expected_exit: $(cat "$json")"; continue; }
        [ "$got_instrument" = "$instrument" ] ||
            { missed "$name: instrument \"$got_instrument\", expected \"$instrument\""; continue; }
        [ "$(json_field "$json" status)" = "$status" ] ||
            missed "$name: the status is not \"$status\": $(cat "$json")"
    done <<<"$unplug_rows"
    [ "$missed_count" -eq 0 ] || fail "$missed_count of the unplug moments"
}

# ---- the window program through a COM1 link --------------------------------------------
case_window() {
    say "case: the window program, COM1 a link to /dev/ttyUSB0"
    folder=$share/window
    firmware "$folder" 4K
    cp "$bin/veltrax-uploader" "$folder/"
    printf 'COM=1\r\nDBG=0\r\n' >"$folder/hexcfg.dat"
    ln -s /dev/ttyUSB0 "$folder/COM1"
    plug window WINDOW1
    guest_run <<EOF
$guest_helpers
appears /dev/ttyUSB0 || exit 1
"$PWD/scripts/drive-update.sh" --folder "$folder" --logs "$folder/logs" -- ./veltrax-uploader
EOF
    guest_wait "$n" 150 || fail "the window program: $(cat "$share/cmd-$n.out")"
    unplug window
    instrument_updated window
}

# ---- a second adapter plugged in during an update --------------------------------------
case_during() {
    say "case: a second adapter plugged in during an update"
    firmware "$share/during" 8K
    plug during DURING1
    guest_run <<EOF
$guest_helpers
cd "$share/during"
appears /dev/ttyUSB0 || exit 1
flash "$share/during" /dev/ttyUSB0
ls /dev/ttyUSB* >devices
EOF
    await_line 60 "$share/during/sim.log" 'flash erased' >/dev/null || fail "during: the update did not begin"
    plug second SECOND1
    if grep -q 'update complete' "$share/during/sim.log"; then
        fail "during: the update was over before the second adapter came"
    fi
    guest_wait "$n" 120 || fail "during: $(cat "$share/cmd-$n.out")"
    [ "$(cat "$share/during/flash.rc")" = 0 ] || fail "during: veltrax-flash: $(cat "$share/during/flash.json")"
    grep -qx /dev/ttyUSB1 "$share/during/devices" || fail "during: the second adapter did not appear: $(cat "$share/during/devices")"
    unplug during
    unplug second
    instrument_updated during
    if sim_verdict second; then fail "the second adapter's instrument saw an update: $verdict"; fi
}

# ---- the adapter's identity, through udev ------------------------------------------------
case_identity() {
    say "case: the adapter's identity (udev, /dev/serial/by-id, a COM3 link)"
    guest_run <<EOF
mkdir -p /run/udev/rules.d
cp "$udev_rules/50-udev-default.rules" "$udev_rules/60-serial.rules" /run/udev/rules.d/
"$udevd" --daemon
EOF
    guest_wait "$n" 30 || fail "systemd-udevd in the guest: $(cat "$share/cmd-$n.out")"
    serial=VX2024A1
    folder=$share/identity
    firmware "$folder" 4K
    plug identity "$serial"
    guest_run <<EOF
$guest_helpers
cd "$folder"
appears /dev/ttyUSB0 || exit 1
# In the chroot udevadm would skip the wait for udev's events ("Running in
# chroot, ignoring request"); the guest's udevd serves this root.
SYSTEMD_IGNORE_CHROOT=1 "$udevadm" settle --timeout=30 || exit 1
ls /dev/serial/by-id >by-id
"$bin/veltrax-ports" list --folder "$folder" >list || exit 1
"$bin/veltrax-ports" link 3 $serial --folder "$folder" || exit 1
flash "$folder" COM3
EOF
    guest_wait "$n" 90 || fail "identity: $(cat "$share/cmd-$n.out")"
    say "veltrax-ports in the guest:"
    sed 's/^/    /' "$folder/list"
    by_id="usb-QEMU_QEMU_USB_SERIAL_$serial-if00-port0"
    grep -qx "$by_id" "$folder/by-id" || fail "identity: /dev/serial/by-id holds $(cat "$folder/by-id")"
    # Each field on its own line, its label first; QEMU's FT232 is 0403:6001.
    local field
    for field in "maker QEMU" "product QEMU USB SERIAL" "serial $serial" "USB id 0403:6001" \
        "stable /dev/serial/by-id/$by_id"; do
        sed 's/^ *//; s/  */ /g' "$folder/list" | grep -qxF "$field" ||
            fail "identity: veltrax-ports does not show \"$field\""
    done
    [ "$(readlink "$folder/COM3")" = "/dev/serial/by-id/$by_id" ] || fail "identity: COM3 leads to $(readlink "$folder/COM3")"
    [ "$(cat "$folder/flash.rc")" = 0 ] || fail "identity: the update through COM3: $(cat "$folder/flash.json")"
    unplug identity
    instrument_updated identity

    # Pulled out, another adapter in the free socket first, then plugged in
    # again: now ttyUSB1, and still COM3.
    say "case: the adapter pulled out and plugged in elsewhere; COM3 follows it"
    firmware "$share/replug" 4K
    plug decoy DECOY1
    plug replug "$serial"
    guest_run <<EOF
$guest_helpers
appears /dev/ttyUSB1 || exit 1
SYSTEMD_IGNORE_CHROOT=1 "$udevadm" settle --timeout=30 || exit 1
readlink -f "$folder/COM3" >"$share/replug/com3"
flash "$folder" COM3
EOF
    guest_wait "$n" 90 || fail "re-plugged: $(cat "$share/cmd-$n.out")"
    [ "$(cat "$share/replug/com3")" = /dev/ttyUSB1 ] || fail "re-plugged: COM3 leads to $(cat "$share/replug/com3")"
    [ "$(cat "$folder/flash.rc")" = 0 ] || fail "re-plugged: the update through COM3: $(cat "$folder/flash.json")"
    unplug replug
    unplug decoy
    instrument_updated replug
    if sim_verdict decoy; then fail "the other adapter's instrument saw an update: $verdict"; fi
}

for chosen in "${cases[@]}"; do
    case_start=$(date +%s.%N)
    "case_$chosen"
    measured "the $chosen case took $(since "$case_start") s"
done
measured "QEMU's peak memory $(awk '/^VmHWM/ { printf "%d", $2 / 1024 }' "/proc/$qemu_pid/status") MiB"
echo halt >&"$console"
measured "the whole stage took $(since "$stage_start") s"
say "passed"
