#!/bin/bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Installs, upgrades and removes the MSI of build/packages with Wine's msiexec, with and without
# the hibernation guard service, then checks signing.
# Usage: msi_test.sh SOURCE_DIR VERSION, after scripts/package.sh (the packages test runs it).
set -u
source=$1
version=$2
newer=${version%.*}.$((${version##*.} + 1))
packages=$source/build/packages temp=$(mktemp -d)
zip=$packages/quiplexu-$version-win64.zip msi=$packages/quiplexu-$version-x64.msi
source "$source/tests/windows/wine.sh" "$temp/prefix" || exit 1
trap 'wineserver -k; rm -rf "$temp"' EXIT
exe='C:\Program Files\Quiplex\quiplexu.exe' dir="$WINEPREFIX/drive_c/Program Files/Quiplex"
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
source_key='HKLM\System\CurrentControlSet\Services\EventLog\Application\Quiplex UEFI'
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { [ "$2" = "$3" ] || fail "$1: got '$2', wanted '$3'"; }
msiexec() { wine msiexec "$1" "Z:${2//\//\\}" "${@:3}"; }
boxes() {  # the message boxes in Wine's relay trace, as tests/windows/quiplexu_under_wine.sh reads
    WINEDEBUG=+relay "$@" 2>&1 >/dev/null | grep -a -o 'Call user32.MessageBox[AW](.*) ret' |
        sed -E 's/^[^,]*,[0-9a-f]+ L?//; s/,[0-9a-f]+ L?"/,"/; s/\) ret$//'
}
entries() {  # "ProductCode DisplayVersion" of each Add/Remove Programs entry of the product
    wine reg query "$uninstall" /s | tr -d '\r' | awk -v RS= '/DisplayName +REG_SZ +Quiplex UEFI/ {
        match($0, /\{[0-9A-F-]+\}/); code = substr($0, RSTART, RLENGTH)
        match($0, /DisplayVersion +REG_SZ +[0-9.]+/); split(substr($0, RSTART, RLENGTH), v, / +/)
        print code, v[3] }'
}
# The hibernation guard service: its state and exit code as sc prints them, its processes.
source "$source/tests/windows/wine_trace.sh"
guard_pids() { pgrep -f '^C:\\Program Files\\Quiplex\\quiplexguard\.exe$' | tr '\n' ' '; }
# Wine ends a session, and its services, once no program runs; the next one starts the
# automatic services anew. A program waiting on a pipe holds one session across commands.
hold_session() {
    rm -f "$temp/hold" && mkfifo "$temp/hold"
    wine cmd /c "set /p x=" <"$temp/hold" >/dev/null 2>&1 &
    exec 9>"$temp/hold"
}
release_session() { exec 9>&-; wait; }
everything() {  # files, folders and registry keys, but the Windows Installer's own containers
    wineserver -w
    { find "$WINEPREFIX" ! -name '*.reg'
      sed -n 's/^\(\[.*\]\) [0-9]*$/\1/p' "$WINEPREFIX"/*.reg; } |
        grep -v -E '(Installer|Features|Products|UpgradeCodes|Components|NetworkCards)\]?$' | sort
}

bash "$source/windows/make_msi.sh" "$zip" "$newer" "$temp/newer.msi" || fail "no $newer MSI"
(mkdir "$temp/zip" && cd "$temp/zip" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
# The Application log holds other sources on any Windows; Wine's is empty, and its msiexec
# deletes a parent key that an uninstall leaves empty.
wine reg add 'HKLM\System\CurrentControlSet\Services\Eventlog\Application\MsiInstaller' /f \
    >/dev/null
everything >"$temp/before"
msiexec /i "$msi" /qn || fail "install: status $?"
for program in quiplexu quiplexc; do
    cmp "$temp/zip/quiplexu-$version-win64/$program.exe" "$dir/$program.exe" ||
        fail "$program.exe differs"
done
# The README's links name the guides in doc/ beside it.
for guide in "$temp/zip/quiplexu-$version-win64/doc/"*.md; do
    cmp "$guide" "$dir/doc/${guide##*/}" || fail "doc/${guide##*/} not installed as in the zip"
done
# The folder on the system PATH, once, so that a new prompt finds quiplexc by its name.
system_path() {
    wine reg query "$environment" /v PATH | tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]* *//p'
}
check "PATH entries of the folder" "$(system_path | tr ';' '\n' |
    grep -c -i -x -F -e 'C:\Program Files\Quiplex\' -e 'C:\Program Files\Quiplex')" 1
check "quiplexc from a new prompt" "$(wine cmd /c quiplexc --version | tr -d '\r'; echo "$?")" \
    $'quiplexc 1.03\n0'
# The event source, its texts in quiplexu.exe's message table.
check "event source" "$(wine reg query "$source_key" | tr -d '\r' | sed -n 's/^ \+//p' | sort)" \
    "$(printf '%s\n' 'EventMessageFile    REG_EXPAND_SZ    C:\Program Files\Quiplex\quiplexu.exe' \
                      'TypesSupported    REG_DWORD    0x7')"
read -r code _ <<<"$(entries)"
check "entries after the install" "$(entries)" "$code $version"
values=$(wine reg query "$uninstall\\$code" | tr -d '\r')
for value in "DisplayName +REG_SZ +Quiplex UEFI" "Publisher +REG_SZ +The quiplex developers" \
             "NoModify +REG_DWORD +0x1" "NoRepair +REG_DWORD +0x1"; do
    grep -q -E "^ +$value\$" <<<"$values" || fail "Add/Remove Programs: no $value in $code"
done
# Add/Remove Programs shows the icon the installer keeps under the product code.
wine reg query 'HKLM\Software\Classes\Installer\Products' /s /v ProductIcon |
    grep -q -F "C:\\windows\\Installer\\$code\\quiplexu.ico" || fail "no ProductIcon"
# Wine puts ProgramMenuFolder in the user's profile even for a per-machine install.
link=$(find "$WINEPREFIX" -path '*Start Menu*' -path '*Quiplex*' -type f)
check shortcut "${link#*Start Menu/}" "Programs/Quiplex/Quiplex hibernation monitor.lnk"
# The target as the link information's path, the arguments as one of the UTF-16 strings.
grep -q -a -F "$exe" "$link" || fail "shortcut target"
tr -d '\0' <"$link" | grep -q -a -F '/hibernate' || fail "shortcut arguments"
check "version box" "$(boxes wine "$exe" --version)" '"quiplexu 1.03","Quiplex UEFI",00000040'

# The hibernation guard: the service QuiplexGuard, automatic, as LocalSystem, started at once;
# its control record starts it at install and stops it at install and uninstall (an upgrade
# stops the running one before replacing its file), and deletes it at uninstall.
cmp "$temp/zip/quiplexu-$version-win64/quiplexguard.exe" "$dir/quiplexguard.exe" ||
    fail "quiplexguard.exe differs"
check "service control record" "$(msiinfo export "$msi" ServiceControl | tr -d '\r' | tail -1)" \
    "$(printf 'GuardService\tQuiplexGuard\t163\t\t1\tGuardService')"
values=$(wine reg query 'HKLM\System\CurrentControlSet\Services\QuiplexGuard' | tr -d '\r')
for value in "DisplayName +REG_SZ +Quiplex hibernation guard" \
             "Description +REG_SZ +Keeps a pending Quiplex UEFI boot request from replacing a .*" \
             "ImagePath +REG_SZ +C:.Program Files.Quiplex.quiplexguard\.exe" \
             "ObjectName +REG_SZ +LocalSystem" "Start +REG_DWORD +0x2" "Type +REG_DWORD +0x10"; do
    grep -q -E "^ +$value\$" <<<"$values" || fail "service: no $value"
done
hold_session
wait_for_guard 4 || fail "service not running after the install: state $(guard_field STATE)"
[ -n "$(guard_pids)" ] || fail "no quiplexguard.exe process after the install"
wine net stop QuiplexGuard >/dev/null 2>&1 || fail "net stop: status $?"
wait_for_guard 1 || fail "service not stopped by net stop: state $(guard_field STATE)"
check "exit code after the stop" "$(guard_field WIN32_EXIT_CODE)" 0
for _ in $(seq 50); do [ -z "$(guard_pids)" ] && break; sleep 0.1; done
check "processes after the stop" "$(guard_pids)" ""
wine net start QuiplexGuard >/dev/null 2>&1 || fail "net start: status $?"
wait_for_guard 4 || fail "service not started by net start: state $(guard_field STATE)"
before_upgrade=$(guard_pids)

msiexec /i "$temp/newer.msi" /qn || fail "upgrade: status $?"
check "after the upgrade" "$(entries | cut -d' ' -f2)" "$newer"
wait_for_guard 4 || fail "service not running after the upgrade: state $(guard_field STATE)"
after_upgrade=$(guard_pids)
[ -n "$after_upgrade" ] && [ "$after_upgrade" != "$before_upgrade" ] ||
    fail "the upgrade did not stop and restart the service: '$before_upgrade' '$after_upgrade'"
release_session
check "downgrade box" "$(boxes msiexec /i "$msi" /qb)" \
    '"A newer version of Quiplex UEFI is installed. Uninstall it first.","Install Failed",00000000'
check "after the downgrade" "$(entries | cut -d' ' -f2)" "$newer"
msiexec /x "$temp/newer.msi" /qn || fail "uninstall: status $?"
check "service after the uninstall" "$(guard_field STATE)" ""
! system_path | tr ';' '\n' | grep -q -i 'Quiplex' || fail "still on the PATH: $(system_path)"
! wine reg query "$source_key" >/dev/null 2>&1 || fail "the event source is still registered"
everything | diff "$temp/before" - || fail "uninstall left the lines above behind"
check "processes after the uninstall" "$(guard_pids)" ""

# GUARD=0: no service and no quiplexguard.exe; the program and the monitor's shortcut as ever.
msiexec /i "$msi" /qn GUARD=0 || fail "install with GUARD=0: status $?"
[ -f "$dir/quiplexu.exe" ] && [ ! -e "$dir/quiplexguard.exe" ] ||
    fail "GUARD=0 installed: $(ls "$dir")"
check "service with GUARD=0" "$(guard_field STATE)" ""
! wine reg query 'HKLM\System\CurrentControlSet\Services\QuiplexGuard' >/dev/null 2>&1 ||
    fail "GUARD=0 registered the service"
[ -n "$(find "$WINEPREFIX" -path '*Start Menu*' -name 'Quiplex hibernation monitor.lnk')" ] ||
    fail "GUARD=0 left out the monitor's shortcut"
msiexec /x "$msi" /qn || fail "uninstall after GUARD=0: status $?"
everything | diff "$temp/before" - || fail "uninstall after GUARD=0 left the lines above behind"

# The Windows guide's command: another folder through INSTALLDIR, a verbose log, /norestart; the
# programs, the PATH entry and the event source follow the folder.
log="$temp/install.log"
msiexec /i "$msi" /qn /norestart /l*v "Z:${log//\//\\}" 'INSTALLDIR=C:\Tools\Quiplex\' ||
    fail "install into INSTALLDIR: status $?"
[ -f "$WINEPREFIX/drive_c/Tools/Quiplex/quiplexc.exe" ] && [ ! -e "$dir" ] ||
    fail "INSTALLDIR: $(ls "$WINEPREFIX/drive_c/Tools/Quiplex" 2>&1)"
check "PATH entries of INSTALLDIR" "$(system_path | tr ';' '\n' |
    grep -c -i -x -F -e 'C:\Tools\Quiplex\' -e 'C:\Tools\Quiplex')" 1
wine reg query "$source_key" /v EventMessageFile | tr -d '\r' |
    grep -q -F 'C:\Tools\Quiplex\quiplexu.exe' || fail "INSTALLDIR: the event source's file"
grep -a -q . "$log" || fail "no log from /l*v"
# Wine's msiexec does not find the folder of an installed product by itself; Windows does.
msiexec /x "$msi" /qn 'INSTALLDIR=C:\Tools\Quiplex\' || fail "uninstall from INSTALLDIR: status $?"
rmdir "$WINEPREFIX/drive_c/Tools" 2>/dev/null  # the parent the installer made, if it is empty
everything | diff "$temp/before" - || fail "uninstall from INSTALLDIR left the lines above behind"

# Signing with a throwaway CA: the zip as package.sh makes it, the MSI made from that zip.
(cd "$temp" && set -e
 openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=CA -keyout ca.key -out ca.pem \
     -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign
 openssl req -newkey rsa:2048 -nodes -subj /CN=Signer -keyout key.pem -out leaf.csr
 printf 'extendedKeyUsage=codeSigning\nkeyUsage=digitalSignature\n' >leaf.ext
 openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -days 2 -extfile leaf.ext -out cert.pem
 export QUIPLEX_SIGN_KEY=$temp/key.pem QUIPLEX_SIGN_CERT=$temp/cert.pem
 export SOURCE_DATE_EPOCH=$(git -C "$source" log -1 --format=%ct)  # as package.sh does
 cd "$source/build/package-windows" && cpack -B "$temp/signed" >/dev/null
 bash "$source/windows/make_msi.sh" "$temp/signed/${zip##*/}" "$version" "$temp/signed.msi"
 cd "$temp/signed" && cmake -E tar xf "${zip##*/}" && msiextract -C "$temp/signed" ../signed.msi
) >"$temp/signing.log" 2>&1 || fail "signed packages: $(tail "$temp/signing.log")"
verify() { osslsigncode verify -CAfile "$temp/ca.pem" -in "$1" >"$temp/verify.out" 2>&1; }
for program in quiplexu quiplexc quiplexguard; do
    cmp "$temp/signed/quiplexu-$version-win64/$program.exe" "$temp/signed/Quiplex/$program.exe" ||
        fail "the zip's and the MSI's $program.exe differ"
done
# A signed build differs from the unsigned one only by its signatures, and signing again later
# gives the same bytes (the signing time is SOURCE_DATE_EPOCH, not the clock). osslsigncode lays
# out an MSI anew when it removes the signature, so the MSI is compared signed twice.
sign_again() {
    cp "$temp/removed" "$1" &&
        (export QUIPLEX_SIGN_KEY=$temp/key.pem QUIPLEX_SIGN_CERT=$temp/cert.pem
         export SOURCE_DATE_EPOCH=$(git -C "$source" log -1 --format=%ct)
         bash "$source/windows/sign.sh" "$1")
}
signed_dir=$temp/signed/quiplexu-$version-win64 unsigned_dir=$temp/zip/quiplexu-$version-win64
for case in "$signed_dir/quiplexu.exe $unsigned_dir/quiplexu.exe" \
        "$signed_dir/quiplexc.exe $unsigned_dir/quiplexc.exe" \
        "$signed_dir/quiplexguard.exe $unsigned_dir/quiplexguard.exe" "$temp/signed.msi -"; do
    read -r file unsigned <<<"$case"
    # osslsigncode will not overwrite its output, so the last case's must go first.
    rm -f "$temp/removed"
    osslsigncode remove-signature -in "$file" -out "$temp/removed" >/dev/null 2>&1 ||
        fail "$file: the signature cannot be removed"
    [ "$unsigned" = - ] || cmp "$temp/removed" "$unsigned" || fail "$file unsigned is not $unsigned"
    sign_again "$temp/again" && sleep 1 && sign_again "$temp/later" &&
        cmp "$temp/again" "$temp/later" || fail "$file: signed a second later, other bytes"
    [ "$unsigned" = - ] || cmp "$temp/again" "$file" || fail "$file signed again differs"
done
# A byte of code in each program; the publisher's name in the MSI's string pool.
for case in "$signed_dir/quiplexu.exe 4096" "$signed_dir/quiplexc.exe 4096" \
        "$signed_dir/quiplexguard.exe 4096" \
        "$temp/signed.msi $(grep -a -b -o 'quiplex developers' \
        "$temp/signed.msi" | head -1 | cut -d: -f1)"; do
    read -r file at <<<"$case"
    verify "$file" && grep -q -E 'Message digest algorithm +: SHA256' "$temp/verify.out" ||
        fail "$file does not verify: $(cat "$temp/verify.out")"
    cp "$file" "$temp/changed"
    printf X | dd of="$temp/changed" bs=1 seek="$at" conv=notrunc 2>/dev/null
    ! verify "$temp/changed" || fail "$file verifies with byte $at changed"
done
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
