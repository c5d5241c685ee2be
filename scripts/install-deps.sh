#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
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
    # The security checks: hardening-check, the static analysers and the licence linter.
    devscripts clang-tidy cppcheck reuse
    # The signed release repositories and their tests: a Debian root for apt, dnf for the rpm
    # side, the bill of materials' schema validator.
    gnupg apt-utils createrepo-c dnf mmdebstrap python3-jsonschema
)
# npm fetches the CycloneDX schemas; a Node.js from elsewhere brings its own npm.
command -v npm >/dev/null || packages+=(npm)

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

# The CycloneDX JSON schemas the bill of materials is validated against, from the CycloneDX
# library's npm package (nothing of it runs; tests/packaging/release_test.py reads its schemas).
cyclonedx=/opt/quiplex/cyclonedx
cyclonedx_version=10.3.0
library=$cyclonedx/node_modules/@cyclonedx/cyclonedx-library
if [ ! -f "$library/res/schema/bom-1.6.SNAPSHOT.schema.json" ] ||
    ! grep -q "\"version\": \"$cyclonedx_version\"" "$library/package.json"; then
    echo "+ npm install @cyclonedx/cyclonedx-library@$cyclonedx_version"
    mkdir -p "$cyclonedx"
    npm install --prefix "$cyclonedx" --no-save --ignore-scripts --omit=optional --no-audit \
        --no-fund "@cyclonedx/cyclonedx-library@$cyclonedx_version"
fi
