#!/usr/bin/env bash
# The package stage of the test command: builds the .tar.gz and the .deb
# (scripts/package.sh), checks them, and runs whole updates from what a
# technician installs, against the simulated instrument.
#
#   scripts/package-test.sh [--install-deb]
#
# - Both packages: their contents, desktop-file-validate, appstreamcli
#   validate --no-net, lintian (no errors, no manual page missing), the udev
#   rule's form, each tool's --version against the package's version and its
#   manual page against its --help.
# - The README's command blocks, read from the README itself: each is marked
#   as run here, as a template or as the project's own command; those run
#   here run as written, against simulated instruments, in homes of their own.
# - The .tar.gz: unpacked into a folder whose path has spaces and non-ASCII
#   characters, one whole update from there; unpacking and installing again
#   over it (an upgrade, with the old program running) keeps hexcfg.dat, the
#   firmware and the COMn links.
# - The .deb, only when CI is set or --install-deb is given, since it
#   installs veltrax-uploader system-wide (apt-get install, as root) and
#   removes it again at the end, whatever the outcome: the launcher makes
#   ~/Veltrax in a temporary HOME, one whole update runs from the installed
#   copy, and a start after a simulated upgrade keeps hexcfg.dat, the
#   firmware and the links while the old copy is still running; then the
#   launcher's refusals and odd homes, each in a home of its own.
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

scripts/setup.sh dpkg-dev lintian desktop-file-utils appstream file x11-utils jq
build=build-package
scripts/package.sh "$build"
deb=$(ls "$build"/packages/veltrax-uploader_*.deb)
tgz=$(ls "$build"/packages/veltrax-uploader-*.tar.gz)
sim=$PWD/$build/tools/veltrax-sim
hexgen=$PWD/$build/tools/veltrax-hexgen

work=$(mktemp -d /tmp/veltrax-package-test.XXXXXX)
installed_here=""
background_pid=""
sim_group=""
line_pid=""
cleanup() {
    local status=$?
    if [ -n "$background_pid" ]; then kill "$background_pid" 2>/dev/null || true; fi
    if [ -n "$line_pid" ]; then kill "$line_pid" 2>/dev/null || true; fi
    if [ -n "$sim_group" ]; then kill -- "-$sim_group" 2>/dev/null || true; fi
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
# Starts the window program of folder $1 offscreen in the background, and
# returns once its start-up has shown a status: from then on it runs from
# the copy in that folder.
start_running_copy() {
    local fifo=$work/started line
    mkfifo "$fifo"
    (cd "$1" && QT_QPA_PLATFORM=offscreen exec ./veltrax-uploader) 2>"$fifo" &
    background_pid=$!
    # Held open (and never read again): the program's few later lines fit the pipe.
    exec 4<"$fifo"
    rm "$fifo"
    while IFS= read -r -t 30 line <&4; do
        case $line in "status: "*) return 0 ;; esac
    done
    fail "the program in $1 did not start"
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
./usr/bin/veltrax-sim
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
./usr/share/man/man1/veltrax-flash.1.gz
./usr/share/man/man1/veltrax-ports.1.gz
./usr/share/man/man1/veltrax-sim.1.gz
./usr/share/man/man1/veltrax-uploader.1.gz
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
version=$(dpkg-deb -f "$deb" Version)
[ "$version" = "$(sed -n 's/^project(VeltraxUploader VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)-1" ] ||
    fail "the package's version is not the project's"
# Each tool names the upstream version the package carries, without the
# Debian revision; its manual page has every option its --help has, and no other.
options_in() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }
for tool in veltrax-flash veltrax-ports veltrax-sim; do
    [ "$("$extracted/usr/bin/$tool" --version)" = "$tool ${version%-*}" ] ||
        fail "$tool --version says \"$("$extracted/usr/bin/$tool" --version)\", the package ${version%-*}"
    help=$("$extracted/usr/bin/$tool" --help | options_in)
    # Read from the page's source: a rendered line could hyphenate an option.
    page=$(zcat "$extracted/usr/share/man/man1/$tool.1.gz" | sed 's/\\f[BIRP]//g; s/\\-/-/g' | options_in)
    [ -n "$help" ] && [ "$help" = "$page" ] ||
        fail "$tool's manual page and --help differ:"$'\n'"$(diff <(echo "$help") <(echo "$page"))"
