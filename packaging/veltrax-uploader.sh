#!/bin/sh
# veltrax-uploader: starts the Veltrax Firmware Uploader in the user's own
# program folder, ~/Veltrax. The program keeps its preferences (hexcfg.dat)
# and finds its firmware and COMn links in the folder it runs from, so it is
# copied there.
#
# - The copy is replaced when it is a regular file that differs from the
#   installed program (an upgrade), a link, or missing: a new copy is renamed
#   over it, so a copy that is running keeps running. Anything else at its
#   place (a folder, a FIFO, a device) is refused without being read.
# - hexcfg.dat is written for COM1, Debug off, only where nothing at all
#   stands at that name, so the first start goes through without a "Prefs
#   Error" box. An existing hexcfg.dat (or a link by that name), firmware
#   files and COMn links are never touched.
# - Started from the desktop menu there is no terminal: a failure is shown on
#   the desktop and written to the journal as well as to standard error.
set -eu

title="Veltrax Firmware Uploader"
installed="$(dirname "$(readlink -f "$0")")/../lib/veltrax-uploader/veltrax-uploader"

fail() {
    message="veltrax-uploader: $*"
    echo "$message" >&2
    if command -v logger >/dev/null 2>&1; then
        logger -t veltrax-uploader -p user.err -- "$*" 2>/dev/null || true
    elif command -v systemd-cat >/dev/null 2>&1; then
        echo "$*" | systemd-cat -t veltrax-uploader -p err 2>/dev/null || true
    fi
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        if command -v notify-send >/dev/null 2>&1 &&
            notify-send --urgency=critical --icon=veltrax-uploader "$title" "$*" 2>/dev/null; then
            :
        elif command -v xmessage >/dev/null 2>&1; then
            # It stays up until dismissed; the launcher does not wait for it.
            xmessage -center -title "$title" "$message" >/dev/null 2>&1 &
        fi
    fi
    exit 1
}

[ -n "${HOME:-}" ] || fail "HOME is not set: there is no home folder for ~/Veltrax"
[ -x "$installed" ] || fail "$installed is missing; reinstall the veltrax-uploader package"
# The program is run by an absolute path, whatever form HOME has.
home=$(cd "$HOME" 2>/dev/null && pwd -P) || fail "the home folder $HOME cannot be entered"
folder="$home/Veltrax"
copy="$folder/veltrax-uploader"
config="$folder/hexcfg.dat"

if [ ! -e "$folder" ] && [ ! -L "$folder" ]; then
    # A second start at the same moment may have made it first.
    mkdir "$folder" 2>/dev/null || [ -d "$folder" ] || fail "cannot make the folder $folder"
fi
[ -d "$folder" ] || fail "$folder is not a folder; move it away and start again"

# What stands at the copy's place decides, before anything reads it.
if [ -L "$copy" ] || [ ! -e "$copy" ]; then
    replace=1
elif [ -f "$copy" ]; then
    replace=""
    cmp -s "$installed" "$copy" || replace=1
else
    fail "$copy is not a regular file (a folder, a FIFO or a device); move it away and start again"
fi
if [ -n "$replace" ]; then
    fresh=$(mktemp "$folder/.veltrax-uploader.XXXXXX" 2>/dev/null) ||
        fail "cannot write in $folder"
    trap 'rm -f "$fresh"' EXIT
    cp "$installed" "$fresh" 2>/dev/null || fail "cannot copy the program into $folder"
    chmod 755 "$fresh" || fail "cannot make the copy in $folder executable"
    # -T: a link at the copy's place is replaced, never followed into a folder.
    mv -fT "$fresh" "$copy" 2>/dev/null || fail "cannot replace $copy"
    trap - EXIT
fi

# Linked into place under its name: a link fails on anything that stands
# there by now, a dangling link included, so nothing is written through one.
if [ ! -e "$config" ] && [ ! -L "$config" ]; then
    fresh=$(mktemp "$folder/.hexcfg.dat.XXXXXX" 2>/dev/null) || fail "cannot write in $folder"
    trap 'rm -f "$fresh"' EXIT
    printf 'COM=1\r\nDBG=0\r\n' >"$fresh" || fail "cannot write $config"
    # mktemp makes it private; the settings file is as readable as any other.
    chmod 644 "$fresh" || fail "cannot write $config"
    ln -T "$fresh" "$config" 2>/dev/null || [ -e "$config" ] || [ -L "$config" ] ||
        fail "cannot write $config"
    rm -f "$fresh"
    trap - EXIT
fi

cd "$folder" || fail "cannot enter $folder"
exec "$copy"
