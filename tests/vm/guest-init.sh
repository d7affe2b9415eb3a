#!/bin/sh
# /init of the test guest: the kernel's own drivers, then the steps the host wrote into
# /etc/steps.sh, each framed on the serial console so the host can take its output apart.
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /tmp
while read -r m params; do
    insmod "$m" $params || echo "@@insmod-failed $m"
done < /etc/modules.order
export PATH=/usr/bin:/bin LC_ALL=C.UTF-8 HOME=/tmp

# step NAME COMMAND...: runs the command and frames what it printed and its status.
step() {
    name=$1
    shift
    echo "@@step $name"
    "$@" > /tmp/out 2>&1
    rc=$?
    cat /tmp/out
    # The frame starts a line of its own even when the output ends without a newline.
    [ -n "$(tail -c 1 /tmp/out)" ] && echo
    echo "@@end $name $rc"
}

# tray LETTER NAME: the tray opened (the disc is gone for the next read), then closed again.
tray() {
    step "$2-eject" tolvane-cli --drive $1 eject
    step "$2-ejected" tolvane-cli --drive $1 info
    step "$2-load" tolvane-cli --drive $1 load
    step "$2-reloaded" tolvane-cli --drive $1 info --json
}

# Waits until N optical drives have their device nodes (the drivers probe in the background).
wait_drives() {
    i=0
    while [ "$(ls /dev/sr* 2>/dev/null | wc -l)" -lt "$1" ] && [ $i -lt 100 ]; do
        sleep 0.1
        i=$((i + 1))
    done
}

echo "@@guest-up"
. /etc/steps.sh
echo "@@guest-done"
sync
poweroff -f
