#!/bin/sh
# veltrax-uploader: starts the Veltrax Firmware Uploader in the user's own
# program folder, ~/Veltrax. The program keeps its preferences (hexcfg.dat)
# and finds its firmware and COMn links in the folder it runs from, so it is
# copied there.
#
# - A new folder gets the program and a hexcfg.dat for COM1, Debug off, so the
#   first start goes through without a "Prefs Error" box.
# - A copy that differs from the installed program (an upgrade) is replaced
#   by a new copy renamed over it: a copy that is running keeps running.
# - An existing hexcfg.dat, firmware files and COMn links are never touched.
set -eu

installed="$(dirname "$(readlink -f "$0")")/../lib/veltrax-uploader/veltrax-uploader"
fail() {
    echo "veltrax-uploader: $*" >&2
    exit 1
}

[ -n "${HOME:-}" ] || fail "HOME is not set: there is no home folder for ~/Veltrax"
[ -x "$installed" ] || fail "$installed is missing; reinstall the veltrax-uploader package"
folder="$HOME/Veltrax"
copy="$folder/veltrax-uploader"

if [ ! -e "$folder" ] && [ ! -L "$folder" ]; then
    mkdir -p "$folder"
    printf 'COM=1\r\nDBG=0\r\n' >"$folder/hexcfg.dat"
fi
[ -d "$folder" ] || fail "$folder is not a folder; move it away and start again"

if ! cmp -s "$installed" "$copy"; then
    [ ! -d "$copy" ] || fail "$copy is a folder; move it away and start again"
    fresh=$(mktemp "$folder/.veltrax-uploader.XXXXXX") || fail "cannot write in $folder"
    trap 'rm -f "$fresh"' EXIT
    cp "$installed" "$fresh" || fail "cannot copy the program into $folder"
    chmod 755 "$fresh"
    mv -f "$fresh" "$copy" || fail "cannot replace $copy"
    trap - EXIT
fi

cd "$folder"
exec "$copy"
