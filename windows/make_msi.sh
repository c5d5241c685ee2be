#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Builds the MSI of quiplexu and quiplexc with wixl from the files of the zip, adds the system
# PATH entry with msibuild, then signs it (windows/sign.sh).
# The same zip and SOURCE_DATE_EPOCH (default: the last commit's time) give the same MSI bytes.
# Usage: make_msi.sh ZIP VERSION MSI
set -euo pipefail
zip=$(realpath "$1") version=$2 msi=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct)}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# wixl takes source paths relative to where it runs, so everything goes into one folder.
cd "$stage"
cmake -E tar xf "$zip"
mv ./quiplexu-*-win64 files
cp "$here/quiplexu.ico" .
# The cabinet keeps each file's modification time.
find . -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
upgrade=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' "$here/quiplexu.wxs")
# One ProductCode per version: a rebuild of the same version is the same product, not a second one.
# uuid5 hashes the namespace's bytes, not its text, so the letter case of the UpgradeCode does
# not change the ProductCode; Windows Installer wants it written in upper case.
product=$(python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' "$upgrade" "quiplexu $version")
wixl -a x64 -D Version="$version" -D ProductCode="$product" -D SourceDir=files \
    -D Icon=quiplexu.ico -o "$msi" "$here/quiplexu.wxs"

# What wixl cannot say, added with msibuild (a step of its own, before signing):
# - the system PATH: wixl rejects <Environment>, so the Environment table's one row and the
#   standard actions that write and remove it. "=-*PATH" sets the system variable on install
#   and takes the entry out again on uninstall; "[~];" appends to what is there;
# - the event source's EventMessageFile as REG_EXPAND_SZ ("#%"), the type Windows documents
#   for it; wixl writes every string as REG_SZ.
printf '%s\r\n' 'Environment	Name	Value	Component_' 's72	l255	L255	s72' \
    'Environment	Environment' 'QuiplexPath	=-*PATH	[~];[INSTALLDIR]	ConsoleProgram' \
    >Environment.idt
msibuild "$msi" -i Environment.idt \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`)
        VALUES ('RemoveEnvironmentStrings', 3300)" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`)
        VALUES ('WriteEnvironmentStrings', 5200)" \
    -q "UPDATE \`Registry\` SET \`Value\` = '#%[INSTALLDIR]quiplexu.exe'
        WHERE \`Name\` = 'EventMessageFile'"

# --- The hibernation guard service: what wixl cannot write (it crashes on <Condition> under a
# Component), added to the built tables with msibuild. GUARD=0 leaves the service's component
# out; GUARD joins the secure properties, which Windows passes on to the installation's server
# side. Before the summary step and signing, which cover the tables.
secure=$(msiinfo export "$msi" Property | sed -n 's/^SecureCustomProperties\t//p' | tr -d '\r')
if [ -n "$secure" ]; then
    secure_guard="UPDATE \`Property\` SET \`Value\` = '$secure;GUARD'
        WHERE \`Property\` = 'SecureCustomProperties'"
else
    secure_guard="INSERT INTO \`Property\` (\`Property\`, \`Value\`)
        VALUES ('SecureCustomProperties', 'GUARD')"
fi
msibuild "$msi" -q "UPDATE \`Component\` SET \`Condition\` = 'GUARD<>\"0\"'
    WHERE \`Component\` = 'GuardService'" -q "$secure_guard"
# --- end of the hibernation guard service step

# Everything that changes the MSI goes above this: the summary's times become SOURCE_DATE_EPOCH
# and its package code is derived from the bytes as they are now.
python3 "$here/msi_summary.py" "$msi" "$product" "$SOURCE_DATE_EPOCH" >/dev/null
bash "$here/sign.sh" "$msi"
