#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Runs an installed quiplexlnx with 2/noreboot in the namespace rig (tmpfs efivarfs with
# ZarvexUEFI, /sbin covered by a checked reboot stub) and checks the bytes of the written request.
# Usage: namespace_write.sh PROGRAM; exit 77 (skipped) without a mount namespace.
set -euo pipefail
exec bash "$(dirname "$0")/../linux/namespace_rig.sh" bash -euo pipefail -c '
"$1" 2/noreboot
written=$(od -An -tx1 /sys/firmware/efi/efivars/Quiplex-81686ef9-7f6f-42e3-9371-696de9bf6299 |
    tr -s " \n" " ")
[ "$written" = " 07 00 00 00 02 00 00 00 00 00 " ] || { echo "written:$written"; exit 1; }
' namespace-write "$1"
