# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# The Wine environment of every Windows test: headless, quiet, no Mono or Gecko installer prompts,
# and each prefix a copy of one made once per build (wineboot takes far longer than a copy).
#   source wine.sh PREFIX        sets the environment for PREFIX, making it first if need be,
#                                and defines wine (with a time limit) and wine_session
#   bash wine.sh PREFIX PROGRAM ARGS...   runs PROGRAM there (the toolchain's emulator)
#   bash wine.sh --fresh PREFIX [PROGRAM ARGS...]   the same in a new copy, made afresh
# The made prefix is QUIPLEX_WINE_BASE, else wineprefix-base beside PREFIX.

# Makes the base once, under a lock, so that tests run side by side wait for one wineboot.
quiplex_wine_base() {
    local base=$1
    [ -e "$base/.quiplex-made" ] && return 0
    mkdir -p "$(dirname "$base")" || return 1
    (
        flock 9 || exit 1
        [ -e "$base/.quiplex-made" ] && exit 0
        rm -rf "$base"
        WINEPREFIX=$base /usr/lib/wine/wine64 wineboot -i 2>/dev/null
        WINEPREFIX=$base wineserver -w
        touch "$base/.quiplex-made"
    ) 9>"$base.lock"
}

# A copy of the base: its programs and libraries linked (Wine never writes to them), every other
# file (registry, .ini, fonts) copied, as Wine may rewrite those in place.
quiplex_wine_prefix() {  # PREFIX [fresh]
    local prefix=$1 base=${QUIPLEX_WINE_BASE:-${1%/*}/wineprefix-base}
    if [ "${2:-}" = fresh ]; then
        WINEPREFIX=$prefix wineserver -k 2>/dev/null
        rm -rf "$prefix"
    fi
    [ -e "$prefix/.quiplex-made" ] && return 0
    quiplex_wine_base "$base" || return 1
    (
        flock 9 || exit 1
        [ -e "$prefix/.quiplex-made" ] && exit 0
        rm -rf "$prefix" "$prefix.new" && cp -al "$base" "$prefix.new" || exit 1
        while IFS= read -r -d '' file; do
            cp -p "$file" "$file.copy" && mv "$file.copy" "$file" || exit 1
        done < <(find "$prefix.new" -type f ! -name '*.dll' ! -name '*.exe' -print0)
        mv "$prefix.new" "$prefix" || exit 1
        # A copy's first session settles it in its new place; a service created meanwhile is lost.
        WINEPREFIX=$prefix /usr/lib/wine/wine64 cmd /c exit 0 >/dev/null 2>&1
        WINEPREFIX=$prefix wineserver -w
    ) 9>"$prefix.lock"
}

quiplex_wine_fresh=
if [ "${1:-}" = --fresh ]; then
    quiplex_wine_fresh=fresh
    shift
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
quiplex_wine_prefix "$1" $quiplex_wine_fresh || { echo "cannot make the Wine prefix $1" >&2; exit 1; }
export WINEPREFIX=$1
shift

wine() { timeout 120 /usr/lib/wine/wine64 "$@"; }
# One server, and Wine's own services, for all of a script's programs: they start once and stay
# out of its traces. Ended with the script, unless the caller keeps it up (mutate.py).
wine_session() {
    [ -n "${QUIPLEX_WINE_KEPT:-}" ] && return 0
    wineserver -p && trap 'wineserver -k' EXIT
}

# Run rather than sourced: the program and its arguments.
if [ "${BASH_SOURCE[0]}" = "$0" ] && [ $# -gt 0 ]; then
    exec /usr/lib/wine/wine64 "$@"
fi
