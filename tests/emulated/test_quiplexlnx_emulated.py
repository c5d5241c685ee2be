# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""quiplexlnx on a real Debian kernel under OVMF, then the next start into the UEFI Shell.

One boot of Linux runs every scenario in order (efivarfs not mounted, no boot manager, three
requests over each other, a request that restarts the machine); the machine then starts again
into the UEFI Shell, whose dmpstore shows the request as the boot manager will find it.
Needs QUIPLEXLNX, INODE_FLAGS (built programs) and QUIPLEX_EMULATED_DIR (cache and scratch).
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import linux_image  # noqa: E402
import machine  # noqa: E402

USAGE_HINT_92 = ("Zarvex UEFI was not found.\nIs efivarfs is mounted?\n"
                 "e.g. mount -t efivarfs none /sys/firmware/efi/efivars\n")
ATTRIBUTES = b"\x07\x00\x00\x00"

INIT_BODY = r"""
run not-mounted /bin/quiplexlnx 1
mount -t efivarfs none $EFIVARS
run no-boot-manager /bin/quiplexlnx /current
printf '\007\000\000\000\132\166\001\000\003' > $EFIVARS/ZarvexUEFI-$GUID
run first /bin/quiplexlnx 3/run=a.efi /noreboot
dump first
run second /bin/quiplexlnx My Item/noreboot
dump second
run third /bin/quiplexlnx /current/noreboot
dump third
run restart /bin/quiplexlnx '&W/run=tools\App.efi'
"""

EXPECTED = {
    "first": bytes([3, 0, 0, 0, 0]) + b"a.efi \0",
    "second": bytes([0xFF, 0xFF, 0, 0]) + b"My Item\0\0",
    "third": bytes([0xFB, 0xFF, 0, 0, 0, 0]),
}
RESTART_REQUEST = bytes([0xFF, 0xFF, 0, 0]) + b"&W\0tools\\App.efi\0"


class EmulatedLinux(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        folder = os.environ.get("QUIPLEX_EMULATED_DIR", "/tmp/quiplex-emulated")
        kernel, module = linux_image.fetch_kernel(os.path.join(folder, "cache"))
        initrd = os.path.join(folder, "linux-scenarios.cpio.gz")
        linux_image.build_initramfs(initrd, module, {
            "bin/quiplexlnx": os.environ["QUIPLEXLNX"],
            "bin/inode_flags": os.environ["INODE_FLAGS"]}, INIT_BODY)
        cls.machine = machine.Machine(os.path.join(folder, "linux-machine"))
        cls.linux = cls.machine.boot_kernel(kernel, initrd, timeout=300)
        cls.console = cls.linux.output
        sys.stderr.write(cls.console[-4000:] + "\n")
        cls.shell = cls.machine.boot_shell({}, machine.shell_dump_variable("Quiplex"), timeout=180)

    def run_output(self, name):
        found = linux_image.scenario_output(self.console, name)
        self.assertIsNotNone(found, "scenario %s did not run" % name)
        return found

    def dump(self, name):
        found = linux_image.scenario_dump(self.console, name)
        self.assertIsNotNone(found, "no dump after %s" % name)
        return found

    def test_not_mounted_gives_92_and_the_hint(self):
        self.assertEqual(self.run_output("not-mounted"), (USAGE_HINT_92, 92))

    def test_no_boot_manager_gives_8(self):
        self.assertEqual(self.run_output("no-boot-manager"), ("Zarvex UEFI was not found.\n", 8))

    def test_requests_written_over_each_other(self):
        for name in ("first", "second", "third"):
            with self.subTest(name):
                self.assertEqual(self.run_output(name), ("", 0))
                contents, immutable = self.dump(name)
                self.assertEqual(contents, ATTRIBUTES + EXPECTED[name])
                # The kernel marks the file immutable; the store puts the flag back.
                self.assertEqual(immutable, "yes")

    def test_restart_goes_through_sbin_reboot_without_arguments(self):
        self.assertIn("QUIPLEX-RUN-BEGIN restart\nQUIPLEX-REBOOT argc=0 argv0=/sbin/reboot args=[]",
                      self.console)
        self.assertNotIn("QUIPLEX-RUN-END restart", self.console)
        self.assertNotIn("QUIPLEX-INIT-DONE", self.console)
        self.assertTrue(self.linux.ended, "the reset ends QEMU")

    def test_next_start_finds_the_request_in_firmware(self):
        variable = machine.parse_dmpstore(self.shell.between("DUMP-BEGIN", "DUMP-END"), "Quiplex")
        self.assertIsNotNone(variable, self.shell.output[-2000:])
        self.assertEqual(variable.attributes, "NV+RT+BS")
        self.assertEqual(variable.data, RESTART_REQUEST)


if __name__ == "__main__":
    unittest.main(verbosity=2)
