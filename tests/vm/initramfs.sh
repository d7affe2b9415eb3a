#!/usr/bin/env bash
# Builds the guest's initramfs: busybox, the kernel modules asked for (with everything
# they depend on, resolved through the kernel's modules.dep and loaded in that order),
# programs with the shared libraries they need, files, and /init.
#
# usage: initramfs.sh OUT KVER INIT [--module 'NAME [PARAM=VALUE...]']... [--program PATH]... [--file SRC:DEST]...
set -euo pipefail

out=$1 kver=$2 init=$3
shift 3
moddir=/lib/modules/$kver
[ -f "$moddir/modules.dep" ] || { echo "initramfs: no modules for kernel $kver in $moddir" >&2; exit 1; }
busybox=$(command -v busybox) || { echo "initramfs: busybox not found (package busybox-static)" >&2; exit 1; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,sbin,etc,proc,sys,dev,tmp,mnt,run,lib,lib64,lib/x86_64-linux-gnu,usr/bin}
cp "$busybox" "$root/bin/busybox"
for applet in $("$busybox" --list); do
    [ -e "$root/bin/$applet" ] || ln -s busybox "$root/bin/$applet"
done

declare -A seen=() params=()
order=()
resolve() {
    local name=$1 line path dep base
    [ -n "${seen[$name]:-}" ] && return 0
    seen[$name]=1
    line=$(grep -E "(^|/)${name}\.ko(\.xz|\.zst|\.gz)?:" "$moddir/modules.dep" | head -n 1) ||
        { echo "initramfs: kernel $kver has no module $name" >&2; exit 1; }
    path=${line%%:*}
    for dep in ${line#*:}; do
        base=$(basename "$dep")
        resolve "${base%%.ko*}"
    done
    order+=("$path")
}
copy_program() {
    local program=$1 lib
    cp "$program" "$root/usr/bin/"
    # The dynamic loader and every library the program needs, where the loader looks.
    for lib in $(ldd "$program" | grep -oE '/[^ ]+\.so[^ ]*'); do
        cp -L "$lib" "$root/lib/x86_64-linux-gnu/" 2>/dev/null || true
        case $lib in /lib64/*) cp -L "$lib" "$root/lib64/";; esac
    done
}

while [ $# -gt 0 ]; do
    case $1 in
    --module) read -r name rest <<< "$2"; params[$name]=$rest; resolve "$name"; shift 2;;
    --program) copy_program "$2"; shift 2;;
    --file) src=${2%%:*} dest=${2#*:}; mkdir -p "$root/$(dirname "$dest")"; cp -L "$src" "$root/$dest"; shift 2;;
    *) echo "initramfs: unknown option $1" >&2; exit 2;;
    esac
done
: > "$root/etc/modules.order"
for path in "${order[@]}"; do
    mkdir -p "$root/lib/modules/$(dirname "$path")"
    case $path in
    *.xz) xz -dc "$moddir/$path" > "$root/lib/modules/${path%.xz}"; path=${path%.xz};;
    *.zst) zstd -dcq "$moddir/$path" > "$root/lib/modules/${path%.zst}"; path=${path%.zst};;
    *) cp "$moddir/$path" "$root/lib/modules/$path";;
    esac
    base=$(basename "$path")
    echo "/lib/modules/$path ${params[${base%%.ko*}]:-}" >> "$root/etc/modules.order"
done
cp "$init" "$root/init"
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 > "$out"
