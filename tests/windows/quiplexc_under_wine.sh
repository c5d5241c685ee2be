#!/bin/bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# quiplexc under Wine's cmd as a script runs it: %ERRORLEVEL% and the redirected lines of each
# case, over the file-backed fake firmware of its test build (copied in as quiplexc.exe, so the
# commands read as the Windows guide prints them), then the shipped program's own traits.
# Rows that read LINUX expect exactly what quiplexlnx --dry-run=json prints for the same words.
# Usage: quiplexc_under_wine.sh QUIPLEXC_EXE FAKE_FIRMWARE_BUILD PREFIX OUT QUIPLEXLNX
set -u
exe=$1 fake_build=$2 prefix=$3 out=$4 quiplexlnx=$5
source "$(dirname "$0")/wine.sh" "$prefix" || exit 1
wine_session
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
source "$(dirname "$0")/wine_trace.sh"

rm -rf "$out/console" && mkdir -p "$out/console/bin" || exit 1
work=$out/console
cp "$fake_build" "$work/bin/quiplexc.exe"
usage=$(printf 'Version 1.03\n\nUsage: quiplexu bootselection[/run=filename][[/noreboot][/force]]')
hint="Run quiplexc from an administrator prompt: Windows lets only administrators use firmware"
hint+=" variables."
item_3='{"code":3,"kind":"item","keyword":null,"selection":"","run_file":"","attributes":7,"size":6}'
no_fw=',"firmware":{"boot_current":null,"boot_next":null,"boot_order":null,"next":null,"next_via":null,"boot_manager_entry":null,"boot_manager_next":null,"entries":{},"firmware_setup_supported":null}'
boot_list=',"firmware":{"boot_current":"0003","boot_next":null,"boot_order":["0000","0003"],"next":"0000","next_via":"boot_order","boot_manager_entry":"0003","boot_manager_next":false,"entries":{"0000":{"description":"Windows Boot Manager","active":true},"0003":{"description":"Zarvex UEFI","active":true}},"firmware_setup_supported":true}'
entry_missing="Zarvex UEFI's entry in the firmware's boot list was not found; nothing was changed."
would_write=$'Would write: item 3\nRun file: none\nSize: 6 bytes, attributes 0x00000007\nThen: '
blanks=$(printf '%240s' '') # "/noreboot" after them ends past the command's 255 characters

# name | firmware: M boot manager, P item 3 pending, B a boot list with Windows first and
# OsIndicationsSupported 1, Ennn every call fails, Wnnn writes fail |
# command | status | first lines of the output (\n between lines; "" for none)
cases=(
    "write|M|quiplexc 3/noreboot|0|"
    "write_force|M|quiplexc 2/force|0|"
    "missing|-|quiplexc 3/noreboot|8|Zarvex UEFI was not found."
    "invalid|M|quiplexc /hibernate|61|$usage"
    "empty|M|quiplexc|61|$usage"
    "dry_run_monitor|M|quiplexc --dry-run /Hibernate|61|$usage"
    "status_json|MP|quiplexc --status=json|0|{\"status\":0,\"boot_manager\":true,\"request\":$item_3$no_fw}"
    "status_json_missing|-|quiplexc --status=json|0|{\"status\":0,\"boot_manager\":false,\"request\":null$no_fw}"
    "status_json_boot_list|MPB|quiplexc --status=json|0|{\"status\":0,\"boot_manager\":true,\"request\":$item_3$boot_list}"
    "status_boot_list|MB|quiplexc --status|0|Zarvex UEFI: found\nPending request: none\nFirmware: this start Boot0003 \"Zarvex UEFI\"; next start Boot0000 \"Windows Boot Manager\" (BootOrder)\nWarning: the firmware will start Boot0000 \"Windows Boot Manager\" next, not Zarvex UEFI (Boot0003): the request will not be read. quiplexc --boot-next COMMAND starts Zarvex UEFI once."
    "boot_next|MB|quiplexc --boot-next 2/noreboot|0|"
    "boot_next_missing|M|quiplexc --boot-next 2|8|$entry_missing"
    "dry_run_boot_next|MB|quiplexc --dry-run=json --boot-next 3/noreboot|0|{\"status\":0,\"request\":$item_3,\"restart\":false,\"force\":false,\"boot_next\":\"0003\"}"
    "firmware_setup|MB|quiplexc --firmware-setup|0|The next start opens the firmware's setup."
    "firmware_setup_none|M|quiplexc --firmware-setup|76|This firmware cannot start its setup on request."
    "dry_run_json|M|quiplexc --dry-run=json 3/noreboot|0|{\"status\":0,\"request\":$item_3,\"restart\":false,\"force\":false}"
    "dry_run_force|M|quiplexc --dry-run 3/force|0|${would_write}restart, closing applications without waiting (/force)"
    "version|-|quiplexc --version|0|quiplexc 1.03"
    "status|MP|quiplexc --status|0|Zarvex UEFI: found\nPending request: item 3"
    "cancel|MP|quiplexc --cancel|0|The pending request was cancelled."
    "refused_probe|E1314|quiplexc 3/noreboot|75|Zarvex UEFI was not found.\n$hint"
    "refused_write|MW1314|quiplexc 3/noreboot|75|Unable to configure system! (522h)\n$hint"
    "no_firmware|E1|quiplexc --cancel|76|Unable to cancel the pending request."
    # The words as the C runtime splits them, joined with single blanks as on Linux.
    "quoted_name|M|quiplexc --dry-run=json \"Windows 11\" /noreboot|0|LINUX"
    "quoted_name_and_switch|M|quiplexc --dry-run=json \"Windows 11/noreboot\"|0|LINUX"
    "unquoted_name|M|quiplexc --dry-run=json Windows 11/noreboot|0|LINUX"
    "every_word_quoted|M|quiplexc \"--dry-run=json\" \"My Tools\" \"/run=\\EFI\\x.efi\" \"/force\"|0|LINUX"
    "quoted_option|M|quiplexc --dry-run=json \"--status=json\"|61|LINUX"
    "embedded_quote|M|quiplexc --dry-run=json \"Say \\\"Hi\\\"/noreboot\"|0|LINUX"
    "empty_word|M|quiplexc \"--dry-run=json\" \"Windows\" \"\" \"11/noreboot\"|0|LINUX"
    "past_255|M|quiplexc --dry-run=json \"Windows 11\" \"$blanks\" /noreboot|0|LINUX"
    "quoted_status_json|MP|quiplexc \"--status=json\"|0|{\"status\":0,\"boot_manager\":true,\"request\":$item_3$no_fw}"
    "quoted_version|-|quiplexc \"--version\"|0|quiplexc 1.03"
    "quoted_write|M|quiplexc \"Windows 11\" \"/noreboot\"|0|"
)

