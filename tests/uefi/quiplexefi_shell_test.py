"""quiplexefi.efi end to end in the emulated machine's UEFI Shell, checked with dmpstore."""
import os
import re
import shutil
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "emulated"))
from machine import Machine, parse_dmpstore, shell_set_variable  # noqa: E402

GUID = "81686ef9-7f6f-42e3-9371-696de9bf6299"
EFI_IMAGE = sys.argv.pop(1) if len(sys.argv) > 1 else "quiplexefi.efi"
SET_PRESENCE = shell_set_variable("ZarvexUEFI", bytes([1, 2, 3, 4]), GUID)
DUMP = "dmpstore Quiplex -guid %s" % GUID


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


def dumped(console):
    """Attributes and bytes of "Quiplex" in dmpstore's output, or None."""
    variable = parse_dmpstore(console, "Quiplex")
    return None if variable is None else (variable.attributes, variable.data)


class ShellTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quiplex-uefi-")
        self.machine = Machine(self.folder)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def boot(self, lines):
        """Runs `lines` after fs0: in the Shell, each shown after its prompt; the console text."""
        return self.machine.boot_shell({"quiplexefi.efi": EFI_IMAGE}, lines, timeout=240,
                                       echo=True).output

    def test_usage_and_missing_boot_manager(self):
        console = self.boot(["quiplexefi.efi", 'echo "RC=%lasterror%"',
                             "quiplexefi.efi 2/noreboot", 'echo "RC=%lasterror%"', DUMP])
        self.assertIn("Version 1.03\n\nUsage: quiplexu bootselection", console)
        self.assertIn("  quiplex /shutdown/run=filename.extFS0:\\>", console)
        self.assertIn("Zarvex UEFI was not found.\n", console)
        self.assertEqual(results(console), ["0x3D", "0x8"])
        self.assertIsNone(dumped(console))

    def test_requests_byte_for_byte(self):
        lines = [SET_PRESENCE]
        for arguments, _ in REQUESTS:
            lines += ["quiplexefi.efi " + arguments, 'echo "RC=%lasterror%"', DUMP]
        console = self.boot(lines)
        self.assertEqual(results(console), ["0x0"] * len(REQUESTS))
        dumps = re.split(r"FS0:\\> quiplexefi\.efi ", console)[1:]
        self.assertEqual(len(dumps), len(REQUESTS))
        for (arguments, expected), section in zip(REQUESTS, dumps):
            with self.subTest(arguments=arguments):
                found = dumped(section)
                self.assertIsNotNone(found)
                self.assertEqual(found, ("NV+RT+BS", expected))
        self.assertEqual(len(REQUESTS[-1][1]), 119)

    def test_tool_options_and_every_argument(self):
        pending = payload(0xFFFF, b"Shell Item", b"x.efi")
        item_64 = "quiplexefi.efi 1 " + " ".join(["x"] * 62) + " /noreboot"
        item_200 = "quiplexefi.efi 2 " + " ".join(['""'] * 198) + " /noreboot"
        console = self.boot([SET_PRESENCE, shell_set_variable("Quiplex", pending, GUID),
                             "quiplexefi.efi --version", 'echo "RC=%lasterror%"',
                             "quiplexefi.efi --status", 'echo "RC=%lasterror%"',
                             "quiplexefi.efi --dry-run=json 1/run=t.efi/noreboot",
                             'echo "RC=%lasterror%"', DUMP,
                             "quiplexefi.efi --Cancel", 'echo "RC=%lasterror%"', DUMP,
                             "quiplexefi.efi --cancel", 'echo "RC=%lasterror%"',
                             "quiplexefi.efi 2 -n", 'echo "RC=%lasterror%"',
                             item_64, 'echo "RC=%lasterror%"', DUMP + " -b",
                             item_200, 'echo "RC=%lasterror%"', DUMP])
        self.assertIn("quiplexefi.efi --version\nquiplexefi 1.03\n", console)
        self.assertIn("Zarvex UEFI: found\nPending request: name \"Shell Item\"\n"
                      'Run file: "x.efi"\nSize: 21 bytes, attributes 0x00000007\n', console)
        self.assertIn('{"status":0,"request":{"code":1,"kind":"item","keyword":null,"selection":"",'
                      '"run_file":"t.efi","attributes":7,"size":11},"restart":false,'
                      '"force":false}\n', console)
        self.assertEqual(dumped(console.split("--dry-run=json")[1].split("--Cancel")[0]),
                         ("NV+RT+BS", pending))
        self.assertIn("The pending request was cancelled.\n", console)
        self.assertIn("No request was pending.\n", console)
        # Both long commands end without a reset: /noreboot was seen as the 64th and 200th word.
        self.assertEqual(results(console),
                         ["0x0", "0x0", "0x0", "0x0", "0x0", "0x3D", "0x0", "0x0"])
        sections = console.split(item_64)
        self.assertIsNone(dumped(sections[0].split("--Cancel")[1]))
        self.assertEqual(dumped(sections[1].split("quiplexefi.efi 2 ")[0]),
                         ("NV+RT+BS", payload(0xFFFF, b"1 " + b"x " * 24)[:4] +
                          (b"1 " + b"x " * 24).strip() + b"\0\0"))
        self.assertEqual(dumped(console.rsplit("/noreboot", 1)[1]), ("NV+RT+BS", payload(2)))

    def test_warm_reset_keeps_request(self):
        console = self.boot([SET_PRESENCE, "quiplexefi.efi /next", 'echo "NOT RESET"'])
        self.assertNotIn("NOT RESET", console.split("quiplexefi.efi /next", 1)[1])
        after = self.boot([DUMP])
        self.assertEqual(dumped(after), ("NV+RT+BS", payload(0xFFFE)))


if __name__ == "__main__":
    unittest.main(verbosity=2)
