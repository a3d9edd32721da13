#!/usr/bin/env bash
# The package stage of the test command: builds the .tar.gz and the .deb
# (scripts/package.sh), checks them, and runs whole updates from what a
# technician installs, against the simulated instrument.
#
#   scripts/package-test.sh [--install-deb]
#
# - Both packages: their contents, desktop-file-validate, appstreamcli
#   validate --no-net, lintian (no errors), the udev rule's form.
# - The .tar.gz: unpacked into a folder whose path has spaces and non-ASCII
#   characters, one whole update from there; unpacking and installing again
#   over it (an upgrade, with the old program running) keeps hexcfg.dat, the
#   firmware and the COMn links.
# - The .deb, only when CI is set or --install-deb is given, since it
#   installs veltrax-uploader system-wide (apt-get install, as root) and
#   removes it again at the end, whatever the outcome: the launcher makes
#   ~/Veltrax in a temporary HOME, one whole update runs from the installed
#   copy, and a start after a simulated upgrade keeps hexcfg.dat, the
#   firmware and the links while the old copy is still running.
set -euo pipefail
cd "$(dirname "$0")/.."

install_deb=""
[ -n "${CI:-}" ] && install_deb=1
case ${1:-} in
    "") ;;
    --install-deb) install_deb=1 ;;
    *) sed -n '6p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac

say() { echo "package-test: $*"; }
fail() { echo "package-test: FAILED: $*" >&2; exit 1; }

scripts/setup.sh dpkg-dev lintian desktop-file-utils appstream file x11-utils
build=build-package
scripts/package.sh "$build"
deb=$(ls "$build"/packages/veltrax-uploader_*.deb)
tgz=$(ls "$build"/packages/veltrax-uploader-*.tar.gz)
sim=$PWD/$build/tools/veltrax-sim
hexgen=$PWD/$build/tools/veltrax-hexgen

