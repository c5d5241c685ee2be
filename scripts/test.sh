#!/usr/bin/env bash
# Runs every test suite: configures, builds and tests each CMake preset from scratch-safe state.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/install-deps.sh || exit 1

presets=$(cmake --list-presets=configure 2>/dev/null | sed -n 's/^ *"\([^"]*\)".*/\1/p')
passed=0 failed=0 status=0
for preset in $presets; do
    echo "=== preset $preset"
    log="build/ctest-$preset.log"
    mkdir -p build
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; }; then
        echo "=== preset $preset: build failed"
        status=1 failed=$((failed + 1))
        continue
    fi
    ctest --preset "$preset" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    # ctest ends with "N% tests passed, F tests failed out of T".
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$summary" ]; then
        f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
        t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
        passed=$((passed + t - f)) failed=$((failed + f))
    else
        status=1 failed=$((failed + 1))
    fi
done
echo
echo "all presets: $passed passed, $failed failed"
exit "$status"
