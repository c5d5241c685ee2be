#!/usr/bin/env bash
# The namespace half of demo-namespace.sh: fake efivarfs, stub /sbin/reboot, three requests.
set -euo pipefail
binary=$1 outer_namespace=${2:-}
# Its mounts cover /sys/firmware and /sbin, so it runs only in a mount namespace other than the
# one demo-namespace.sh started in.
namespace=$(readlink /proc/self/ns/mnt)
if [ -z "$outer_namespace" ] || [ -z "$namespace" ] || [ "$namespace" = "$outer_namespace" ]; then
    echo "not in a private mount namespace; run scripts/demo-namespace.sh"; exit 1
fi
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
