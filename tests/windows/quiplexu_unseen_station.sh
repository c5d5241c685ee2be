#!/bin/bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# quiplexu in a window station without WSF_VISIBLE (a service's, a scheduled task's): no message
# box, each text on the redirected output, each failure in the event log, every status as on a
# desktop and /hibernate refused. A box there never returns, so each run has a time limit and
# the relay trace must show no MessageBoxA.
# Usage: quiplexu_unseen_station.sh QUIPLEXU_EXE FAKE_FIRMWARE_BUILD LAUNCHER PREFIX OUT
set -u
exe=$1 fake_build=$2 launcher=$3 prefix=$4 out=$5
source "$(dirname "$0")/wine.sh" "$prefix" || exit 1
wine_session
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
source "$(dirname "$0")/wine_trace.sh"
work=$out/unseen
rm -rf "$work" && mkdir -p "$work" || exit 1
usage_head='Usage: quiplexu bootselection[/run=filename][[/noreboot][/force]]'

# run NAME FIRMWARE STDOUT STDERR STATUS ARGS: FIRMWARE as in quiplexc_under_wine.sh ("real":
# the shipped program, no fake); STDOUT and STDERR "file" or "-" (no handle). Leaves NAME.out,
# NAME.err and NAME.trace (Wine's relay and event-log trace).
run() {
    local name=$1 firmware=$2 stdout=$3 stderr=$4 status=$5 program=$fake_build
    shift 5
    local folder=$work/$name
    mkdir -p "$folder"
    [[ $firmware == *M* ]] && printf '\1\0\0\0' >"$folder/ZarvexUEFI"
    [[ $firmware == *P* ]] && printf '\3\0\0\0\0\0' >"$folder/Quiplex"
    [[ $firmware =~ E([0-9]+) ]] && echo "${BASH_REMATCH[1]}" >"$folder/error"
    [[ $firmware =~ W([0-9]+) ]] && echo "${BASH_REMATCH[1]}" >"$folder/write_error"
    [ "$firmware" = real ] && program=$exe
    local out_file=- err_file=-
    [ "$stdout" = file ] && out_file=$(windows_path "$work/$name.out")
    [ "$stderr" = file ] && err_file=$(windows_path "$work/$name.err")
    QUIPLEX_FAKE_FIRMWARE=$(windows_path "$folder") WINEDEBUG=+relay,+eventlog \
        timeout 120 /usr/lib/wine/wine64 "$launcher" 20000 "$out_file" "$err_file" \
        "\"$(windows_path "$program")\" $*" 2>"$work/$name.trace"
    local code=$?
    [ "$code" -ne 124 ] || fail "$name: still waiting after 20 s (a box?)"
    [ "$code" -ne 125 ] ||
        fail "$name: no station without WSF_VISIBLE: $(grep -a station_launcher "$work/$name.trace")"
    [ "$code" -eq "$status" ] || fail "$name: status $code, wanted $status"
    ! grep -a -q 'Call user32.MessageBox[AW](' "$work/$name.trace" || fail "$name: a message box"
    # The program itself asked: the station it runs in is not the visible one.
    grep -a -q 'Ret  user32.GetUserObjectInformationA() retval=00000001' "$work/$name.trace" ||
        fail "$name: the window station was not asked"
}
text() { tr -d '\r' <"$work/$1.$2" 2>/dev/null; }
expect_text() {  # NAME out|err TEXT
    local got
    got=$(text "$1" "$2")
    [ "$got" = "$3" ] || fail "$1: wrote '$got' to standard $2, wanted '$3'"
}
expect_events() {  # NAME EXPECTED (lines; "" for none)
    local got
    got=$(events_in "$work/$1.trace")
    [ "$got" = "$2" ] || fail "$1: events $got, wanted $2"
}
failed() {  # MESSAGE COMMAND STATUS: the error event of a failure
    echo "0x0001 0xc0000004 | $1\\r\\nCommand: \\\"$2\\\" | $3"
}
not_found='Zarvex UEFI was not found.'
monitor='The hibernation monitor needs a desktop that someone can see; it was not started.'

run write_refused MW1314 file file 75 3/noreboot
expect_text write_refused out "Unable to configure system! (522h)"
expect_text write_refused err ""
[ ! -e "$work/write_refused/Quiplex" ] || fail "write_refused: a request was written"
expect_events write_refused "$(failed 'Unable to configure system!' 3/noreboot 75)"

run usage M file file 61
[ "$(text usage out | head -n 1)" = "$usage_head" ] || fail "usage: wrote $(text usage out)"
grep -q '^  /Hibernate - enable hibernation monitor mode$' <(text usage out) ||
    fail "usage: not quiplexu's text"
expect_events usage "$(failed 'The command is not valid.' '' 61)"

run status MP file file 0 --status
expect_text status out $'Zarvex UEFI: found\nPending request: item 3\nRun file: none\nSize: 6 bytes, attributes 0x00000007'
expect_events status ''

run cancel MP file file 0 --cancel
expect_text cancel out "The pending request was cancelled."
[ ! -e "$work/cancel/Quiplex" ] || fail "cancel: the request is still there"
expect_events cancel '0x0004 0x40000002 | The pending request was cancelled. | 0'

# The monitor needs a desktop: refused at once with 88, no window class, no tray icon.
run hibernate M file file 88 /hibernate
expect_text hibernate out "$monitor"
! grep -a -q -E 'Call (user32.RegisterClass|shell32.Shell_NotifyIcon)' "$work/hibernate.trace" ||
    fail "hibernate: the monitor started"
expect_events hibernate "$(failed "$monitor" /hibernate 88)"

# A reading run's failure, which a desktop shows in a box, reaches the event log here.
run status_refused E1 file file 76 --status
expect_text status_refused out "$not_found"
expect_events status_refused "$(failed "$not_found" --status 76)"

# Standard error when only that leads somewhere; nothing at all when neither does.
run stderr_only - - file 8 1/noreboot
expect_text stderr_only err "$not_found"
expect_events stderr_only "$(failed "$not_found" 1/noreboot 8)"
run nowhere - - - 8 1/noreboot
expect_events nowhere "$(failed "$not_found" 1/noreboot 8)"

# The shipped program: an answer goes to the redirected output instead of a box.
run real_version real file file 0 --version
expect_text real_version out "quiplexu 1.03"
expect_events real_version ''
run real_item real file - 76 1
expect_text real_item out "$not_found"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
