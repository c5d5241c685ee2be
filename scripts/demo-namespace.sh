#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Runs the built quiplexlnx against a fake efivarfs in the tests' namespace rig, whose
# /sbin/reboot is a checked stub, printing each command and the request it leaves.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary="$top/build/linux/linux/quiplexlnx"
[ -x "$binary" ] || { echo "build quiplexlnx first (cmake --build --preset linux)"; exit 1; }

if [ "${1:-}" != --inside ]; then
    # Everything the rig mounts stays in its namespace and vanishes with it.
    exec bash "$top/tests/linux/namespace_rig.sh" --show bash "$0" --inside
fi
# The requests below restart: only in the rig's namespace, never in the machine's own.
namespace=$(readlink /proc/self/ns/mnt)
if [ "${QUIPLEX_NAMESPACE_RIG:-}" != "$namespace" ] || [ "$namespace" = "$(readlink /proc/1/ns/mnt)" ] ||
    ! grep -q "stub /sbin/reboot" /sbin/reboot; then
    echo "not in the namespace rig; run scripts/demo-namespace.sh"; exit 1
fi
vars=/sys/firmware/efi/efivars
guid=81686ef9-7f6f-42e3-9371-696de9bf6299
for request in "3/noreboot" "My Item/run=tools\\App.efi" "/current"; do
    echo
    echo "+ quiplexlnx $request"
    set +e; "$binary" $request; status=$?; set -e
    echo "  exit status $status"
    echo "+ od -An -tx1 $vars/Quiplex-$guid   # attributes, then the request"
    od -An -tx1 "$vars/Quiplex-$guid"
done