work=$(mktemp -d /tmp/veltrax-package-test.XXXXXX)
installed_here=""
background_pid=""
cleanup() {
    local status=$?
    if [ -n "$background_pid" ]; then kill "$background_pid" 2>/dev/null || true; fi
    if [ -n "$installed_here" ]; then
        say "removing the package"
        apt-get remove --purge -y -qq veltrax-uploader >/dev/null || status=1
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

# A firmware file and its raw image, as veltrax-hexgen makes them.
add_firmware() {
    "$hexgen" --date 02092012 --size 8K --out-dir "$1" --binary "$work/$2.bin" >/dev/null
}
# A fingerprint of what the technician keeps in a program folder.
keepsakes() {
    (cd "$1" && sha256sum hexcfg.dat veltrax_*.hex && for link in COM*; do
        printf '%s -> %s\n' "$link" "$(readlink "$link")"
    done)
}

# ---- what the packages hold -------------------------------------------------
say "checking the packages"
extracted=$work/deb
dpkg-deb -x "$deb" "$extracted"
expected_deb="./usr/bin/veltrax-flash
./usr/bin/veltrax-ports
./usr/bin/veltrax-uploader
./usr/lib/udev/rules.d/70-veltrax-uploader.rules
./usr/lib/veltrax-uploader/veltrax-uploader
./usr/share/applications/com.veltrax.FirmwareUploader.desktop
./usr/share/doc/veltrax-uploader/changelog.Debian.gz
./usr/share/doc/veltrax-uploader/copyright
./usr/share/icons/hicolor/16x16/apps/veltrax-uploader.png
./usr/share/icons/hicolor/22x22/apps/veltrax-uploader.png
./usr/share/icons/hicolor/24x24/apps/veltrax-uploader.png
./usr/share/icons/hicolor/32x32/apps/veltrax-uploader.png
./usr/share/icons/hicolor/48x48/apps/veltrax-uploader.png
./usr/share/icons/hicolor/64x64/apps/veltrax-uploader.png
./usr/share/metainfo/com.veltrax.FirmwareUploader.metainfo.xml"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[ "$actual" = "$expected_deb" ] || fail "the .deb holds:"$'\n'"$actual"
for size in 16 22 24 32 48 64; do
    identify -format '%wx%h' "$extracted/usr/share/icons/hicolor/${size}x$size/apps/veltrax-uploader.png" |
        grep -qx "${size}x$size" || fail "the ${size}x$size icon is not $size px"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6serialport6 qt6-qpa-plugins; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$(sed -n 's/^project(VeltraxUploader VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)-1" ] ||
    fail "the package's version is not the project's"
file "$extracted/usr/lib/veltrax-uploader/veltrax-uploader" | grep -q ', stripped' ||
    fail "the program is not stripped"

top=$(tar -tzf "$tgz" | awk -F/ 'NR == 1 { print $1 }')
actual=$(tar -tzf "$tgz" | grep -v '/$' | sed "s|^$top/||" | sort)
[ "$actual" = $'LICENSE\nveltrax-flash\nveltrax-ports\nveltrax-uploader' ] || fail "the .tar.gz holds:"$'\n'"$actual"

# ---- the validators ---------------------------------------------------------
say "desktop-file-validate, appstreamcli, lintian"
desktop-file-validate "$extracted"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$extracted"/usr/share/metainfo/*.metainfo.xml
lintian_status=0
lintian --fail-on error "$deb" >"$work/lintian.out" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$work/lintian.out" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"

# The udev rule: where udev reads package rules, sorted before systemd's
# 73-seat-late.rules (which turns the tag into access), each rule matching the
# tty subsystem first, and key/value pairs udev can read.
rule=$extracted/usr/lib/udev/rules.d/70-veltrax-uploader.rules
awk '
    /^[[:space:]]*(#|$)/ { next }
    {
        rules++
        n = split($0, pairs, /, /)
        if (pairs[1] != "SUBSYSTEM==\"tty\"") { print "not tty first: " $0; bad = 1 }
        for (i = 1; i <= n; i++) {
            if (pairs[i] !~ /^(SUBSYSTEM|KERNEL)=="[^"]+"$/ && pairs[i] !~ /^TAG\+="uaccess"$/) {
                print "cannot read: " pairs[i]; bad = 1
            }
        }
        if ($0 !~ /TAG\+="uaccess"$/) { print "no uaccess tag: " $0; bad = 1 }
        kernels = kernels " " $0
    }
    END {
        if (kernels !~ /KERNEL=="ttyUSB\[0-9\]\*"/ || kernels !~ /KERNEL=="ttyACM\[0-9\]\*"/) {
            print "ttyUSB and ttyACM are not both tagged"; bad = 1
        }
        exit bad || rules == 0
    }' "$rule" || fail "the udev rule is malformed"
[[ $(basename "$rule") < 73-seat-late.rules ]] || fail "the udev rule sorts after 73-seat-late.rules"

# ---- the .tar.gz: a program folder with spaces and non-ASCII in its path -------
say "the .tar.gz"
folder="$work/Prüfstand Nr. 2/Veltrax Ωmega"
mkdir -p "$folder"
tar -xzf "$tgz" -C "$folder" --strip-components=1
add_firmware "$folder" tgz
# The first start writes hexcfg.dat; here it is prepared as that start leaves it.
printf 'COM=1\r\nDBG=0\r\n' >"$folder/hexcfg.dat"
scripts/drive-update.sh --folder "$folder" --sim "$sim" --image "$work/tgz.bin" \
    --logs "$work/logs-tgz" -- ./veltrax-uploader || fail "the update from the .tar.gz"

# An upgrade over the folder while the old program runs: unpacked again, and
# installed with "cmake --install"; the technician's files stay.
ln -s /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0 "$folder/COM3"
printf 'COM=3\r\nDBG=1\r\n' >"$folder/hexcfg.dat"
before=$(keepsakes "$folder")
(cd "$folder" && QT_QPA_PLATFORM=offscreen exec ./veltrax-uploader 2>/dev/null) &
background_pid=$!
sleep 1
tar -xzf "$tgz" -C "$folder" --strip-components=1
cmake --install "$build" --prefix "$folder" >/dev/null
[ "$(keepsakes "$folder")" = "$before" ] || fail "an upgrade changed the technician's files"
kill -0 "$background_pid" || fail "the running program did not survive the upgrade"
kill "$background_pid"; wait "$background_pid" 2>/dev/null || true; background_pid=""
[ -z "$(cd "$folder" && ls -A | grep -vxE 'veltrax-uploader|veltrax-ports|veltrax-flash|LICENSE|hexcfg.dat|veltrax_02092012.hex|COM3')" ] ||
    fail "the upgrade left other files: $(ls -A "$folder")"

# ---- the .deb, installed as a user would ------------------------------------
if [ -z "$install_deb" ]; then
    say "skipped installing the .deb: it installs veltrax-uploader system-wide and removes it"
    say "afterwards; set CI=1 or pass --install-deb to run it"
    say "passed (the .deb checked, not installed)"
    exit 0
fi
[ "$(id -u)" -eq 0 ] || fail "installing the .deb needs root"
if dpkg-query -W -f='${Status}' veltrax-uploader 2>/dev/null | grep -q 'install ok installed'; then
    fail "veltrax-uploader is installed on this machine already; not touching that copy"
fi
say "installing $deb"
installed_here=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "apt-get install"; }
dpkg -L veltrax-uploader | grep -qx /usr/lib/udev/rules.d/70-veltrax-uploader.rules ||
    fail "the udev rule is not where udev reads it"

home=$work/home
mkdir -p "$home"
veltrax=$home/Veltrax
launch=(env HOME="$home" veltrax-uploader)

# First start from the menu: the launcher makes ~/Veltrax with the program and
# a hexcfg.dat that lets the start go through without a "Prefs Error" box.
scripts/drive-update.sh --folder "$home" --logs "$work/logs-deb-1" --start-only -- "${launch[@]}" |
    tee "$work/first.out" || fail "the first start"
grep -qx 'start-up status: No Firmware Found' "$work/first.out" || fail "the first start"
cmp -s "$veltrax/veltrax-uploader" /usr/lib/veltrax-uploader/veltrax-uploader ||
    fail "the launcher did not copy the program"
[ "$(cat "$veltrax/hexcfg.dat")" = $'COM=1\r\nDBG=0\r' ] || fail "the first hexcfg.dat"

# The technician puts the firmware in; one whole update from the installed copy.
add_firmware "$veltrax" deb
scripts/drive-update.sh --folder "$veltrax" --sim "$sim" --image "$work/deb.bin" \
    --logs "$work/logs-deb-2" -- "${launch[@]}" || fail "the update from the .deb"

# A later package: the copy in ~/Veltrax is older than the installed program
# (one byte longer, and still running). The next start replaces it and keeps
# everything else.
ln -s /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0 "$veltrax/COM3"
printf 'COM=1\r\nDBG=1\r\n' >"$veltrax/hexcfg.dat"
{ cat /usr/lib/veltrax-uploader/veltrax-uploader; printf '\0'; } >"$veltrax/veltrax-uploader"
before=$(keepsakes "$veltrax")
(cd "$veltrax" && QT_QPA_PLATFORM=offscreen exec ./veltrax-uploader 2>/dev/null) &
background_pid=$!
sleep 1
scripts/drive-update.sh --folder "$veltrax" --logs "$work/logs-deb-3" --start-only -- "${launch[@]}" |
    tee "$work/second.out" || fail "the start after the upgrade"
grep -qx 'start-up status: Valid file selected.' "$work/second.out" || fail "the start after the upgrade"
cmp -s "$veltrax/veltrax-uploader" /usr/lib/veltrax-uploader/veltrax-uploader ||
    fail "the launcher did not replace the older copy"
[ "$(keepsakes "$veltrax")" = "$before" ] || fail "the upgrade changed hexcfg.dat, the firmware or a link"
kill -0 "$background_pid" || fail "the running older copy did not survive the upgrade"
[ -z "$(ls -A "$veltrax" | grep '^\.veltrax-uploader\.')" ] || fail "a temporary copy was left behind"

say "passed (both packages, the .deb installed and removed)"
