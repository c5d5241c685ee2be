#!/bin/bash
# Builds the packages of the HEAD commit twice, in two clones at different paths, the second under
# another clock, umask, locale, time zone and host name, and compares every package and program.
# Usage: reproducible_test.sh SOURCE_DIR
set -u
source=$1
commit=$(git -C "$source" rev-parse HEAD) || exit 1
temp=$(mktemp -d /tmp/quiplex-reproducible.XXXXXX)
# QUIPLEX_KEEP_BUILDS=1 leaves both clones for a closer look.
[ -n "${QUIPLEX_KEEP_BUILDS:-}" ] && echo "builds kept in $temp" || trap 'rm -rf "$temp"' EXIT
one=$temp/one/quiplex two=$temp/second-build/somewhere/deeper/q

# What package.sh writes, and the programs as built (the packages hold them stripped).
outputs() {
    (cd "$1" && find build/packages -type f && ls build/package-linux/linux/quiplexlnx \
        build/package-uefi/uefi/quiplexefi.efi build/package-windows/windows/*.exe) | sort
}

clone() {
    git clone -q --no-checkout "$source" "$1" && git -C "$1" checkout -q --detach "$commit"
}

# The second build runs 400 days later, with another umask, locale and time zone, and, where a
# UTS namespace can be made, another host name.
locale=$(locale -a | grep -v -i -x -E 'C|POSIX|C\.utf-?8' | grep -i -m1 'utf-\?8' || echo C.UTF-8)
second_build() {
    umask 0077
    unset LC_ALL
    export LANG=$1 TZ=Pacific/Chatham
    faketime -f +400d bash scripts/package.sh
}
uts=()
if unshare --uts true 2>/dev/null; then
    uts=(unshare --uts bash -c 'hostname quiplex-elsewhere && "$@"' --)
else
    echo "note: no UTS namespace here, both builds run on host name $(hostname)"
fi
export -f second_build

start=$SECONDS
clone "$one" && (umask 0077 && clone "$two") || exit 1
(cd "$one" && umask 0022 && LC_ALL=C TZ=UTC bash scripts/package.sh) >"$temp/one.log" 2>&1 ||
    { tail -30 "$temp/one.log"; echo "FAIL: the first build failed"; exit 1; }
(cd "$two" && "${uts[@]}" bash -c 'second_build "$1"' -- "$locale") >"$temp/two.log" 2>&1 ||
    { tail -30 "$temp/two.log"; echo "FAIL: the second build failed"; exit 1; }
echo "two builds: $((SECONDS - start)) s"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
outputs "$one" >"$temp/one.list"
outputs "$two" >"$temp/two.list"
diff "$temp/one.list" "$temp/two.list" || fail "the builds made different files (above)"
grep -q -x 'build/packages/SHA256SUMS' "$temp/one.list" || fail "no SHA256SUMS"
differing=()
while read -r file; do
    [ -f "$two/$file" ] || continue
    if cmp -s "$one/$file" "$two/$file"; then
        echo "same: $file"
    else
        differing+=("$file")
    fi
done <"$temp/one.list"
if [ "${#differing[@]}" -gt 0 ]; then
    fail "these differ between the builds: ${differing[*]}"
    echo "diffoscope on ${differing[0]}:"
    diffoscope --no-progress --text - "$one/${differing[0]}" "$two/${differing[0]}" | head -300
fi
(cd "$one/build/packages" && sha256sum --quiet -c SHA256SUMS) || fail "sha256sum -c SHA256SUMS"
# Every package is listed, and nothing else.
(cd "$one/build/packages" && ls | grep -v -x SHA256SUMS) >"$temp/made"
sed 's/^[0-9a-f]*  //' "$one/build/packages/SHA256SUMS" | sort | diff "$temp/made" - ||
    fail "SHA256SUMS does not list exactly the packages (above)"
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
