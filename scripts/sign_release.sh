#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Signs a release folder made by package.sh: exports the public key beside the packages
# (quiplex-archive-keyring.gpg for apt, RPM-GPG-KEY-quiplex for rpm), signs SHA256SUMS
# (SHA256SUMS.asc) and publishes the .deb and .rpm into fresh signed repositories under
# OUT/repo (make_repos.sh). The packages and SHA256SUMS themselves are left as they are.
# Usage: sign_release.sh OUT. With QUIPLEX_GPG_HOME and QUIPLEX_GPG_KEY it signs with that key;
# without them with a key made for this build only, fit for testing and nothing else.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(realpath -e "$1")

throwaway=no
# The agent this run starts goes with it.
agent_was_running=no
[ -z "${QUIPLEX_GPG_HOME:-}" ] ||
    ! gpg-connect-agent --homedir "$QUIPLEX_GPG_HOME" --no-autostart /bye >/dev/null 2>&1 ||
    agent_was_running=yes
finish() {
    [ -n "${QUIPLEX_GPG_HOME:-}" ] || return 0
    [ "$agent_was_running" = yes ] || gpgconf --homedir "$QUIPLEX_GPG_HOME" --kill gpg-agent
    [ "$throwaway" = no ] || rm -rf "$QUIPLEX_GPG_HOME"
}
trap finish EXIT
if [ -z "${QUIPLEX_GPG_HOME:-}${QUIPLEX_GPG_KEY:-}" ]; then
    throwaway=yes
    QUIPLEX_GPG_HOME=$(mktemp -d /tmp/quiplex-throwaway-gpg.XXXXXX)
    # Made at the release's time, so that signatures can carry that time too.
    gpg --homedir "$QUIPLEX_GPG_HOME" --batch --quiet --passphrase '' --pinentry-mode loopback \
        --faked-system-time "${SOURCE_DATE_EPOCH:-$(date +%s)}!" --quick-generate-key \
        "quiplex test build (throwaway key, not for release) <quiplex@example.org>" \
        rsa3072 sign never 2>/dev/null
    QUIPLEX_GPG_KEY=$(gpg --homedir "$QUIPLEX_GPG_HOME" --batch --with-colons --list-keys |
        awk -F: '$1 == "fpr" { print $10; exit }')
fi
warn_throwaway() {
    [ "$throwaway" = yes ] || return 0
    cat >&2 <<WARNING
**********************************************************************
** QUIPLEX_GPG_HOME and QUIPLEX_GPG_KEY are not set: SHA256SUMS.asc,
** the repositories and the exported key are signed with a THROWAWAY
** KEY made for this build alone ($QUIPLEX_GPG_KEY).
** FOR TESTING ONLY: never publish them (HACKING.md, "Signing a release").
**********************************************************************
WARNING
}
warn_throwaway
. "$here/release_key.sh"

key_gpg --export --export-options export-minimal "$release_key" >"$out/quiplex-archive-keyring.gpg"
key_gpg --armor --export --export-options export-minimal "$release_key" >"$out/RPM-GPG-KEY-quiplex"
echo "$out/quiplex-archive-keyring.gpg"
echo "$out/RPM-GPG-KEY-quiplex"
sign --armor --detach-sign --output "$out/SHA256SUMS.asc" "$out/SHA256SUMS"
echo "$out/SHA256SUMS.asc"

rm -rf "$out/repo"
shopt -s nullglob
bash "$here/make_repos.sh" "$out/repo" "$out"/*.deb "$out"/*.rpm
echo "signed with $release_key at $(date -u -d "@$sign_time" '+%F %T') UTC"
warn_throwaway
