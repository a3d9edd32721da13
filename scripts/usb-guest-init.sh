#!/bin/busybox sh
# /init of the small virtual machine that scripts/usb-test.sh boots: loads the
# drivers of an emulated USB serial adapter, mounts the host's root read-only
# and the stage's results folder writable over virtio-9p, and then runs the
# host's commands in a chroot of the host's root, each in the background:
#
#   run N    runs $share/cmd-N.sh with bash, output to $share/cmd-N.out;
#            "@@done N STATUS" on the console when it has ended
#   halt     powers off
#
# The kernel passes veltrax_source (the checkout) and veltrax_share (the
# results folder), paths the same on both sides, in the environment.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# Only this script speaks on the console: the host reads it line by line.
dmesg -n 1
stty -echo -icanon 2>/dev/null

fail() {
    echo "@@failed $*"
    poweroff -f
}

for module in $(cat /modules.load); do
    modprobe "$module" || fail "modprobe $module"
done

root=/newroot
share=${veltrax_share:?}
checkout=${veltrax_source:?}
opts=trans=virtio,version=9p2000.L,msize=512000
mount -t 9p -o "$opts,ro" host "$root" || fail "mounting the host's root"
mount -t devtmpfs devtmpfs "$root/dev"
mkdir -p "$root/dev/pts" "$root/dev/shm"
mount -t devpts devpts "$root/dev/pts"
mount -t tmpfs tmpfs "$root/dev/shm"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
# The serial port's lock file goes in /run/lock; X and the programs write /tmp.
# A checkout under /tmp stays in sight through a bind mount of the host's /tmp
# made before the tmpfs covers it.
mkdir -p /host-tmp
mount --bind "$root/tmp" /host-tmp
mount -t tmpfs tmpfs "$root/run"
mount -t tmpfs tmpfs "$root/tmp"
mkdir -p "$root/run/lock" "$root/tmp/home"
chmod 1777 "$root/tmp" "$root/run/lock"
case $checkout in
    /tmp/*)
        mkdir -p "$root$checkout"
        mount --bind "/host-tmp${checkout#/tmp}" "$root$checkout" || fail "the checkout under /tmp"
        ;;
esac
# Last: the tmpfs and the checkout's bind mount would hide it.
mkdir -p "$root$share" 2>/dev/null
mount -t 9p -o "$opts" share "$root$share" || fail "mounting the results folder"

echo "@@ready"
while read -r verb number; do
    case $verb in
        run)
            (
                chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp/home \
                    LANG=C.UTF-8 /bin/bash "$share/cmd-$number.sh" >"$root$share/cmd-$number.out" 2>&1
                echo "@@done $number $?"
            ) &
            ;;
        halt)
            sync
            poweroff -f
            ;;
    esac
done
