#!/bin/bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Runs quiplexguard.exe as the service QuiplexGuard under Wine's service manager: started and
# running, stopped with exit code 0, the two guards against the real manager, and removed.
# Power events cannot reach a Wine service; windows_tests drives the handler for those.
# Usage: guard_service_under_wine.sh QUIPLEXGUARD WINDOWS_TESTS QUIPLEXU_FILE_FIRMWARE PREFIX
set -u
guard=$1 tests=$2 quiplexu=$3 prefix=$4
failures=0
source "$(dirname "$0")/wine_trace.sh"

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A prefix of its own made afresh, its server kept up so that the service runs between the
# commands below.
source "$(dirname "$0")/wine.sh" --fresh "$prefix" || exit 1
wineserver -p
trap 'wineserver -k' EXIT

wine sc create QuiplexGuard binpath= "$(winepath -w "$guard" 2>/dev/null)" start= demand \
    >/dev/null || fail "sc create"
wine net start QuiplexGuard >/dev/null 2>&1 || fail "net start: status $?"
wait_for_guard 4 || fail "not running after net start: $(guard_query)"

# quiplexu /hibernate (over file firmware that holds the boot manager) beside the running
# service: one box, exit 0, no monitor window.
firmware=$prefix/firmware
mkdir -p "$firmware" && printf '\1\0\0\0' >"$firmware/ZarvexUEFI"
hibernate() {  # NAME: quiplexu /hibernate, its relay trace in $prefix/NAME.trace
    QUIPLEX_FAKE_FIRMWARE=$(windows_path "$firmware") WINEDEBUG=+relay \
        wine "$quiplexu" /hibernate 2>"$prefix/$1.trace"
}
hibernate beside_service
code=$?
[ "$code" -eq 0 ] || fail "beside_service: exit code $code, wanted 0"
not_needed='The Quiplex hibernation guard service is running; the monitor is not needed.'
[ "$(boxes_in "$prefix/beside_service.trace")" = "\"$not_needed\",\"Quiplex UEFI\",00000040" ] ||
    fail "beside_service: boxes $(boxes_in "$prefix/beside_service.trace")"
! grep -a -q 'Call user32.RegisterClassA(' "$prefix/beside_service.trace" ||
    fail "beside_service: the monitor started"

wine net stop QuiplexGuard >/dev/null 2>&1 || fail "net stop: status $?"
wait_for_guard 1 || fail "not stopped after net stop: $(guard_query)"

# With the service stopped the monitor starts (Wine has no display here, so its window fails and
# it ends at once).
hibernate without_service
code=$?
[ "$code" -eq 0 ] || fail "without_service: exit code $code, wanted 0"
[ -z "$(boxes_in "$prefix/without_service.trace")" ] ||
    fail "without_service: boxes $(boxes_in "$prefix/without_service.trace")"
grep -a -q 'Call user32.RegisterClassA(' "$prefix/without_service.trace" ||
    fail "without_service: the monitor did not start"

QUIPLEX_REAL_SERVICE_MANAGER=1 wine "$tests" --gtest_filter='RealServiceManager.*' \
    >"$prefix/real_service_manager.out" 2>&1 || fail "$(cat "$prefix/real_service_manager.out")"
grep -q '\[  PASSED  \] 1 test' "$prefix/real_service_manager.out" ||
    fail "the real service manager test did not run: $(cat "$prefix/real_service_manager.out")"

# Started by a person, the program says what it is and ends. Asked last: Wine lets any process
# that starts the dispatcher while a service is starting take that service's control pipe.
output=$(wine "$guard")
code=$?
output=${output//$'\r'/}
[ "$code" -eq 61 ] || fail "started alone: exit code $code, wanted 61"
grep -q '^quiplexguard.exe is the program of the service QuiplexGuard' <<<"$output" ||
    fail "started alone: said '$output'"

wine sc delete QuiplexGuard >/dev/null || fail "sc delete"
guard_query | grep -q 'STATE' && fail "still registered after sc delete: $(guard_query)"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
