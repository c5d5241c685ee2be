#!/usr/bin/env bash
# Builds the MSI of quiplexu with wixl from the files of the zip, then signs it (windows/sign.sh).
# Usage: make_msi.sh ZIP VERSION MSI
set -euo pipefail
zip=$(realpath "$1") version=$2 msi=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# wixl takes source paths relative to where it runs, so everything goes into one folder.
cd "$stage"
cmake -E tar xf "$zip"
mv ./quiplexu-*-win64 files
cp "$here/quiplexu.ico" .
upgrade=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' "$here/quiplexu.wxs")
# One ProductCode per version: a rebuild of the same version is the same product, not a second one.
product=$(python3 -c 'import sys, uuid; print(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2]))' \
    "$upgrade" "quiplexu $version")
wixl -a x64 -D Version="$version" -D ProductCode="$product" -D SourceDir=files \
    -D Icon=quiplexu.ico -o "$msi" "$here/quiplexu.wxs"

# --- The hibernation guard service: what wixl cannot write (it crashes on <Condition> under a
# Component), added to the built tables with msibuild. GUARD=0 leaves the service's component
# out; GUARD joins the secure properties, which Windows passes on to the installation's server
# side. Before signing, which covers the tables.
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

bash "$here/sign.sh" "$msi"
