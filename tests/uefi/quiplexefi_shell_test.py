"""quiplexefi.efi end to end in the emulated machine's UEFI Shell, checked with dmpstore."""
import re
import struct
import sys
import unittest

from shell_machine import Machine, dmpstore_bytes

GUID = "81686ef9-7f6f-42e3-9371-696de9bf6299"
EFI_IMAGE = sys.argv.pop(1) if len(sys.argv) > 1 else "quiplexefi.efi"
SET_PRESENCE = "setvar ZarvexUEFI -guid %s -nv -bs -rt =01020304\n" % GUID
DUMP = "dmpstore Quiplex -guid %s\n" % GUID


def payload(code, text=b"", run=b""):
    return struct.pack("<I", code) + text + b"\0" + run + b"\0"


NAME_50 = b"N" * 50
RUN_63 = b"r" * 63

# (arguments as typed in the Shell, expected bytes of "Quiplex")
REQUESTS = [
    ("3/noreboot", payload(3)),
    ("/current/noreboot", payload(0xFFFB)),
    ('"My Item/noreboot"', payload(0xFFFF, b"My Item")),
    ("1/run=a.efi /noreboot", payload(1, b"", b"a.efi ")),
    ("%s/run=%s/noreboot" % (NAME_50.decode(), RUN_63.decode()), payload(0xFFFF, NAME_50, RUN_63)),
]


def results(console):
    return re.findall(r"^RC=(0x[0-9A-F]+)$", console, re.M)


class ShellTest(unittest.TestCase):
    def setUp(self):
        self.machine = Machine(EFI_IMAGE)

    def tearDown(self):
        self.machine.close()

    def test_usage_and_missing_boot_manager(self):
        console = self.machine.boot("fs0:\nquiplexefi.efi\necho \"RC=%lasterror%\"\n"
                                    "quiplexefi.efi 2/noreboot\necho \"RC=%lasterror%\"\n"
                                    + DUMP + "reset -s\n")
        self.assertIn("Version 1.03\n\nUsage: quiplexu bootselection", console)
        self.assertIn("  quiplex /shutdown/run=filename.extFS0:\\>", console)
        self.assertIn("Zarvex UEFI was not found.\n", console)
        self.assertEqual(results(console), ["0x3D", "0x8"])
        self.assertIsNone(dmpstore_bytes(console, "Quiplex"))

    def test_requests_byte_for_byte(self):
        script = "fs0:\n" + SET_PRESENCE
        for arguments, _ in REQUESTS:
            script += "quiplexefi.efi %s\necho \"RC=%%lasterror%%\"\n%s" % (arguments, DUMP)
        console = self.machine.boot(script + "reset -s\n")
        self.assertEqual(results(console), ["0x0"] * len(REQUESTS))
        dumps = re.split(r"FS0:\\> quiplexefi\.efi ", console)[1:]
        self.assertEqual(len(dumps), len(REQUESTS))
        for (arguments, expected), section in zip(REQUESTS, dumps):
            with self.subTest(arguments=arguments):
                found = dmpstore_bytes(section, "Quiplex")
                self.assertIsNotNone(found)
                self.assertEqual(found, ("NV+RT+BS", expected))
        self.assertEqual(len(REQUESTS[-1][1]), 119)

    def test_warm_reset_keeps_request(self):
        console = self.machine.boot("fs0:\n" + SET_PRESENCE + "quiplexefi.efi /next\n"
                                    "echo \"NOT RESET\"\nreset -s\n")
        self.assertNotIn("NOT RESET", console.split("quiplexefi.efi /next", 1)[1])
        after = self.machine.boot("fs0:\n" + DUMP + "reset -s\n")
        self.assertEqual(dmpstore_bytes(after, "Quiplex"), ("NV+RT+BS", payload(0xFFFE)))


if __name__ == "__main__":
    unittest.main(verbosity=2)
