#!/bin/bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Builds the packages of the HEAD commit twice with scripts/package.sh, in two clones at different
# paths, the second on another file system (tmpfs) and host name, 400 days later, with another
# umask, locale, time zone and home, and compares every package and program byte for byte.
# Usage: reproducible_test.sh SOURCE_DIR   (QUIPLEX_KEEP_BUILDS=1 keeps both builds)
set -u
source=$1
commit=$(git -C "$source" rev-parse HEAD) || exit 1
temp=$(mktemp -d /tmp/quiplex-reproducible.XXXXXX)
if [ -n "${QUIPLEX_KEEP_BUILDS:-}" ]; then
    echo "builds kept in $temp"
else
    trap 'rm -rf "$temp"' EXIT
fi
one=$temp/one/quiplex two=$temp/second-build/somewhere/deeper/q copy=$temp/two
# A locale other than the first build's C; C.UTF-8 where no other is installed.
locale=$(locale -a | grep -v -i -x -E 'C|POSIX|C\.utf-?8' | grep -i -m1 'utf-\?8' || echo C.UTF-8)

# What package.sh writes but the signatures, keys and repositories (a new throwaway key each
# time), and the programs as built (the packages hold them stripped).
outputs() {
    (cd "$1" && find build/packages -maxdepth 1 -type f ! -name SHA256SUMS.asc \
        ! -name quiplex-archive-keyring.gpg ! -name RPM-GPG-KEY-quiplex &&
        ls build/package-linux/linux/quiplexlnx \
        build/package-uefi/uefi/quiplexefi.efi build/package-windows/windows/*.exe) | LC_ALL=C sort
}
clone() {
    git clone -q --no-checkout "$source" "$1" && git -C "$1" checkout -q --detach "$commit"
}
second_build() {
    set -e
    if [ "$namespaces" = yes ]; then
        mkdir -p "$temp/second-build"
        mount -t tmpfs -o mode=0755 quiplex-second "$temp/second-build"
        hostname quiplex-elsewhere
    fi
    umask 0077
    clone "$two"
    cd "$two"
    unset LC_ALL
    export HOME=$temp/second-build/home USER=quiplex-builder LOGNAME=quiplex-builder
    mkdir -p "$HOME"
    LANG=$locale TZ=Pacific/Chatham faketime -f +400d bash scripts/package.sh
    # The tmpfs goes with the namespace: the outputs are compared from a copy.
    outputs "$two" | while read -r file; do
        mkdir -p "$copy/$(dirname "$file")" && cp -p "$file" "$copy/$file"
    done
}
namespaces=no
if unshare --mount --uts true 2>/dev/null; then
    namespaces=yes
else
    echo "note: no mount and UTS namespace here, both builds on one file system and host name"
fi
export -f outputs clone second_build
export source commit temp two copy locale namespaces

start=$SECONDS
(clone "$one" && cd "$one" && umask 0022 && LC_ALL=C TZ=UTC bash scripts/package.sh) \
    >"$temp/one.log" 2>&1 || { tail -30 "$temp/one.log"; echo "FAIL: first build"; exit 1; }
if [ "$namespaces" = yes ]; then
    unshare --mount --uts bash -c second_build
else
    bash -c second_build
fi >"$temp/two.log" 2>&1 || { tail -30 "$temp/two.log"; echo "FAIL: second build"; exit 1; }
echo "two builds: $((SECONDS - start)) s"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
outputs "$one" >"$temp/one.list"
outputs "$copy" >"$temp/two.list"
diff "$temp/one.list" "$temp/two.list" || fail "the builds made different files (above)"
differing=()
while read -r file; do
    if [ ! -f "$copy/$file" ]; then
        continue
    elif cmp -s "$one/$file" "$copy/$file"; then
        echo "same: $file"
    else
        differing+=("$file")
    fi
done <"$temp/one.list"
if [ "${#differing[@]}" -gt 0 ]; then
    fail "these differ between the builds: ${differing[*]}"
    # SHA256SUMS differs whenever a package does: the package tells more.
    first=${differing[0]}
    [ "${#differing[@]}" -eq 1 ] || [ "${first##*/}" != SHA256SUMS ] || first=${differing[1]}
    echo "diffoscope on $first:"
    diffoscope --no-progress --text - "$one/$first" "$copy/$first" | head -300
fi

# SHA256SUMS holds every package and nothing else (not the signatures, keys or repositories),
# and each line holds.
unlisted='SHA256SUMS|SHA256SUMS\.asc|quiplex-archive-keyring\.gpg|RPM-GPG-KEY-quiplex|repo'
(cd "$one/build/packages" && LC_ALL=C ls | grep -v -x -E "$unlisted") >"$temp/made"
sed 's/^[0-9a-f]\{64\}  //' "$one/build/packages/SHA256SUMS" | LC_ALL=C sort |
    diff "$temp/made" - ||
    fail "SHA256SUMS does not list exactly the packages (above)"
(cd "$one/build/packages" && sha256sum --strict -c SHA256SUMS) || fail "sha256sum -c SHA256SUMS"
# Without a release key: signed all the same, by a key made for the build, and said so loudly.
grep -q "THROWAWAY" "$temp/one.log" || fail "no warning about the throwaway key"
(cd "$one/build/packages" && gpgv --keyring ./quiplex-archive-keyring.gpg SHA256SUMS.asc \
    SHA256SUMS) || fail "gpgv SHA256SUMS.asc with the build's exported key"
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
