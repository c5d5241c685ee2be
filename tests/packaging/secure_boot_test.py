# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""quiplexefi.efi under Secure Boot: OVMF's snakeoil firmware (test keys enrolled) refuses the
unsigned image and starts the one signed with sbsign, as doc/uefi-shell.md tells administrators
to do. The image is the removable-media loader \\EFI\\BOOT\\BOOTX64.EFI, since this firmware
refuses its own UEFI Shell; started with no arguments it prints its usage text. Run under the
emulator lock.
Usage: secure_boot_test.py QUIPLEXEFI_EFI
"""

import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "emulated"))
import machine  # noqa: E402

IMAGE = sys.argv.pop(1) if len(sys.argv) > 1 else os.environ.get("QUIPLEX_EFI_IMAGE", "")
KEY = "/usr/share/ovmf/PkKek-1-snakeoil.key"
CERT = "/usr/share/ovmf/PkKek-1-snakeoil.pem"
PASSPHRASE = "snakeoil"
USAGE_START = "Version 1.03"
REFUSED = re.compile(r"failed to load Boot\w+ .*: Access Denied")
# What the firmware prints once it has nothing left to try.
NOTHING_LEFT = "No bootable option or device was found"


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, **options)


def boot(folder, loader):
    """Serial console text of one start from a disk whose removable-media loader is `loader`;
    the firmware waits for a key once every boot option has failed, so that text ends it."""
    pc = machine.Machine(os.path.join(folder, "machine"), memory_mb=256, secure_boot=True)
    return pc.boot_removable(loader, stop_on=(NOTHING_LEFT, "filename.ext"), timeout=240).output


class SecureBoot(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        folder = cls.folder.name
        # sbsign reads a passphrase only from a terminal, so the test key is decrypted first.
        key = os.path.join(folder, "db.key")
        run("openssl", "pkey", "-in", KEY, "-passin", "pass:" + PASSPHRASE, "-out", key)
        cls.signed = os.path.join(folder, "quiplexefi.signed.efi")
        run("sbsign", "--key", key, "--cert", CERT, "--output", cls.signed, IMAGE)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_unsigned_image_is_refused(self):
        console = boot(self.folder.name, IMAGE)
        self.assertRegex(console, REFUSED, console[-3000:])
        self.assertNotIn(USAGE_START, console)

    def test_signed_image_starts_and_prints_its_usage(self):
        console = boot(self.folder.name, self.signed)
        self.assertNotRegex(console, REFUSED)
        self.assertIn(USAGE_START + "\n", console, console[-3000:])
        self.assertIn("Usage: quiplexu bootselection", console)


if __name__ == "__main__":
    if not os.path.isfile(IMAGE):
        sys.exit("usage: secure_boot_test.py QUIPLEXEFI_EFI")
    unittest.main(verbosity=2)