done
file "$extracted/usr/lib/veltrax-uploader/veltrax-uploader" | grep -q ', stripped' ||
    fail "the program is not stripped"

top=$(tar -tzf "$tgz" | awk -F/ 'NR == 1 { print $1 }')
actual=$(tar -tzf "$tgz" | grep -v '/$' | sed "s|^$top/||" | sort)
[ "$actual" = "$(printf '%s\n' LICENSE man/veltrax-flash.1 man/veltrax-ports.1 man/veltrax-sim.1 \
    man/veltrax-uploader.1 veltrax-flash veltrax-ports veltrax-sim veltrax-uploader)" ] ||
    fail "the .tar.gz holds:"$'\n'"$actual"

# ---- the validators ---------------------------------------------------------
say "desktop-file-validate, appstreamcli, lintian"
desktop-file-validate "$extracted"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$extracted"/usr/share/metainfo/*.metainfo.xml
lintian_status=0
lintian --fail-on error "$deb" >"$work/lintian.out" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$work/lintian.out" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"
! grep -E 'no-manual-page|groff-message|manual-page|manpage' "$work/lintian.out" ||
    fail "lintian finds fault with the manual pages"

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

# ---- the README's command blocks, as the README has them ------------------------
# Each ```sh block stands right after a marker that says what it is: a name
# this stage runs it by, "template" or "own-command" (the project's own
# scripts: CI runs the test command, the benchmark is run by hand).
readme=$work/readme
mkdir -p "$readme"
awk -v out="$readme" '
    /^<!-- readme-block: [a-z-]+( .*)? -->$/ { kind = $3; next }
    /^```sh$/ {
        if (kind == "") { print "README line " NR ": a command block without a marker"; bad = 1 }
        n++
        file = out "/" (kind ~ /^(template|own-command)$/ ? kind "-" n : kind) ".sh"
        inside = 1
        next
    }
    inside && /^```$/ { inside = 0; kind = ""; close(file); next }
    inside { print > file; next }
    /[^[:space:]]/ { kind = "" }
    END { exit bad }' README.md || fail "the README has command blocks that are neither run here nor templates"
run_here="bench-of-eight install-deb install-from-source list-ports read-json try-the-bench unpack-tgz"
[ "$(cd "$readme" && ls | grep -vE '^(template|own-command)-' | sed 's/\.sh$//' | sort | xargs)" = "$run_here" ] ||
    fail "the README's blocks run here are not $run_here: $(ls "$readme")"
# The package files they name are the ones made.
for name in $(grep -ohE 'veltrax-uploader[-_][^ ]*\.(deb|tar\.gz)' "$readme"/install-deb.sh "$readme"/unpack-tgz.sh); do
    [ -f "$build/packages/${name#./}" ] || fail "the README names $name; made: $(ls "$build/packages")"
done

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

# A serial line that opens, for COM3 of the program folders below: their
# programs then get through start-up without a "Could not open" box, and say so.
mkfifo "$work/line-ready"
"$sim" --link "$work/line" --timeout 900 >"$work/line-ready" 2>&1 &
line_pid=$!
head -n 1 "$work/line-ready" | grep -q 'ready on' || fail "the simulator for COM3 did not start"

# An upgrade over the folder while the old program runs: unpacked again, and
# installed with "cmake --install"; the technician's files stay.
ln -s "$work/line" "$folder/COM3"
printf 'COM=3\r\nDBG=1\r\n' >"$folder/hexcfg.dat"
before=$(keepsakes "$folder")
start_running_copy "$folder"
tar -xzf "$tgz" -C "$folder" --strip-components=1
cmake --install "$build" --prefix "$folder" >/dev/null
[ "$(keepsakes "$folder")" = "$before" ] || fail "an upgrade changed the technician's files"
kill -0 "$background_pid" || fail "the running program did not survive the upgrade"
kill "$background_pid"; wait "$background_pid" 2>/dev/null || true; background_pid=""
exec 4<&-
[ -z "$(cd "$folder" && ls -A | grep -vxE 'veltrax-(uploader|ports|flash|sim)|man|LICENSE|hexcfg.dat|veltrax_02092012.hex|COM3')" ] ||
    fail "the upgrade left other files: $(ls -A "$folder")"

