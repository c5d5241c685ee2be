#!/bin/bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Fails when a tracked C or C++ file differs from what clang-format makes of it.
# Usage: check_format.sh SOURCE_DIR [PATH_TO_LEAVE_OUT...]; exit 77 (skipped) without the tools.
set -u
source_dir=$1
shift
clang_format=$(command -v clang-format) || {
    echo "clang-format is not installed: format check skipped"
    exit 77
}
cd "$source_dir" || exit 1
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "$source_dir is not a git work tree: format check skipped"
    exit 77
fi

# Listed now, not at configure time, so that files added since are checked too.
pathspec=('*.c' '*.cpp' '*.h')
for path in "$@"; do
    pathspec+=(":(exclude)$path")
done
mapfile -d '' files < <(git ls-files -z -- "${pathspec[@]}")
[ "${#files[@]}" -gt 0 ] || { echo "no C or C++ files found"; exit 1; }

echo "$("$clang_format" --version) over ${#files[@]} files"
"$clang_format" --style=file --dry-run --Werror "${files[@]}" || {
    echo "Reformat with: clang-format -i <file> (settings in .clang-format)"
    exit 1
}
