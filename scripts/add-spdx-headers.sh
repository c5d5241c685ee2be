#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Adds the SPDX copyright and licence lines to each given file (every tracked file without
# arguments) that has none, in the file's own comment syntax; files .reuse/dep5 covers, or whose
# syntax is unknown, are left alone and named. Running it again changes nothing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
# The tags are put together, so that no REUSE tool reads these lines as this file's own.
tag=SPDX
copyright="$tag-FileCopyrightText: 2026 The quiplex developers"
licence="$tag-License-Identifier: MIT"

# Prints the comment style of a file: hash, slash, semicolon, xml, roff, markdown or none.
style_of() {
    case "$1" in
        CMakePresets.json | windows/quiplexu.ico | tests/fuzz/corpus/* | packaging/changelog | \
            packaging/copyright | packaging/description.txt | tests/mutation-equivalent.txt | \
            ansible/tests/sanity/ignore-2.14.txt | LICENSE | */LICENSE | LICENSES/* | .reuse/*)
            echo none ;;
        *.c | *.cpp | *.h | *.rc) echo slash ;;
        *.wxs | *.manifest | *.manifest.in | *.xml) echo xml ;;
        *.py | *.sh | *.bash | *.cmake | */CMakeLists.txt | CMakeLists.txt | *.toml | *.yml | \
            *.yaml | *.in | *.cfg | .gitignore | .editorconfig | .clang-format | .clang-tidy | \
            */_quiplexlnx | *.j2) echo hash ;;
        *.mc) echo semicolon ;;
        *.[1-9]) echo roff ;;
        *.md) echo markdown ;;
        *) if head -n1 "$1" | grep -q '^#!'; then echo hash; else echo none; fi ;;
    esac
}

# Lines a header must stay below: a shebang, zsh's #compdef, an XML declaration.
keep_first_line() {
    head -n1 "$1" | grep -qE '^(#!|#compdef|<\?xml)'
}

add_header() {
    local file=$1 style header
    style=$(style_of "$file")
    case "$style" in
        slash) header="// $copyright"$'\n'"// $licence" ;;
        hash) header="# $copyright"$'\n'"# $licence" ;;
        semicolon) header="; // $copyright"$'\n'"; // $licence" ;;
        xml) header="<!-- $copyright -->"$'\n'"<!-- $licence -->" ;;
        roff) header=".\\\" $copyright"$'\n'".\\\" $licence" ;;
        # HTML comments: no renderer shows them.
        markdown) header="<!-- $copyright -->"$'\n'"<!-- $licence -->" ;;
        none) echo "left alone: $file" >&2; return 0 ;;
    esac
    grep -q "$tag-License-Identifier:" "$file" && return 0
    local scratch
    scratch=$(mktemp)
    if keep_first_line "$file"; then
        { head -n1 "$file"; printf '%s\n' "$header"; tail -n +2 "$file"; } >"$scratch"
    else
        { printf '%s\n' "$header"; cat "$file"; } >"$scratch"
    fi
    # Keeps the file's mode (scripts stay executable).
    cat "$scratch" >"$file"
    rm -f "$scratch"
}

if [ $# -eq 0 ]; then
    mapfile -t files < <(git ls-files)
else
    files=("$@")
fi
for file in "${files[@]}"; do
    [ -f "$file" ] && add_header "$file"
done