# ---- the README's blocks from the .tar.gz and the build tree -------------------
say "the README's blocks"
# Unpacked into ~/Veltrax of a home of its own, then the ports listed and one
# update from the window against the simulator as the README starts it.
readme_home=$work/readme-home
mkdir -p "$readme_home"
(cd "$build/packages" && HOME=$readme_home sh "$readme/unpack-tgz.sh") || fail "the README's unpacking"
in_readme_home=(env HOME="$readme_home" PATH="$readme_home/Veltrax:$PATH")
"${in_readme_home[@]}" sh "$readme/list-ports.sh" | grep -q "^Program folder: $readme_home/Veltrax (" ||
    fail "the README's veltrax-ports"
add_firmware "$readme_home/Veltrax" readme
printf 'COM=5\r\nDBG=0\r\n' >"$readme_home/Veltrax/hexcfg.dat"
mkfifo "$work/sim-ready"
setsid "${in_readme_home[@]}" sh "$readme/try-the-bench.sh" >"$work/sim-ready" 2>&1 &
sim_group=$!
head -n 1 "$work/sim-ready" | grep -q 'ready on ./COM5' || fail "the README's simulator did not start"
scripts/drive-update.sh --folder "$readme_home/Veltrax" --logs "$work/logs-readme" \
    -- ./veltrax-uploader || fail "the README's update against veltrax-sim"
sim_status=0
wait "$sim_group" || sim_status=$?
sim_group=""
[ "$sim_status" -eq 0 ] || fail "the README's simulator ended with $sim_status, not a whole update"

# From the build tree, as after scripts/run.sh: the install, then the eight
# simulated instruments and the JSON read back.
source_tree=$work/source
mkdir -p "$source_tree"
ln -s "$PWD/$build" "$source_tree/build"
(cd "$source_tree" && HOME=$work/source-home sh "$readme/install-from-source.sh" >/dev/null) ||
    fail "the README's cmake --install"
file "$work/source-home/Veltrax/veltrax-flash" | grep -q ', stripped' || fail "cmake --install --strip"
[ -f "$work/source-home/Veltrax/man/veltrax-flash.1" ] || fail "cmake --install put no manual pages in man/"
(cd "$source_tree" && TMPDIR=$work sh "$readme/bench-of-eight.sh") >"$work/bench.out" 2>&1 ||
    { cat "$work/bench.out" >&2; fail "the README's eight simulated instruments"; }
results=$(sed -n 's/^exit status 0; results in //p' "$work/bench.out")
[ -f "$results" ] || fail "the README's eight simulated instruments named no results: $(cat "$work/bench.out")"
[ "$(grep -c '"result":"success"' "$results")" -eq 8 ] || fail "not eight successes: $(cat "$results")"
[ -z "$(cd "$(dirname "$results")" && sh "$readme/read-json.sh")" ] || fail "the README's jq names failures"

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
say "installing $deb, as the README says"
installed_here=1
# Yes to apt's question, which the person at the terminal answers.
printf 'APT::Get::Assume-Yes "true";\n' >"$work/apt.conf"
(cd "$(dirname "$deb")" && APT_CONFIG=$work/apt.conf DEBIAN_FRONTEND=noninteractive \
    sh "$readme/install-deb.sh") >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "the README's apt install"; }
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
ln -s "$work/line" "$veltrax/COM3"
printf 'COM=3\r\nDBG=1\r\n' >"$veltrax/hexcfg.dat"
{ cat /usr/lib/veltrax-uploader/veltrax-uploader; printf '\0'; } >"$veltrax/veltrax-uploader"
before=$(keepsakes "$veltrax")
start_running_copy "$veltrax"
scripts/drive-update.sh --folder "$veltrax" --logs "$work/logs-deb-3" --start-only -- "${launch[@]}" |
    tee "$work/second.out" || fail "the start after the upgrade"
grep -qx 'start-up status: Valid file selected.' "$work/second.out" || fail "the start after the upgrade"
cmp -s "$veltrax/veltrax-uploader" /usr/lib/veltrax-uploader/veltrax-uploader ||
    fail "the launcher did not replace the older copy"
[ "$(keepsakes "$veltrax")" = "$before" ] || fail "the upgrade changed hexcfg.dat, the firmware or a link"
kill -0 "$background_pid" || fail "the running older copy did not survive the upgrade"
[ -z "$(ls -A "$veltrax" | grep '^\.veltrax-uploader\.')" ] || fail "a temporary copy was left behind"
kill "$background_pid"; wait "$background_pid" 2>/dev/null || true; background_pid=""
exec 4<&-

