#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Runs every test suite: installs what is missing, then builds and tests each CMake preset.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/install-deps.sh || exit 1

# Prints "passed failed skipped" for one of ctest's JUnit files. ctest marks a test that could
# not start "notrun" too, so only its own skips (SKIP_RETURN_CODE, SKIP_REGULAR_EXPRESSION) and
# disabled tests count as skipped.
count_results() {
    python3 - "$1" <<'EOF'
import sys
import xml.etree.ElementTree as ET

passed = failed = skipped = 0
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    status = case.get("status")
    skip = case.find("skipped")
    if status == "run":
        passed += 1
    elif status == "disabled" or (status == "notrun" and skip is not None
                                  and skip.get("message", "").startswith("SKIP_")):
        skipped += 1
    else:
        failed += 1
print(passed, failed, skipped)
EOF
}

presets=$(cmake --list-presets=configure 2>/dev/null | sed -n 's/^ *"\([^"]*\)".*/\1/p')
passed=0 failed=0 skipped=0 status=0
mkdir -p build
# The builds one after the other (each uses every core); each preset's tests start as soon as it
# is built, side by side with the next builds and the other presets' tests. ctest runs a preset's
# tests in parallel too, keeping apart those that share a resource (the emulated machine); across
# presets, machine.py's lock keeps to one emulator at a time.
jobs=$(nproc)
built=()
for preset in $presets; do
    echo "=== preset $preset"
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; }; then
        echo "=== preset $preset: build failed"
        status=1 failed=$((failed + 1))
        continue
    fi
    built+=("$preset")
    rm -f "$top/build/ctest-$preset.xml"
    ctest --preset "$preset" -j "$jobs" --output-junit "$top/build/ctest-$preset.xml" \
        >"$top/build/ctest-$preset.log" 2>&1 &
done
echo "=== testing ${built[*]} (logs in build/ctest-PRESET.log)"
wait
for preset in "${built[@]}"; do
    echo "=== preset $preset: tests"
    cat "$top/build/ctest-$preset.log"
    junit="$top/build/ctest-$preset.xml"
    if counts=$(count_results "$junit" 2>/dev/null); then
        read -r p f s <<<"$counts"
        passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
        [ "$f" -eq 0 ] || status=1
    else
        echo "=== preset $preset: no test results"
        status=1 failed=$((failed + 1))
    fi
done
echo
summary="all presets: $passed passed, $failed failed"
[ "$skipped" -eq 0 ] || summary+=", $skipped skipped"
echo "$summary"
exit "$status"
