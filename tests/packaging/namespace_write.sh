#!/usr/bin/env bash
# Runs an installed quiplexlnx with 2/noreboot in a private mount namespace (tmpfs efivarfs with
# ZarvexUEFI, /sbin covered by a checked reboot stub) and checks the bytes of the written request.
# Usage: namespace_write.sh PROGRAM; exit 77 (skipped) without a mount namespace.
set -euo pipefail
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
' namespace-write "$1"