# A load option's description: each character and a zero byte.
ucs2() { local i; for ((i = 0; i < ${#1}; i++)); do printf '%s\0' "${1:i:1}"; done; }

batch=$work/cases.bat
{
    echo "@echo off"
    echo "set PATH=$(windows_path "$work/bin");%PATH%"
    for case in "${cases[@]}"; do
        IFS='|' read -r name firmware command _ <<<"$case"
        mkdir -p "$work/$name"
        [[ $firmware == *M* ]] && printf '\1\0\0\0' >"$work/$name/ZarvexUEFI"
        [[ $firmware == *P* ]] && printf '\3\0\0\0\0\0' >"$work/$name/Quiplex"
        if [[ $firmware == *B* ]]; then
            g=-8be4df61-93ca-11d2-aa0d-00e098032b8c
            printf '\3\0' >"$work/$name/BootCurrent$g"
            printf '\0\0\3\0' >"$work/$name/BootOrder$g"
            { printf '\1\0\0\0\4\0'; ucs2 'Windows Boot Manager'
              printf '\0\0\177\377\4\0'; } >"$work/$name/Boot0000$g"
            { printf '\1\0\0\0\4\0'; ucs2 'Zarvex UEFI'
              printf '\0\0\177\377\4\0'; } >"$work/$name/Boot0003$g"
            printf '\1\0\0\0\0\0\0\0' >"$work/$name/OsIndicationsSupported$g"
        fi
        [[ $firmware =~ E([0-9]+) ]] && echo "${BASH_REMATCH[1]}" >"$work/$name/error"
        [[ $firmware =~ W([0-9]+) ]] && echo "${BASH_REMATCH[1]}" >"$work/$name/write_error"
        echo "set QUIPLEX_FAKE_FIRMWARE=$(windows_path "$work/$name")"
        echo "$command > $(windows_path "$work/$name.out") 2> $(windows_path "$work/$name.err")"
        echo "echo $name %ERRORLEVEL%"
    done
} | sed 's/$/\r/' >"$batch"
timeout 300 /usr/lib/wine/wine64 cmd /c "$(windows_path "$batch")" >"$work/results" \
    2>"$work/cmd.err"

# What quiplexlnx prints for the words of a LINUX row, split by the shell: for blanks, double quotes
# and \" inside them its rules and the C runtime's agree. Only ever a dry run, which writes nothing
# and never restarts.
linux_answer() {  # COMMAND; sets expected and linux_status
    local -a words
    set -f
    eval "words=($1)"
    set +f
    expected="(no answer)" linux_status=
    if [ "${words[1]}" != --dry-run=json ]; then
        fail "$name: a LINUX row must start with --dry-run=json"
    elif [ ! -x "$quiplexlnx" ]; then
        fail "$name: no $quiplexlnx to compare with (build the linux preset first)"
    else
        expected=$("$quiplexlnx" "${words[@]:1}")
        linux_status=$?
    fi
}

for case in "${cases[@]}"; do
    IFS='|' read -r name _ command status expected <<<"$case"
    got=$(tr -d '\r' <"$work/results" | sed -n "s/^$name \([0-9]*\)\$/\1/p")
    if [ "$expected" = LINUX ]; then
        linux_answer "$command"
        [ "$linux_status" = "$status" ] || fail "$name: quiplexlnx ended with '$linux_status'"
    else
        expected=$(printf '%b' "$expected")
    fi
    [ "$got" = "$status" ] || fail "$name: %ERRORLEVEL% '$got', wanted $status"
    lines=$(printf '%s\n' "$expected" | wc -l)
    [ -z "$expected" ] && lines=0
    [ "$(tr -d '\r' <"$work/$name.out" | head -n "$lines")" = "$expected" ] ||
        fail "$name: wrote $(cat -A "$work/$name.out" | head -5)"
    # Lines as Windows tools write them, and nothing on standard error.
    ! grep -q -v $'\r$' "$work/$name.out" || fail "$name: a line without \\r\\n"
    [ ! -s "$work/$name.err" ] || fail "$name: standard error: $(head -3 "$work/$name.err")"
done

# What each case left in the fake firmware: the request written, deleted or untouched, and the
# restart the program asked the (fake) shutdown function for.
check_file() {  # CASE FILE EXPECTED-BYTES ("absent" for none)
    if [ "$3" = absent ]; then
        [ ! -e "$work/$1/$2" ] || fail "$1: $2 is there"
    else
        [ "$(xxd -p "$work/$1/$2" 2>/dev/null)" = "$3" ] || fail "$1: $2 is not $3"
    fi
}
check_file write Quiplex 030000000000
check_file write restarts absent
check_file write_force Quiplex 020000000000
check_file quoted_write Quiplex "ffff0000$(printf 'Windows 11' | xxd -p)0000"
check_file quoted_write restarts absent
[ "$(tr -d '\r' <"$work/write_force/restarts" 2>/dev/null)" = "restart force" ] ||
    fail "write_force: restarts $(cat -A "$work/write_force/restarts" 2>/dev/null)"
for name in missing invalid empty dry_run_monitor dry_run_json dry_run_force refused_probe \
            refused_write; do
    check_file $name Quiplex absent
    check_file $name restarts absent
done
check_file boot_next Quiplex 020000000000
check_file boot_next BootNext-8be4df61-93ca-11d2-aa0d-00e098032b8c 0300
check_file boot_next restarts absent
for name in boot_next_missing dry_run_boot_next firmware_setup_none; do
    check_file $name Quiplex absent
    check_file $name BootNext-8be4df61-93ca-11d2-aa0d-00e098032b8c absent
    check_file $name OsIndications-8be4df61-93ca-11d2-aa0d-00e098032b8c absent
    check_file $name restarts absent
done
check_file firmware_setup OsIndications-8be4df61-93ca-11d2-aa0d-00e098032b8c 0100000000000000
[ "$(tr -d '\r' <"$work/firmware_setup/restarts" 2>/dev/null)" = "restart" ] ||
    fail "firmware_setup: restarts $(cat -A "$work/firmware_setup/restarts" 2>/dev/null)"
check_file cancel Quiplex absent
check_file status Quiplex 030000000000
# The whole usage text, as a line like every other text.
cmp -s "$work/invalid.out" "$work/empty.out" || fail "/hibernate and an empty command differ"
[ "$(tail -n 1 "$work/invalid.out")" = $'  quiplex /shutdown/run=filename.ext\r' ] ||
    fail "invalid: the usage text ends $(tail -n 1 "$work/invalid.out" | cat -A)"

# What a script compares (doc/windows.md): the dry run's request is the one --status=json shows.
request_of() { tr -d '\r' <"$work/$1.out" | sed -n 's/.*"request":\({[^}]*}\).*/\1/p'; }
[ -n "$(request_of dry_run_json)" ] &&
    [ "$(request_of dry_run_json)" = "$(request_of status_json)" ] ||
    fail "the dry run's request $(request_of dry_run_json) is not --status's"

# The Windows guide's cmd block with quiplexc and %ERRORLEVEL% (not a transcript of `C:\> `
# lines), as printed there, in a batch file of its own.
guide=$(dirname "$0")/../../doc/windows.md
mkdir -p "$work/guide" && printf '\1\0\0\0' >"$work/guide/ZarvexUEFI"
{
    echo "@echo off"
    echo "set PATH=$(windows_path "$work/bin");%PATH%"
    echo "set QUIPLEX_FAKE_FIRMWARE=$(windows_path "$work/guide")"
    awk '/^```bat$/ { block = ""; inside = 1; next }
         /^```$/ && inside { if (block ~ /%ERRORLEVEL%/ && block ~ /quiplexc/ &&
                                 block !~ /(^|\n)C:\\> /) printf "%s", block
                             inside = 0; next }
         inside { block = block $0 "\n" }' "$guide"
} | sed 's/$/\r/' >"$work/guide.bat"
grep -q '^quiplexc 3/noreboot' "$work/guide.bat" || fail "no cmd block with quiplexc in $guide"
timeout 120 /usr/lib/wine/wine64 cmd /c "$(windows_path "$work/guide.bat")" >"$work/guide.out" \
    2>/dev/null
[ "$(tr -d '\r' <"$work/guide.out")" = "0
Zarvex UEFI: found
Pending request: item 3
Run file: none
Size: 6 bytes, attributes 0x00000007
Item 2 starts next.
Windows 11 starts next.
The pending request was cancelled." ] ||
    fail "the guide's cmd block printed $(cat -A "$work/guide.out")"
[ ! -e "$work/guide/Quiplex" ] || fail "the guide's cmd block left a request"

# The event of a write and of a failure reach Wine's ReportEvent (a stub that traces them).
events() {  # FIRMWARE-FOLDER ARGS...
    local folder=$1; shift
    QUIPLEX_FAKE_FIRMWARE=$(windows_path "$folder") WINEDEBUG=+eventlog \
        timeout 120 /usr/lib/wine/wine64 "$work/bin/quiplexc.exe" "$@" 2>"$work/events.trace" \
        >/dev/null
    events_in "$work/events.trace"
}
mkdir -p "$work/events" && printf '\1\0\0\0' >"$work/events/ZarvexUEFI"
wanted='0x0004 0x40000001 | Pending request: item 3\r\nRun file: none\r\nSize: 6 bytes, '
wanted+='attributes 0x00000007\r\nThen: no restart (/noreboot) | 0'
got=$(events "$work/events" 3/noreboot)
[ "$got" = "$wanted" ] || fail "the write's event: $got"
rm "$work/events/ZarvexUEFI"
got=$(events "$work/events" 3/noreboot)
[ "$got" = '0x0001 0xc0000004 | Zarvex UEFI was not found.\r\nCommand: \"3/noreboot\" | 8' ] ||
    fail "the failure's event: $got"
# The command as the pass took it: the words joined, their quotes gone.
got=$(events "$work/events" "Windows 11" /noreboot)
[ "$got" = '0x0001 0xc0000004 | Zarvex UEFI was not found.\r\nCommand: \"Windows 11 /noreboot\" | 8' ] ||
    fail "the joined command's event: $got"
[ -z "$(events "$work/events" --status)" ] || fail "a reading run reported an event"
# With standard output closed nobody reads its failure, so the event log gets it instead.
echo 1 >"$work/events/error"
QUIPLEX_FAKE_FIRMWARE=$(windows_path "$work/events") WINEDEBUG=+eventlog \
    timeout 120 /usr/lib/wine/wine64 "$work/bin/quiplexc.exe" --status 2>"$work/events.trace" >&-
got=$(events_in "$work/events.trace")
[ "$got" = '0x0001 0xc0000004 | Zarvex UEFI was not found.\r\nCommand: \"--status\" | 76' ] ||
    fail "the unseen failure's event: $got"

# The shipped program: a console program that never shows a window, run as the invoker.
imports=$(x86_64-w64-mingw32-objdump -p "$exe")
grep -q 'Subsystem.*Windows CUI' <<<"$imports" || fail "not a console-subsystem program"
for name in MessageBoxA MessageBoxW CreateWindowExA Shell_NotifyIconA \
            GetFirmwareEnvironmentVariableExA SetFirmwareEnvironmentVariableExA \
            InitiateSystemShutdownExA; do
    ! grep -q "\b$name\b" <<<"$imports" || fail "quiplexc imports $name"
done
! grep -qi 'DLL Name: lib' <<<"$imports" || fail "depends on a mingw runtime DLL"
grep -a -q 'level="asInvoker"' "$exe" || fail "the manifest does not run it as the invoker"
# Wine has no firmware variables: the real program's probe fails with 76, the hint is Windows'.
WINEDEBUG=-all timeout 120 /usr/lib/wine/wine64 "$exe" 3/noreboot >"$work/real.out" 2>/dev/null
code=$?
[ "$code" -eq 76 ] || fail "real program: status $code, wanted 76"
[ "$(tr -d '\r' <"$work/real.out")" = "Zarvex UEFI was not found." ] ||
    fail "real program: wrote $(cat -A "$work/real.out")"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
