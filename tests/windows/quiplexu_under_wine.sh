#!/bin/bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Runs the real quiplexu.exe under Wine and checks its message boxes and exit codes from the relay trace.
# Wine has no firmware variables, so no case here can reach a write or a restart.
set -u
exe=$1 prefix=$2 out=$3
source "$(dirname "$0")/wine.sh" "$prefix" || exit 1
wine_session
export WINEDEBUG=+relay
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run NAME EXPECTED_CODE ARGS... ; leaves the trace in $out/NAME.relay and the output in NAME.out
run() {
    local name=$1 expected=$2; shift 2
    timeout 120 /usr/lib/wine/wine64 "$exe" "$@" >"$out/$name.out" 2>"$out/$name.relay"
    local code=$?
    [ "$code" -eq "$expected" ] || fail "$name: exit code $code, wanted $expected"
}

box_count() { grep -a -c 'Call user32.MessageBoxA(' "$out/$1.relay"; }
expect_box() {  # NAME TEXT-PREFIX CAPTION [TYPE]
    local type=${4:-00000030}
    grep -a -F 'Call user32.MessageBoxA(' "$out/$1.relay" | grep -a -F -q "\"$2" \
        || fail "$1: no MessageBoxA with text $2"
    grep -a -F 'Call user32.MessageBoxA(' "$out/$1.relay" | grep -a -F "\"$3\",$type)" -q \
        || fail "$1: no MessageBoxA with caption $3 and type $type"
    [ "$(box_count "$1")" -eq 1 ] || fail "$1: $(box_count "$1") message boxes, wanted 1"
}
expect_absent() {  # NAME PATTERN...
    local name=$1; shift
    for pattern in "$@"; do
        ! grep -a -q "Call [A-Za-z0-9]*\.$pattern(" "$out/$name.relay" || fail "$name: called $pattern"
    done
}
NEVER=(SetFirmwareEnvironmentVariableA SetFirmwareEnvironmentVariableExA InitiateSystemShutdownExA
       InitiateSystemShutdownA ExitWindowsEx)

run no_arguments 61
expect_box no_arguments 'Usage: quiplexu bootselection' 'Quiplex - Invalid Parameters'
expect_absent no_arguments GetFirmwareEnvironmentVariableA "${NEVER[@]}"

run help 61 /?
expect_box help 'Usage: quiplexu bootselection' 'Quiplex - Invalid Parameters'

run item_one 76 1
expect_box item_one 'Zarvex UEFI was not found.' 'Quiplex UEFI'
grep -a -q 'Call KERNEL32.GetFirmwareEnvironmentVariableA(.*"ZarvexUEFI",.*"{81686ef9-7f6f-42e3-9371-696de9bf6299}"' \
    "$out/item_one.relay" || fail "item_one: no probe of ZarvexUEFI"
expect_absent item_one "${NEVER[@]}"

run hibernate 76 /hibernate
expect_box hibernate 'Zarvex UEFI was not found.' 'Quiplex UEFI'
expect_absent hibernate RegisterClassA Shell_NotifyIconA "${NEVER[@]}"

# Tool options: a version box without the warning icon; an unknown switch is an invalid command.
run version 0 --version
expect_box version 'quiplexu 1.03"' 'Quiplex UEFI' 00000040
expect_absent version GetFirmwareEnvironmentVariableA "${NEVER[@]}"

run unknown_option 61 -V
expect_box unknown_option 'Usage: quiplexu bootselection' 'Quiplex - Invalid Parameters'
expect_absent unknown_option GetFirmwareEnvironmentVariableA "${NEVER[@]}"

run option_beside_item 61 2 -n
expect_box option_beside_item 'Usage: quiplexu bootselection' 'Quiplex - Invalid Parameters'
expect_absent option_beside_item GetFirmwareEnvironmentVariableA "${NEVER[@]}"

# Redirected, the JSON goes to the file and no box appears; Wine has no firmware variables.
run status_json 76 --status=json
no_fw=',"firmware":{"boot_current":null,"boot_next":null,"boot_order":null,"next":null,"next_via":null,"boot_manager_entry":null,"boot_manager_next":null,"entries":{},"firmware_setup_supported":null}'
[ "$(cat "$out/status_json.out")" = "{\"status\":76,\"boot_manager\":null,\"request\":null$no_fw}"$'\r' ] \
    || fail "status_json: wrote $(cat -A "$out/status_json.out")"
[ "$(box_count status_json)" -eq 0 ] || fail "status_json: a message box appeared"
expect_absent status_json "${NEVER[@]}"

# Without firmware variables a failed tool option names no efivarfs remedy: this is Windows.
run cancel_without_firmware 76 --cancel
expect_box cancel_without_firmware 'Unable to cancel the pending request.",' 'Quiplex UEFI'
expect_absent cancel_without_firmware "${NEVER[@]:2}"

run dry_run_json 0 --dry-run=json /hibernate
[ "$(cat "$out/dry_run_json.out")" = $'{"status":0,"request":null,"monitor":true}\r' ] \
    || fail "dry_run_json: wrote $(cat -A "$out/dry_run_json.out")"
[ "$(box_count dry_run_json)" -eq 0 ] || fail "dry_run_json: a message box appeared"
expect_absent dry_run_json GetFirmwareEnvironmentVariableA RegisterClassA "${NEVER[@]}"

# The optional functions come from GetProcAddress, never from the import table.
imports=$(x86_64-w64-mingw32-objdump -p "$exe")
for name in GetFirmwareEnvironmentVariableExA GetFirmwareEnvironmentVariableA \
            SetFirmwareEnvironmentVariableExA SetFirmwareEnvironmentVariableA \
            InitiateSystemShutdownExA InitiateSystemShutdownA; do
    ! grep -q "\b$name\b" <<<"$imports" || fail "$name is imported"
done
grep -q 'Subsystem.*Windows GUI' <<<"$imports" || fail "not a GUI-subsystem program"
for dll in KERNEL32 USER32 ADVAPI32 SHELL32; do
    grep -q "DLL Name: $dll.dll" <<<"$imports" || fail "$dll.dll not linked"
done
! grep -qi 'DLL Name: lib' <<<"$imports" || fail "depends on a mingw runtime DLL"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
