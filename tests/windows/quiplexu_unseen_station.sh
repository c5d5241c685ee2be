#!/bin/bash
# quiplexu in a window station without WSF_VISIBLE (a service's, a scheduled task's): no message
# box, each text on the redirected output, each failure in the event log, every status as on a
# desktop and /hibernate refused. A box there never returns, so each run has a time limit and
# the relay trace must show no MessageBoxA.
# Usage: quiplexu_unseen_station.sh QUIPLEXU_EXE FAKE_FIRMWARE_BUILD LAUNCHER PREFIX OUT
set -u
exe=$1 fake_build=$2 launcher=$3 prefix=$4 out=$5
export WINEPREFIX=$prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
unset DISPLAY
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
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
    [ "$code" -ne 125 ] || fail "$name: no station without WSF_VISIBLE: $(grep -a station_launcher "$work/$name.trace")"
    [ "$code" -eq "$status" ] || fail "$name: status $code, wanted $status"
    ! grep -a -q 'Call user32.MessageBox[AW](' "$work/$name.trace" || fail "$name: a message box"
    # The program itself asked: the station it runs in is not the visible one.
    grep -a -q 'Ret  user32.GetUserObjectInformationA() retval=00000001' "$work/$name.trace" ||
        fail "$name: the window station was not asked"
}
text() { tr -d '\r' <"$work/$1.$2" 2>/dev/null; }
# The events the program reported, one line each: type, ID, then the strings joined by " | ".
events() {
    grep -a -E 'fixme:advapi:ReportEventA |eventlog:ReportEventW L"' "$work/$1.trace" |
        sed -E 's/^[0-9a-f]+://; s/^fixme:advapi:ReportEventA \([0-9A-F]+,(0x[0-9a-f]+),0x0000,(0x[0-9a-f]+),.*/@\1 \2/; s/^[a-z]+:eventlog:ReportEventW L"(.*)"$/ | \1/' |
        tr -d '\n' | tr '@' '\n' | sed '/^$/d'
}
expect_events() {  # NAME EXPECTED (lines; "" for none)
    [ "$(events "$1")" = "$2" ] || fail "$1: events $(events "$1"), wanted $2"
}

run write_refused MW1314 file file 75 3/noreboot
[ "$(text write_refused out)" = "Unable to configure system! (522h)" ] ||
    fail "write_refused: wrote $(text write_refused out)"
[ ! -s "$work/write_refused.err" ] || fail "write_refused: standard error too"
[ ! -e "$work/write_refused/Quiplex" ] || fail "write_refused: a request was written"
expect_events write_refused \
    '0x0001 0xc0000004 | Unable to configure system!\r\nCommand: \"3/noreboot\" | 75'

run usage M file file 61
[ "$(text usage out | head -n 1)" = "$usage_head" ] || fail "usage: wrote $(text usage out | head -3)"
grep -q '^  /Hibernate - enable hibernation monitor mode$' <(text usage out) ||
    fail "usage: not quiplexu's text"
expect_events usage '0x0001 0xc0000004 | The command is not valid.\r\nCommand: \"\" | 61'

run status MP file file 0 --status
[ "$(text status out)" = $'Zarvex UEFI: found\nPending request: item 3\nRun file: none\nSize: 6 bytes, attributes 0x00000007' ] ||
    fail "status: wrote $(text status out)"
expect_events status ''

run cancel MP file file 0 --cancel
[ "$(text cancel out)" = "The pending request was cancelled." ] || fail "cancel: wrote $(text cancel out)"
[ ! -e "$work/cancel/Quiplex" ] || fail "cancel: the request is still there"
expect_events cancel '0x0004 0x40000002 | The pending request was cancelled. | 0'

# The monitor needs a desktop: refused at once with 88, no window class, no tray icon.
run hibernate M file file 88 /hibernate
[ "$(text hibernate out)" = "The hibernation monitor needs a desktop that someone can see; it was not started." ] ||
    fail "hibernate: wrote $(text hibernate out)"
! grep -a -q -E 'Call user32.RegisterClass|Call shell32.Shell_NotifyIcon' "$work/hibernate.trace" ||
    fail "hibernate: the monitor started"
expect_events hibernate \
    '0x0001 0xc0000004 | The hibernation monitor needs a desktop that someone can see; it was not started.\r\nCommand: \"/hibernate\" | 88'

# A reading run's failure, which a desktop shows in a box, reaches the event log here.
run status_refused E1 file file 76 --status
[ "$(text status_refused out)" = "Zarvex UEFI was not found." ] ||
    fail "status_refused: wrote $(text status_refused out)"
expect_events status_refused \
    '0x0001 0xc0000004 | Zarvex UEFI was not found.\r\nCommand: \"--status\" | 76'

# Standard error when only that leads somewhere; nothing at all when neither does.
run stderr_only - - file 8 1/noreboot
[ "$(text stderr_only err)" = "Zarvex UEFI was not found." ] || fail "stderr_only: wrote $(text stderr_only err)"
expect_events stderr_only '0x0001 0xc0000004 | Zarvex UEFI was not found.\r\nCommand: \"1/noreboot\" | 8'
run nowhere - - - 8 1/noreboot
expect_events nowhere '0x0001 0xc0000004 | Zarvex UEFI was not found.\r\nCommand: \"1/noreboot\" | 8'

# The shipped program: an answer goes to the redirected output instead of a box.
run real_version real file file 0 --version
[ "$(text real_version out)" = "quiplexu 1.03" ] || fail "real_version: wrote $(text real_version out)"
expect_events real_version ''
run real_item real file - 76 1
[ "$(text real_item out)" = "Zarvex UEFI was not found." ] || fail "real_item: wrote $(text real_item out)"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
