#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""The demo: one emulated UEFI PC, three starts. The firmware's shell sets the boot manager's
presence variable; Linux runs quiplexlnx, which writes the request and restarts the machine;
on the next start the shell shows the request as the firmware holds it."""

import os
import sys
import time

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(top, "tests", "emulated"))
import linux_image  # noqa: E402
import machine  # noqa: E402

REQUEST = "My Item/run=tools\\App.efi"


def step(text):
    print("\n== " + text, flush=True)


def show(result, start, end):
    text = result.between(start, end) or ""
    for line in text.splitlines():
        print("   | " + line)


def main():
    build = os.path.join(top, "build", "linux")
    quiplexlnx = os.path.join(build, "linux", "quiplexlnx")
    folder = os.path.join(build, "emulated")
    started = time.monotonic()

    step("kernel: the Debian package linux-image-amd64 depends on (downloaded once, not installed)")
    kernel, module = linux_image.fetch_kernel(os.path.join(folder, "cache"))
    print("   " + kernel)
    pc = machine.Machine(os.path.join(folder, "demo-machine"))
    print("   machine: qemu-system-x86_64 -machine q35 -m 512 -no-reboot, OVMF, variable store "
          + pc.vars)

    step("start 1, UEFI Shell: the boot manager's presence variable")
    presence = machine.shell_set_variable("ZarvexUEFI", bytes([1, 3, 0, 0]))
    print("   Shell> " + presence)
    r = pc.boot_shell({}, [presence] + machine.shell_dump_variable("ZarvexUEFI"))
    show(r, "DUMP-BEGIN", "DUMP-END")

    step("start 2, Linux: quiplexlnx %s" % REQUEST)
    init = """mount -t efivarfs none $EFIVARS
echo "QUIPLEX-DEMO-BEGIN"
echo '# mount -t efivarfs none /sys/firmware/efi/efivars'
echo "# quiplexlnx %s"
/bin/quiplexlnx %s
""" % (REQUEST.replace("\\", "\\\\"), REQUEST.replace("\\", "\\\\"))
    initrd = os.path.join(folder, "demo.cpio.gz")
    linux_image.build_initramfs(initrd, module, {"bin/quiplexlnx": quiplexlnx}, init)
    r = pc.boot_kernel(kernel, initrd)
    show(r, "QUIPLEX-DEMO-BEGIN", "reboot: Restarting system")
    print("   machine reset: %s" % ("yes, QEMU ended" if r.ended else "NO"))

    step("start 3, UEFI Shell: the request as the boot manager will find it")
    print("   Shell> dmpstore Quiplex -guid " + machine.VENDOR_GUID)
    r = pc.boot_shell({}, machine.shell_dump_variable("Quiplex"))
    show(r, "DUMP-BEGIN", "DUMP-END")
    variable = machine.parse_dmpstore(r.between("DUMP-BEGIN", "DUMP-END"))
    if variable is None:
        print("   no request found")
        return 1
    code = int.from_bytes(variable.data[:4], "little")
    texts = variable.data[4:].split(b"\0")
    print("   attributes %s, selection code 0x%04X, selection %r, run file %r"
          % (variable.attributes, code, texts[0].decode(), texts[1].decode()))
    print("\n   demo took %.0f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