# ---- the launcher's cases, each in a home of its own ----------------------------
# A desktop and a journal that keep notes: a failure must reach both, and the
# terminal. The display is one no program can open, so a program that starts
# ends at once, after the launcher has done its part.
say "the launcher's cases"
notes=$work/notes
mkdir -p "$notes/bin"
for tool in notify-send logger; do
    printf '#!/bin/sh\necho "$*" >>"%s/%s.said"\n' "$notes" "$tool" >"$notes/bin/$tool"
    chmod a+rx "$notes/bin/$tool"
done
chmod a+rwx "$notes"
chmod a+rx "$work"
launcher=/usr/bin/veltrax-uploader
installed=/usr/lib/veltrax-uploader/veltrax-uploader
# case name | setup, run in the new home | how the launcher is run | what it says ("" to start)
cases=(
    "relative HOME, a folder without hexcfg.dat|mkdir Veltrax|env HOME=. $launcher|"
    "the copy and hexcfg.dat are links|mkdir Veltrax && ln -s $installed Veltrax/veltrax-uploader && ln -s nowhere Veltrax/hexcfg.dat|env HOME=\$PWD $launcher|"
    "the copy is a link to a folder|mkdir -p Veltrax elsewhere && ln -s ../elsewhere Veltrax/veltrax-uploader|env HOME=\$PWD $launcher|"
    "~/Veltrax is a file|touch Veltrax|env HOME=\$PWD $launcher|is not a folder"
    "a FIFO in the copy's place|mkdir Veltrax && mkfifo Veltrax/veltrax-uploader|env HOME=\$PWD $launcher|is not a regular file"
    "a folder in the copy's place|mkdir -p Veltrax/veltrax-uploader|env HOME=\$PWD $launcher|is not a regular file"
    "a read-only home|chmod 755 .|setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=\$PWD $launcher|cannot make the folder"
    "the program missing|mkdir bin && cp $launcher bin/|env HOME=\$PWD bin/veltrax-uploader|is missing; reinstall"
)
launcher_case=0
for row in "${cases[@]}"; do
    IFS='|' read -r name setup command says <<<"$row"
    home=$work/launcher-$((++launcher_case))
    mkdir -p "$home"
    (cd "$home" && eval "$setup") || fail "launcher, $name: the setup"
    rm -f "$notes"/*.said
    status=0
    (cd "$home" && eval "PATH=$notes/bin:\$PATH DISPLAY=:4077 QT_QPA_PLATFORM=xcb timeout 20 $command") \
        >"$home.out" 2>&1 || status=$?
    if [ -n "$says" ]; then
        [ "$status" -eq 1 ] && grep -q "^veltrax-uploader: .*$says" "$home.out" ||
            fail "launcher, $name: exit $status, said: $(cat "$home.out")"
        for tool in notify-send logger; do
            grep -q "$says" "$notes/$tool.said" 2>/dev/null || fail "launcher, $name: $tool was not told"
        done
        continue
    fi
    # Started: the program ran (and found no display), from a regular copy,
    # with a hexcfg.dat only where nothing stood.
    grep -q 'could not connect to display' "$home.out" || fail "launcher, $name: did not start: $(cat "$home.out")"
    [ -f "$home/Veltrax/veltrax-uploader" ] && [ ! -L "$home/Veltrax/veltrax-uploader" ] &&
        cmp -s "$home/Veltrax/veltrax-uploader" "$installed" && [ -z "$(ls -A "$home/elsewhere" 2>/dev/null)" ] ||
        fail "launcher, $name: the copy"
    if [ -L "$home/Veltrax/hexcfg.dat" ]; then
        [ ! -e "$home/Veltrax/nowhere" ] || fail "launcher, $name: wrote through the hexcfg.dat link"
    else
        [ "$(cat "$home/Veltrax/hexcfg.dat")" = $'COM=1\r\nDBG=0\r' ] &&
            [ "$(stat -c %a "$home/Veltrax/hexcfg.dat")" = 644 ] || fail "launcher, $name: hexcfg.dat"
    fi
done

say "passed (both packages, the .deb installed and removed)"
