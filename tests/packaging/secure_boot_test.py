"""quiplexefi.efi under Secure Boot: OVMF's snakeoil firmware (test keys enrolled) refuses the
unsigned image and starts the one signed with sbsign, as the README tells administrators to do.
The image is the removable-media loader \\EFI\\BOOT\\BOOTX64.EFI, since this firmware refuses its
own UEFI Shell; started with no arguments it prints its usage text. Run under the emulator lock.
Usage: secure_boot_test.py QUIPLEXEFI_EFI
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

IMAGE = sys.argv.pop(1) if len(sys.argv) > 1 else os.environ.get("QUIPLEX_EFI_IMAGE", "")
OVMF_CODE = "/usr/share/OVMF/OVMF_CODE_4M.snakeoil.fd"
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS_4M.snakeoil.fd"
KEY = "/usr/share/ovmf/PkKek-1-snakeoil.key"
CERT = "/usr/share/ovmf/PkKek-1-snakeoil.pem"
PASSPHRASE = "snakeoil"
USAGE_START = "Version 1.03"
REFUSED = re.compile(r"failed to load Boot\w+ .*: Access Denied")
# What the firmware prints once it has nothing left to try.
NOTHING_LEFT = "No bootable option or device was found"


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, **options)


def boot(folder, loader, timeout=240):
    """Serial console text of one start from a disk whose removable-media loader is `loader`."""
    disk = os.path.join(folder, "disk.img")
    if os.path.exists(disk):
        os.unlink(disk)
    tools = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    run("mkfs.vfat", "-C", disk, "16384")
    run("mmd", "-i", disk, "::EFI", "::EFI/BOOT", env=tools)
    run("mcopy", "-i", disk, loader, "::EFI/BOOT/BOOTX64.EFI", env=tools)
    variables = os.path.join(folder, "vars.fd")
    shutil.copyfile(OVMF_VARS, variables)
    command = ["qemu-system-x86_64", "-machine", "q35,smm=on", "-m", "256",
               "-global", "driver=cfi.pflash01,property=secure,value=on",
               "-global", "ICH9-LPC.disable_s3=1",
               "-display", "none", "-serial", "stdio", "-monitor", "none",
               "-no-reboot", "-net", "none",
               "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + OVMF_CODE,
               "-drive", "if=pflash,format=raw,unit=1,file=" + variables,
               "-drive", "file=%s,format=raw,if=virtio" % disk]
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT)
    chunks = []
    thread = threading.Thread(target=lambda: chunks.extend(
        iter(lambda: process.stdout.read1(4096), b"")), daemon=True)
    thread.start()
    started = time.monotonic()
    # The firmware waits for a key once every boot option has failed: stop at that point.
    while process.poll() is None and time.monotonic() - started < timeout:
        text = b"".join(chunks).decode("latin-1")
        if NOTHING_LEFT in text or USAGE_START in text and text.rstrip().endswith("filename.ext"):
            break
        time.sleep(0.2)
    process.kill()
    process.wait()
    thread.join(timeout=5)
    process.stdout.close()
    text = b"".join(chunks).decode("latin-1")
    return re.sub(r"\x1b\[[0-9;?=]*[A-Za-z]", "", text).replace("\r", "")


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
