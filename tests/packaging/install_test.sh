#!/usr/bin/env bash
# DESTDIR install of a linux build under a prefix other than the configured one: the file list,
# the modes, the hook's program path, and the installed quiplexlnx writing a request into a fake
# efivarfs (tmpfs) in a private mount namespace whose /sbin/reboot is a checked stub.
# Usage: install_test.sh BUILD_DIR; exit 77 (skipped) without a mount namespace.
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
prefix=/opt/quiplex-test

DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null
root=$stage$prefix

expected="0755 lib/systemd/system-sleep/quiplex
0755 sbin/quiplexlnx
0644 share/doc/quiplex/LICENSE
0644 share/doc/quiplex/README.md
0644 share/doc/quiplex/changelog.gz
0644 share/doc/quiplex/copyright
0644 share/lintian/overrides/quiplex
0644 share/man/man8/quiplexlnx.8.gz"
actual=$(cd "$root" && find . ! -type d -printf '%#m %P\n' | sed 's/^0*\([0-7]\{4\}\) /\1 /' | sort -k2)
if [ "$actual" != "$expected" ]; then
    printf 'installed files differ.\nexpected:\n%s\nactual:\n%s\n' "$expected" "$actual"
    exit 1
fi
grep -qx "quiplexlnx=\"$prefix/sbin/quiplexlnx\"" "$root/lib/systemd/system-sleep/quiplex" || {
    echo "the sleep hook does not name $prefix/sbin/quiplexlnx:"
    grep -n quiplexlnx= "$root/lib/systemd/system-sleep/quiplex"
    exit 1
}

unshare --mount --propagation private true 2>/dev/null || { echo "no mount namespace"; exit 77; }
unshare --mount --propagation private bash -euo pipefail -c '
program=$1
mount -t tmpfs quiplex-firmware /sys/firmware
mkdir -p /sys/firmware/efi/efivars
mount -t tmpfs quiplex-efivars /sys/firmware/efi/efivars
guid=81686ef9-7f6f-42e3-9371-696de9bf6299
printf "\x07\x00\x00\x00Zv" > /sys/firmware/efi/efivars/ZarvexUEFI-$guid
sbin=$(realpath /sbin)
mount -t tmpfs quiplex-sbin "$sbin"
printf "#!/bin/sh\necho reboot stub\n" > "$sbin/reboot"
chmod 755 "$sbin/reboot"
grep -q "reboot stub" /sbin/reboot || { echo "the reboot stub is not in place"; exit 1; }
"$program" 2/noreboot
written=$(od -An -tx1 /sys/firmware/efi/efivars/Quiplex-$guid | tr -s " \n" " ")
[ "$written" = " 07 00 00 00 02 00 00 00 00 00 " ] || { echo "written:$written"; exit 1; }
' install-test "$root/sbin/quiplexlnx"
echo "installed files, hook and program: as expected"
