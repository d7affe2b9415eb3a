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
total=$((4 + 2 * ${#images[@]}))
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
    # The tray: open, the disc is gone for the next read; closed, it reads as before.
    step "\$b-eject" tolvane-cli --drive \$letter eject
    step "\$b-ejected" tolvane-cli --drive \$letter info
    step "\$b-load" tolvane-cli --drive \$letter load
    step "\$b-reloaded" tolvane-cli --drive \$letter info --json
    letter=\$(echo \$letter | tr 'A-Y' 'B-Z')
done
STEPS
"$here/initramfs.sh" "$work/iso.cpio.gz" "$kver" "$here/guest-init.sh" "${modules[@]}" \
    --program "$work/tolvane-cli" --file "$work/steps-iso.sh:/etc/steps.sh"
boot iso "$work/iso.cpio.gz" -device ich9-ahci,id=ahci -device virtio-scsi-pci,id=vscsi "${drives[@]}"

python3 "$here/compare.py" iso "$work" "${images[@]}"
echo "test-vm: all guests passed"
