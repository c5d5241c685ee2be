#!/usr/bin/env bash
# Runs the built quiplexlnx once against a fake efivarfs in a private mount namespace whose
# /sbin/reboot is a checked stub, printing each command and the request it leaves.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary="$top/build/linux/linux/quiplexlnx"
[ -x "$binary" ] || { echo "build quiplexlnx first (cmake --build --preset linux)"; exit 1; }

# Everything the inner script mounts stays in the new namespace and vanishes with it; it gets
# this namespace's name to check that it runs in another one.
exec unshare --mount --propagation private \
    bash "$top/scripts/demo-namespace-inside.sh" "$binary" "$(readlink /proc/self/ns/mnt)"
