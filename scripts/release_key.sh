# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Sourced by sign_release.sh and make_repos.sh: the release key QUIPLEX_GPG_HOME and
# QUIPLEX_GPG_KEY name, and `sign` and the signing time from it.
# After sourcing: $release_key (fingerprint), $sign_time (seconds), sign ARGS... (gpg, batch).

: "${QUIPLEX_GPG_HOME:?the GnuPG home that holds the release key}"
: "${QUIPLEX_GPG_KEY:?the release key fingerprint}"
QUIPLEX_GPG_HOME=$(realpath -e "$QUIPLEX_GPG_HOME")
export QUIPLEX_GPG_HOME QUIPLEX_GPG_KEY

key_gpg() { gpg --homedir "$QUIPLEX_GPG_HOME" --batch --no-tty --quiet "$@"; }
release_key=$(key_gpg --with-colons --list-secret-keys -- "$QUIPLEX_GPG_KEY" |
    awk -F: '$1 == "fpr" { print $10; exit }')
[ -n "$release_key" ] ||
    { echo "no secret key $QUIPLEX_GPG_KEY in $QUIPLEX_GPG_HOME" >&2; exit 1; }
# Signatures carry the release's time (the commit's), but gpg refuses to sign before the key
# (or its signing subkey) was made: the later of the two.
key_time=$(key_gpg --with-colons --list-keys -- "$release_key" |
    awk -F: '$1 == "pub" || $1 == "sub" { if ($6 > t) t = $6 } END { print t + 0 }')
sign_time=${SOURCE_DATE_EPOCH:-$(date +%s)}
[ "$key_time" -le "$sign_time" ] || sign_time=$key_time
# "!" holds gpg's clock at that time for the whole run.
sign() { key_gpg --faked-system-time "$sign_time!" --local-user "$release_key" "$@"; }
