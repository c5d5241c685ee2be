#!/usr/bin/env bash
# Installs, from Debian's archive, every package the builds, tests and demos need (as root).
set -euo pipefail

packages=(
    cmake ninja-build clang libclang-rt-14-dev g++ libgtest-dev googletest e2fsprogs
    # binutils-mingw-w64-x86-64 brings windmc too, which compiles the event messages.
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64
    gnu-efi qemu-system-x86 ovmf mtools dosfstools busybox-static cpio efibootmgr python3 xz-utils
    zstd clang-format python3-voluptuous
    # visudo and desktop-file-validate check the Linux guide's sudoers line and launcher.
    sudo desktop-file-utils
    dpkg-dev file lintian man-db groff sbsigntool openssl git
    wixl msitools osslsigncode rpm rpmlint bash-completion zsh ansible-core
    faketime diffoscope-minimal
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "+ apt-get install ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
