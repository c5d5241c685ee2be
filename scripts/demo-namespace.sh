#!/usr/bin/env bash
# Runs the built quiplexlnx once against a fake efivarfs in a private mount namespace whose
# /sbin/reboot is a checked stub, printing each command and the request it leaves.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary="$top/build/linux/linux/quiplexlnx"
[ -x "$binary" ] || { echo "build quiplexlnx first (cmake --build --preset linux)"; exit 1; }

exec unshare --mount --propagation private bash -euo pipefail -c '
binary=$1
step() { echo "+ $*"; "$@"; }
step mount -t tmpfs quiplex-firmware /sys/firmware
step mkdir -p /sys/firmware/efi/efivars
step mount -t tmpfs quiplex-efivars /sys/firmware/efi/efivars
vars=/sys/firmware/efi/efivars
guid=81686ef9-7f6f-42e3-9371-696de9bf6299
echo "+ printf <attributes 7, 4 bytes> > $vars/ZarvexUEFI-$guid   # the boot manager is present"
printf "\x07\x00\x00\x00Zv\x01\x00" > "$vars/ZarvexUEFI-$guid"

# Cover the directory /sbin/reboot lives in, so only the stub can be started.
sbin=$(realpath /sbin)
step mount -t tmpfs quiplex-sbin "$sbin"
printf "#!/bin/sh\necho \"[stub /sbin/reboot started with argv: \$0 \$*]\"\nexit 0\n" > "$sbin/reboot"
chmod 755 "$sbin/reboot"
if [ "$(stat -c %d /sbin/)" != "$(stat -c %d "$sbin")" ] || ! grep -q "stub /sbin/reboot" /sbin/reboot; then
    echo "the reboot stub is not in place; not starting quiplexlnx"; exit 1
fi
echo "+ cat /sbin/reboot   # checked: the stub"
cat /sbin/reboot

for request in "3/noreboot" "My Item/run=tools\\App.efi" "/current"; do
    echo
    echo "+ quiplexlnx $request"
    set +e; "$binary" $request; status=$?; set -e
    echo "  exit status $status"
    echo "+ od -An -tx1 $vars/Quiplex-$guid   # attributes, then the request"
    od -An -tx1 "$vars/Quiplex-$guid"
done
' demo "$binary"
