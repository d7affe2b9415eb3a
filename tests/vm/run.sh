#!/usr/bin/env bash
# The kernel path (make test-vm): tolvane-cli inside a QEMU guest that runs Debian's own
# kernel, against CD-ROM drives that QEMU emulates on three controllers (IDE, AHCI,
# virtio-scsi) and that Linux's sr/sg drivers present as /dev/srN. What the guest reads
# must equal what the same images give through tolvane-cli's own virtual drive, field by
# field, except where a drive cannot answer (each such limit is named in compare.py).
#
# usage: tests/vm/run.sh [--build DIR] [--keep]    (one guest by hand: see the README)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$root/build
keep=0
while [ $# -gt 0 ]; do
    case $1 in
    --build) build=$(cd "$2" && pwd); shift 2;;
    --keep) keep=1; shift;;
    *) echo "usage: $0 [--build DIR] [--keep]" >&2; exit 2;;
    esac
done
testdata=${TOLVANE_TESTDATA:-$root/../shared/testdata}
cli=$build/src/tolvane-cli

fail() { echo "test-vm: $*" >&2; exit 1; }
command -v qemu-system-x86_64 >/dev/null || fail "qemu-system-x86_64 missing (package qemu-system-x86)"
kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)
[ -n "$kernel" ] || fail "no kernel in /boot (package linux-image-amd64)"
kver=${kernel#/boot/vmlinuz-}
[ -d "/lib/modules/$kver" ] || fail "no modules for $kver in /lib/modules"
[ -x "$cli" ] || fail "$cli not built"
[ -d "$testdata/libcdio" ] || fail "no shared test data at $testdata"

work=$(mktemp -d /tmp/tolvane-vm.XXXXXX)
[ $keep -eq 1 ] && echo "test-vm: work folder $work" || trap 'rm -rf "$work"' EXIT
strip --strip-debug -o "$work/tolvane-cli" "$cli"

# The images: libcdio's ISO files, and a DVD-sized one of our own (sparse: it costs no disk).
images=()
for f in copying.iso copying-rr.iso joliet.iso test-udf1.iso udf102.iso; do
    images+=("$testdata/libcdio/$f")
done
mkdir -p "$work/dvd-root"
echo "Tolvane's DVD-sized test volume" > "$work/dvd-root/README.TXT"
xorriso -as mkisofs -quiet -V TOLVANE_VM_DVD -o "$work/dvd.iso" "$work/dvd-root" 2>/dev/null ||
    genisoimage -quiet -V TOLVANE_VM_DVD -o "$work/dvd.iso" "$work/dvd-root"
truncate -s 1200M "$work/dvd.iso" # beyond a CD's 80 minutes: QEMU and our loader call it a DVD
images+=("$work/dvd.iso")

# What tolvane-cli's own virtual drive makes of each image.
for img in "${images[@]}"; do
    name=$(basename "$img" .iso)
    "$cli" --image "$img" info --json > "$work/expected-$name.json"
    "$cli" --image "$img" report "$work/expected-$name.report"
    dd if="$img" bs=2048 skip=16 count=1 status=none | sha256sum | cut -d' ' -f1 > "$work/block16-$name"
done

boot() { # NAME INITRD QEMU-ARGS... : runs one guest; its console goes to $work/NAME.log
    local name=$1 initrd=$2
    shift 2
    local started=$SECONDS
    timeout 420 qemu-system-x86_64 -machine pc -accel tcg -m 512 -nodefaults -nographic -no-reboot \
        -serial "file:$work/$name.log" -monitor none \
        -kernel "$kernel" -initrd "$initrd" -append "console=ttyS0 quiet loglevel=1 panic=-1" "$@" \
        > "$work/$name.qemu" 2>&1 || true
    grep -q '@@guest-done' "$work/$name.log" ||
        fail "guest $name did not finish (console: $work/$name.log; run with --keep to look)"
    echo "test-vm: guest $name ran in $((SECONDS - started)) s"
}

modules=(--module sr_mod --module sg --module ata_piix --module ahci --module virtio_scsi --module virtio_pci)

# --- 1. ISO images on three controllers ------------------------------------------------
drives=()
n=0
for img in "${images[@]}"; do
    drives+=(-drive "if=none,id=ide$n,file=$img,media=cdrom,readonly=on,format=raw")
    [ $n -lt 4 ] && drives+=(-device "ide-cd,drive=ide$n,bus=ide.$((n / 2)),unit=$((n % 2))")
    drives+=(-drive "if=none,id=ahci$n,file=$img,media=cdrom,readonly=on,format=raw")
    drives+=(-device "ide-cd,drive=ahci$n,bus=ahci.$n")
    drives+=(-drive "if=none,id=vs$n,file=$img,media=cdrom,readonly=on,format=raw")
    drives+=(-device "scsi-cd,drive=vs$n,bus=vscsi.0,scsi-id=$n,lun=0")
    n=$((n + 1))
done
# And a drive with no disc in it.
drives+=(-drive "if=none,id=vsempty,media=cdrom,readonly=on" -device "scsi-cd,drive=vsempty,bus=vscsi.0,scsi-id=7,lun=0")
total=$((4 + 2 * ${#images[@]} + 1))
cat > "$work/steps-iso.sh" <<STEPS
wait_drives $total
step drives tolvane-cli drives
letter=D
for dev in \$(ls /dev/sr* | sort -V); do
    b=\$(basename \$dev)
    step "\$b-where" readlink -f /sys/block/\$b/device
    step "\$b-block16" sh -c "dd if=\$dev bs=2048 skip=16 count=1 2>/dev/null | sha256sum | cut -d' ' -f1"
    step "\$b-info" tolvane-cli --drive \$letter info --json
    step "\$b-report" sh -c "tolvane-cli --drive \$letter report /tmp/report.txt && cat /tmp/report.txt"
    tray \$letter \$b
    letter=\$(echo \$letter | tr 'A-Y' 'B-Z')
done
STEPS
"$here/initramfs.sh" "$work/iso.cpio.gz" "$kver" "$here/guest-init.sh" "${modules[@]}" \
    --program "$work/tolvane-cli" --file "$work/steps-iso.sh:/etc/steps.sh"
boot iso "$work/iso.cpio.gz" -device ich9-ahci,id=ahci -device virtio-scsi-pci,id=vscsi "${drives[@]}"

# --- 2. Audio CDs through usb-storage: our virtual drive as a USB CD-ROM drive -------------
# QEMU's drives cannot hold audio, so tolvane-gadget serves the demo CD and libcdio's audio
# sheets through FunctionFS on dummy_hcd's USB controllers (one per disc); the guest's
# usb-storage and sr drivers present each as /dev/srN. Then tolvane-cli and the peers read them.
gadget=$build/src/tolvane-gadget
[ -x "$gadget" ] || fail "$gadget not built"
audio=(demo cdda cdda_4_5 p1)
files=()
for name in "${audio[@]}"; do
    if [ "$name" = demo ]; then
        source=(--demo --drive D:)
    else
        source=(--image "$testdata/libcdio/$name.cue")
        files+=(--file "$testdata/libcdio/$name.cue:/images/$name.cue" --file "$testdata/libcdio/$name.bin:/images/$name.bin")
    fi
    "$cli" "${source[@]}" info --json > "$work/expected-$name.json"
    rm -rf "$work/rip-$name"
    "$cli" "${source[@]}" rip --no-verify --out "$work/rip-$name" > /dev/null
    (cd "$work/rip-$name" && sha256sum ./*.wav | sed 's| \./| |' > "$work/wav-$name"
     for f in ./*.wav; do [ "$f" = "./Track 0.wav" ] || tail -c +45 "$f" | sha256sum | cut -d' ' -f1; done > "$work/pcm-$name")
    first=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["Tracks"][0]["LBA"])' "$work/expected-$name.json")
    if [ "$first" -gt 0 ]; then # audio before track 1, which cd-paranoia copies as its track 0
        head -c $((first * 2352)) "$testdata/libcdio/$name.bin" | sha256sum | cut -d' ' -f1 > "$work/htoa-$name"
        # tolvane-cli copies it as Track 0.wav when it is not silence: the image's bytes too.
        if [ -f "$work/rip-$name/Track 0.wav" ] &&
           [ "$(tail -c +45 "$work/rip-$name/Track 0.wav" | sha256sum | cut -d' ' -f1)" != "$(cat "$work/htoa-$name")" ]; then
            fail "$name: Track 0.wav is not the image's audio before track 1"
        fi
    fi
done
peers=()
for p in cd-paranoia cd-info cdrdao icedax; do
    command -v $p >/dev/null || fail "$p missing (packages cd-paranoia libcdio-utils cdrdao icedax)"
    peers+=(--program "$(command -v $p)")
done
# libcdio turns CD-Text into UTF-8 through iconv, which needs its Latin-1 module.
gconv=/usr/lib/x86_64-linux-gnu/gconv
for f in gconv-modules gconv-modules.cache ISO8859-1.so UNICODE.so UTF-16.so; do
    [ -e "$gconv/$f" ] && files+=(--file "$gconv/$f:$gconv/$f")
done
cat > "$work/steps-usb.sh" <<STEPS
mount -t configfs none /sys/kernel/config
n=0
for disc in --demo-cd $(printf -- '"--image /images/%s.cue" ' "${audio[@]:1}"); do
    g=/sys/kernel/config/usb_gadget/cd\$n
    mkdir \$g \$g/strings/0x409 \$g/configs/c.1 \$g/functions/ffs.cd\$n
    echo 0x1d6b > \$g/idVendor
    echo 0x0104 > \$g/idProduct
    echo Tolvane > \$g/strings/0x409/manufacturer
    ln -s \$g/functions/ffs.cd\$n \$g/configs/c.1/
    mkdir -p /dev/ffs\$n
    mount -t functionfs cd\$n /dev/ffs\$n
    tolvane-gadget /dev/ffs\$n \$disc > /tmp/gadget\$n.log 2>&1 &
    i=0
    while [ ! -e /dev/ffs\$n/ep1 ] && [ \$i -lt 100 ]; do sleep 0.1; i=\$((i + 1)); done
    echo dummy_udc.\$n > \$g/UDC
    n=\$((n + 1))
done
wait_drives ${#audio[@]}
step drives tolvane-cli drives
letter=D
for dev in \$(ls /dev/sr* | sort -V); do
    b=\$(basename \$dev)
    step "\$b-where" readlink -f /sys/block/\$b/device
    step "\$b-info" tolvane-cli --drive \$letter info --json
    step "\$b-rip" sh -c "tolvane-cli --drive \$letter rip --no-verify --out /tmp/rip-\$b > /dev/null && cd /tmp/rip-\$b && sha256sum *.wav"
    step "\$b-paranoia" sh -c "mkdir /tmp/par-\$b && cd /tmp/par-\$b && cd-paranoia -q -d \$dev -B -w > /dev/null 2>&1 && for f in *.wav; do tail -c +45 \\\$f | sha256sum | cut -d' ' -f1; done"
    step "\$b-cdinfo" cd-info --no-header --no-device-info -C \$dev
    step "\$b-cdrdao" sh -c "cd /tmp && cdrdao read-toc --device \$dev --datafile \$b.bin /tmp/\$b.toc > /tmp/\$b.cdrdao 2>&1; cat /tmp/\$b.toc; grep -h 'CRC errors' /tmp/\$b.cdrdao; true"
    step "\$b-icedax" sh -c "cd /tmp && icedax -J -g -v all -D \$dev -N 2>&1"
    tray \$letter \$b
    letter=\$(echo \$letter | tr 'A-Y' 'B-Z')
done
STEPS
# The drive goes away in the middle of a rip of the demo CD: its gadget's controller is
# unbound, and with it the device node. The rip must end by itself with a message.
cat >> "$work/steps-usb.sh" <<'STEPS'
unplug() {
    letter=D
    for dev in $(ls /dev/sr* | sort -V); do
        readlink -f /sys/block/$(basename $dev)/device | grep -q 'dummy_hcd\.0/' && break
        letter=$(echo $letter | tr 'A-Y' 'B-Z')
    done
    tolvane-cli --drive $letter rip --no-verify --out /tmp/unplug > /tmp/unplug.out 2>&1 &
    pid=$!
    sleep 2
    echo '' > /sys/kernel/config/usb_gadget/cd0/UDC
    i=0
    while kill -0 $pid 2>/dev/null && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
    kill -0 $pid 2>/dev/null && { echo "still running 60 s after the unplug"; kill -9 $pid; }
    wait $pid
    echo "exit status $?"
    cat /tmp/unplug.out
}
step unplug unplug
STEPS
"$here/initramfs.sh" "$work/usb.cpio.gz" "$kver" "$here/guest-init.sh" --module sr_mod --module sg \
    --module "dummy_hcd num=${#audio[@]}" --module libcomposite --module usb_f_fs --module configfs \
    --module "usb-storage delay_use=0" --program "$work/tolvane-cli" --program "$gadget" "${peers[@]}" \
    "${files[@]}" --file "$work/steps-usb.sh:/etc/steps.sh"
boot usb "$work/usb.cpio.gz"

rc=0
python3 "$here/compare.py" iso "$work" "${images[@]}" || rc=1
python3 "$here/compare.py" usb "$work" "$testdata" "${audio[@]}" || rc=1
[ $rc -eq 0 ] || fail "the kernel path differs from the virtual drive (consoles: run with --keep)"
echo "test-vm: all guests passed"
