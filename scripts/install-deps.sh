#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the cross build need.
# Does nothing when all of them are present; otherwise runs apt-get update first.
# Works as root or through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-svg-dev fonts-dejavu-core
    libgtest-dev libgmock-dev
    libcli11-dev nlohmann-json3-dev libdiscid-dev libisal-dev libcurl4-openssl-dev libflac-dev
    g++-mingw-w64-i686
    libcdio-utils genisoimage xorriso sox flac
    libbenchmark-dev cd-paranoia time
    whipper
    clang-14 libclang-rt-14-dev
)

# make test-vm also needs a guest: QEMU, Debian's own kernel, busybox, and the peers' tools
# (cd-paranoia and cd-info are in the list above already).
if [ "${1:-}" = "vm" ]; then
    packages+=(qemu-system-x86 linux-image-amd64 busybox-static cpio xz-utils cdrdao icedax)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
