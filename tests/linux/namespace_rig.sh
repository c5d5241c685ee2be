#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Runs a command in a private mount namespace where quiplexlnx cannot reach this machine: a tmpfs
# efivarfs holding ZarvexUEFI, a /run of its own, and a tmpfs over the directory of /sbin/reboot
# holding a stub, checked before the command starts. Every test, the demo and the fleet use it.
# Usage: namespace_rig.sh [--stub FILE] [--no-boot-manager] [--show] COMMAND [ARGS...]
#   --stub FILE         the program put at /sbin/reboot; else a script that prints its arguments
#   --no-boot-manager   no ZarvexUEFI variable
#   --show              prints each step (the demo)
#   --else-run          where no namespace can be made, runs the command outside all the same,
#                       with QUIPLEX_NAMESPACE_PROBLEM saying why (a suite that skips what needs it)
# Otherwise exits 77 (skipped) where no namespace can be made, the command never started.
set -euo pipefail
arguments=("$@")
stub='' boot_manager=1 show=0 else_run=0 outer=''
while [ $# -gt 0 ]; do
    case $1 in
        --stub) stub=$(realpath -e "$2"); shift 2 ;;
        --no-boot-manager) boot_manager=0; shift ;;
        --show) show=1; shift ;;
        --else-run) else_run=1; shift ;;
        --outer-namespace) outer=$2; shift 2 ;;  # given by the rig to itself
        *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: namespace_rig.sh [--stub FILE] [--no-boot-manager] [--show] COMMAND" >&2; exit 2; }

cannot() {  # REASON COMMAND...
    local reason=$1
    shift
    if [ "$else_run" = 1 ]; then
        export QUIPLEX_NAMESPACE_PROBLEM=$reason
        exec "$@"
    fi
    echo "SKIP: $reason"
    exit 77
}
if [ -z "$outer" ]; then
    [ "$(id -u)" = 0 ] || cannot "not running as root" "$@"
    unshare --mount --propagation private true 2>/dev/null ||
        cannot "no mount namespace can be made here" "$@"
    # Without --fork unshare becomes the shell, so the caller's pid is the namespace's.
    exec unshare --mount --propagation private bash "$0" \
        --outer-namespace "$(readlink /proc/self/ns/mnt)" "${arguments[@]}"
fi

# Its mounts cover /sys/firmware and /sbin: only ever in a namespace other than the caller's.
namespace=$(readlink /proc/self/ns/mnt)
if [ -z "$namespace" ] || [ "$namespace" = "$outer" ]; then
    echo "not in a private mount namespace; nothing mounted" >&2
    exit 1
fi
step() {
    [ "$show" = 0 ] || echo "+ $*"
    "$@"
}
step mount --make-rprivate /
step mount -t tmpfs -o mode=0755 quiplex-firmware /sys/firmware
step mkdir -p /sys/firmware/efi/efivars
step mount -t tmpfs -o mode=0755 quiplex-efivars /sys/firmware/efi/efivars
if [ "$boot_manager" = 1 ]; then
    variable=/sys/firmware/efi/efivars/ZarvexUEFI-81686ef9-7f6f-42e3-9371-696de9bf6299
    [ "$show" = 0 ] || echo "+ printf <attributes 7, 4 bytes> > $variable   # the boot manager is present"
    printf '\007\000\000\000Zv\001\000' >"$variable"
fi
step mount -t tmpfs -o mode=0755 quiplex-run /run

# Cover the directory /sbin/reboot lives in, so only the stub can be started.
sbin=$(realpath /sbin)
step mount -t tmpfs -o mode=0755 quiplex-sbin "$sbin"
if [ -z "$stub" ]; then
    stub=/run/quiplex-reboot-stub
    printf '#!/bin/sh\necho "[stub /sbin/reboot started with argv: $0 $*]"\nexit 0\n' >"$stub"
fi
cp "$stub" "$sbin/reboot"
chmod 755 "$sbin/reboot"
if [ "$(stat -c %d /sbin/)" != "$(stat -c %d "$sbin")" ] ||
    [ "$(stat -c %d /sbin/)" = "$(stat -c %d /)" ] || ! cmp -s "$stub" /sbin/reboot; then
    echo "the reboot stub is not in place; not starting $1" >&2
    exit 1
fi
if [ "$show" = 1 ]; then
    echo "+ cat /sbin/reboot   # checked: the stub"
    cat /sbin/reboot
fi
export QUIPLEX_NAMESPACE_RIG=$namespace
exec "$@"
