#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# DESTDIR install of a linux build under a prefix other than the configured one: the file list,
# the modes, the sleep hook in /usr/lib/systemd/system-sleep whatever the prefix, its program
# path, and the installed quiplexlnx writing a request into a fake efivarfs (tmpfs) in a private
# mount namespace whose /sbin/reboot is a checked stub.
# Usage: install_test.sh BUILD_DIR; exit 77 (skipped) without a mount namespace.
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
prefix=/opt/quiplex-test

DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null
root=$stage$prefix

expected="0755 sbin/quiplexlnx
0644 share/bash-completion/completions/quiplexlnx
0644 share/doc/quiplex/LICENSE
0644 share/doc/quiplex/README.md
0644 share/doc/quiplex/changelog.gz
0644 share/doc/quiplex/copyright
0644 share/doc/quiplex/doc/ansible.md
0644 share/doc/quiplex/doc/command-line.md
0644 share/doc/quiplex/doc/linux.md
0644 share/doc/quiplex/doc/uefi-shell.md
0644 share/doc/quiplex/doc/windows.md
0644 share/man/man8/quiplexlnx.8.gz
0644 share/zsh/vendor-completions/_quiplexlnx"
actual=$(cd "$root" && find . ! -type d -printf '%#m %P\n' | sed 's/^0*\([0-7]\{4\}\) /\1 /' | sort -k2)
if [ "$actual" != "$expected" ]; then
    printf 'installed files differ.\nexpected:\n%s\nactual:\n%s\n' "$expected" "$actual"
    exit 1
fi
# The hook goes where systemd reads hooks, not under the prefix, where it would never run.
hook=$stage/usr/lib/systemd/system-sleep/quiplex
[ "$(stat -c %a "$hook" 2>/dev/null)" = 755 ] || { echo "no sleep hook (mode 755) at $hook"; exit 1; }
[ "$(cd "$stage" && find . ! -type d | grep -v "^\.$prefix/" | sort)" = ./usr/lib/systemd/system-sleep/quiplex ] || {
    echo "files outside $prefix other than the hook:"; (cd "$stage" && find . ! -type d); exit 1
}
grep -qx "quiplexlnx=\"$prefix/sbin/quiplexlnx\"" "$hook" || {
    echo "the sleep hook does not name $prefix/sbin/quiplexlnx:"
    grep -n quiplexlnx= "$hook"
    exit 1
}

bash "$(dirname "$0")/namespace_write.sh" "$root/sbin/quiplexlnx"
echo "installed files, hook and program: as expected"
