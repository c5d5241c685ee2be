#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Builds the packages into build/packages: the .deb and .rpm (quiplexlnx with quiplexefi.efi),
# the zip and the MSI of quiplexu, quiplexc and the guard service, the Ansible collection, the
# bill of materials and SHA256SUMS over them; then signs (scripts/sign_release.sh).
# The same commit gives the same bytes anywhere (tests/packaging/reproducible_test.sh). Uses
# build dirs of its own (build/package-*); needs no test tools.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
# The same commit gives the same bytes: every time stamp in the packages is the last commit's
# time, and neither the umask, the locale nor the time zone of whoever builds them matters.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) ||
        { echo "not a git clone: set SOURCE_DATE_EPOCH to the release's time" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
umask 0022
# ansible-galaxy also refuses to run without a UTF-8 locale.
export LC_ALL=C.UTF-8 TZ=UTC
out=build/packages
# Without tests: proves the programs build where GoogleTest is not even looked for.
no_tests=(-DQUIPLEX_BUILD_TESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON --no-warn-unused-cli)

step() { echo "+ $*"; "$@"; }
build() {  # preset, binary dir, extra cache settings
    local preset=$1 dir=$2
    shift 2
    step cmake --preset "$preset" -B "$dir" "${no_tests[@]}" "$@" >/dev/null
    step cmake --build "$dir"
}
pack() {  # binary dir, package file names
    local dir=$1 file
    shift
    rm -rf "$dir/cpack"
    (cd "$dir" && step cpack -B "$top/$dir/cpack") >/dev/null
    for file in "$@"; do
        cp "$dir/cpack/$file" "$out/"
        case $file in *.deb | *.zip) normalise "$out/$file" ;; esac
        echo "$out/$file"
    done
}
# What the packaging tools cannot be told (see the script).
normalise() { python3 scripts/normalise_package.py "$@"; }

# The install step signs the three programs (windows/sign.sh); the MSI is made from the zip's
# files.
windows_signing() {
    if [ -n "${QUIPLEX_SIGN_KEY:-}" ]; then
        # Made absolute here, as cpack signs from inside the build dir.
        QUIPLEX_SIGN_KEY=$(realpath -e "$QUIPLEX_SIGN_KEY")
        QUIPLEX_SIGN_CERT=$(realpath -e "${QUIPLEX_SIGN_CERT:?goes with QUIPLEX_SIGN_KEY}")
        export QUIPLEX_SIGN_KEY QUIPLEX_SIGN_CERT
        echo "Signing the three programs and the MSI with $QUIPLEX_SIGN_CERT"
    else
        echo "QUIPLEX_SIGN_KEY is not set: the programs and the MSI are not signed"
    fi
}
windows_installer() {
    local msi="$out/quiplexu-${version}-x64.msi"
    rm -f "$out"/*.msi
    step bash windows/make_msi.sh "$out/quiplexu-${version}-win64.zip" "$version" "$msi"
    echo "$msi"
}

mkdir -p "$out"
rm -f "$out"/*.deb "$out"/*.rpm "$out"/*.zip "$out"/SHA256SUMS

# One .deb holds both builds: the uefi build's image goes into the linux build's install rules.
build uefi build/package-uefi
# The release number, as the build has it from project().
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package-uefi/CMakeCache.txt)
build linux build/package-linux -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUIPLEX_EFI_IMAGE_FOR_PACKAGE="$top/build/package-uefi/uefi/quiplexefi.efi"
pack build/package-linux "quiplex_${version}_amd64.deb" "quiplex-${version}-1.x86_64.rpm"

build windows build/package-windows -DCMAKE_BUILD_TYPE=Release
windows_signing
pack build/package-windows "quiplexu-${version}-win64.zip"
windows_installer

# The Ansible collection quiplex.boot, for the fleets the .deb and .rpm go onto.
rm -f "$out"/quiplex-boot-*.tar.gz
collection="$out/quiplex-boot-$(sed -n 's/^version: //p' ansible/galaxy.yml).tar.gz"
step ansible-galaxy collection build ansible --output-path "$out" --force >/dev/null
normalise "$collection"
echo "$collection"

# The bill of materials: each package's programs and what they link (scripts/make_sbom.py).
rm -f "$out"/*.cdx.json "$out"/quiplex-archive-keyring.gpg "$out"/RPM-GPG-KEY-quiplex \
    "$out"/SHA256SUMS.asc
step python3 scripts/make_sbom.py "$out" "$version" build/package-{linux,uefi,windows}/link-maps

# For `sha256sum -c SHA256SUMS` in build/packages, beside the packages as they are downloaded.
(cd "$out" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%P\0' | sort -z |
    xargs -0 sha256sum -- >SHA256SUMS)
echo "$out/SHA256SUMS"

# The key, SHA256SUMS.asc and the signed repositories (repo/): not in SHA256SUMS, as a build
# without the release key signs with a new key each time.
step bash scripts/sign_release.sh "$out"
