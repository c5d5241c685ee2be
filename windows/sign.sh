#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Signs a Windows file in place (Authenticode, SHA-256) when QUIPLEX_SIGN_KEY is set.
set -euo pipefail
file=$1
[ -n "${QUIPLEX_SIGN_KEY:-}" ] || exit 0
: "${QUIPLEX_SIGN_CERT:?must name the PEM certificate (chain) that goes with QUIPLEX_SIGN_KEY}"
# OpenSSL puts a signing time into every signature; without a time-stamping server it is
# SOURCE_DATE_EPOCH, so signing the same file with the same key gives the same bytes.
timestamp=()
if [ -n "${QUIPLEX_SIGN_TIMESTAMP_URL:-}" ]; then
    timestamp=(-ts "$QUIPLEX_SIGN_TIMESTAMP_URL")
elif [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    timestamp=(-time "$SOURCE_DATE_EPOCH")
fi
rm -f "$file.signed"
osslsigncode sign -h sha256 -certs "$QUIPLEX_SIGN_CERT" -key "$QUIPLEX_SIGN_KEY" \
    -n "Quiplex UEFI" "${timestamp[@]}" -in "$file" -out "$file.signed" >/dev/null
# cp keeps the mode of the file it overwrites.
cp "$file.signed" "$file"
rm "$file.signed"
