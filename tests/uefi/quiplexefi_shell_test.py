# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
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


def boot(machine, lines, files=None):
    """Runs `lines` after fs0: in the Shell, each shown after its prompt; the console text."""
    return machine.boot_shell(files or {"quiplexefi.efi": EFI_IMAGE}, lines, timeout=240,
                              echo=True).output


class OneStartTest(unittest.TestCase):
    """Scenarios that need no reset share one start of the machine, each in its own section
    of the console (the first runs before the boot manager's variable is set)."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quiplex-uefi-")
        pending = payload(0xFFFF, b"Shell Item", b"x.efi")
        cls.item_64 = "quiplexefi.efi 1 " + " ".join(["x"] * 62) + " /noreboot"
        item_200 = "quiplexefi.efi 2 " + " ".join(['""'] * 198) + " /noreboot"
        requests = [SET_PRESENCE]
        for arguments, _ in REQUESTS:
            requests += ["quiplexefi.efi " + arguments, 'echo "RC=%lasterror%"', DUMP]
        scenarios = {
            "usage": ["quiplexefi.efi", 'echo "RC=%lasterror%"', "quiplexefi.efi 2/noreboot",
                      'echo "RC=%lasterror%"', DUMP],
            "requests": requests,
            "options": [shell_set_variable("Quiplex", pending, GUID),
                        "quiplexefi.efi --version", 'echo "RC=%lasterror%"',
                        "quiplexefi.efi --status", 'echo "RC=%lasterror%"',
                        "quiplexefi.efi --dry-run=json 1/run=t.efi/noreboot",
                        'echo "RC=%lasterror%"', DUMP,
                        "quiplexefi.efi --Cancel", 'echo "RC=%lasterror%"', DUMP,
                        "quiplexefi.efi --cancel", 'echo "RC=%lasterror%"',
                        "quiplexefi.efi 2 -n", 'echo "RC=%lasterror%"',
                        cls.item_64, 'echo "RC=%lasterror%"', DUMP + " -b",
                        item_200, 'echo "RC=%lasterror%"', DUMP],
        }
        lines = []
        for name, scenario in scenarios.items():
            lines += ["echo QUIPLEX-SCENARIO-" + name] + scenario
        console = boot(Machine(cls.folder), lines + ["echo QUIPLEX-SCENARIO-end"])
        # The marker's output line, not the echoed command that shows it after the prompt.
        parts = re.split(r"^QUIPLEX-SCENARIO-(\w+)\n", console, flags=re.M)
        cls.sections = dict(zip(parts[1::2], parts[2::2]))
        cls.pending = pending

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_usage_and_missing_boot_manager(self):
        console = self.sections["usage"]
        self.assertIn("Version 1.03\n\nUsage: quiplexu bootselection", console)
        self.assertIn("  quiplex /shutdown/run=filename.extFS0:\\>", console)
        self.assertIn("Zarvex UEFI was not found.\n", console)
        self.assertEqual(results(console), ["0x3D", "0x8"])
        self.assertIsNone(dumped(console))

    def test_requests_byte_for_byte(self):
        console = self.sections["requests"]
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
        console, item_64, pending = self.sections["options"], self.item_64, self.pending
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


class ShellTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quiplex-uefi-")
        self.machine = Machine(self.folder)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def boot(self, lines, files=None):
        return boot(self.machine, lines, files)

    def test_boot_list_boot_next_and_firmware_setup(self):
        """An entry "Zarvex UEFI" made with bcfg, second in BootOrder behind the Shell: --status
        warns, --boot-next sets BootNext and the next start goes through that entry (its program
        runs before the Shell), and --firmware-setup opens OVMF's setup at the start after."""
        files = {"quiplexefi.efi": EFI_IMAGE, "zarvex.efi": EFI_IMAGE}
        console = self.boot([SET_PRESENCE, 'bcfg boot add 0 fs0:\\zarvex.efi "Zarvex UEFI"',
                             "bcfg boot mv 4 0", "bcfg boot dump", "quiplexefi.efi --status",
                             "quiplexefi.efi --dry-run=json --boot-next 3/noreboot",
                             "quiplexefi.efi --boot-next 2/noreboot", 'echo "RC=%lasterror%"',
                             "dmpstore BootNext"], files)
        zarvex = re.search(r"Add Boot([0-9A-F]{4})", console).group(1)
        shell = re.search(r"Variable: Boot([0-9A-F]{4})\s+Desc\s+- EFI Internal Shell",
                          console).group(1)
        self.assertIn('Firmware: this start Boot%s "EFI Internal Shell"; next start Boot%s "EFI '
                      'Internal Shell" (BootOrder)\nWarning: the firmware will start Boot%s "EFI '
                      'Internal Shell" next, not Zarvex UEFI (Boot%s): the request will not be '
                      'read. quiplexefi --boot-next COMMAND starts Zarvex UEFI once.\n'
                      % (shell, shell, shell, zarvex), console)
        self.assertIn('"restart":false,"force":false,"boot_next":"%s"}' % zarvex, console)
        self.assertEqual(results(console), ["0x0"])
        boot_next = parse_dmpstore(console, "BootNext")
        self.assertEqual((boot_next.attributes, boot_next.data),
                         ("NV+RT+BS", struct.pack("<H", int(zarvex, 16))))

        console = self.boot(["quiplexefi.efi --status", "dmpstore BootNext",
                             "quiplexefi.efi --firmware-setup /noreboot", "dmpstore OsIndications"],
                            files)
        # The firmware started Zarvex UEFI's entry (the program, without arguments, shows its
        # usage and returns) before BootOrder's Shell, and deleted BootNext.
        self.assertIn("Version 1.03\n\nUsage: quiplexu", console.split("UEFI Interactive Shell")[0])
        self.assertIn("next start Boot%s \"EFI Internal Shell\" (BootOrder)\nWarning:" % shell,
                      console)
        self.assertIsNone(parse_dmpstore(console, "BootNext"))
        self.assertIn("The next start opens the firmware's setup.\n", console)
        indications = parse_dmpstore(console, "OsIndications")
        self.assertEqual(indications.data[0] & 1, 1)

        setup = self.machine.boot_shell(files, ["echo SHELL-RAN"], timeout=120,
                                        stop_on=["Device Manager"]).output
        self.assertIn("Device Manager", setup)
        self.assertNotIn("SHELL-RAN", setup)

    def test_warm_reset_keeps_request(self):
        console = self.boot([SET_PRESENCE, "quiplexefi.efi /next", 'echo "NOT RESET"'])
        self.assertNotIn("NOT RESET", console.split("quiplexefi.efi /next", 1)[1])
        after = self.boot([DUMP])
        self.assertEqual(dumped(after), ("NV+RT+BS", payload(0xFFFE)))


if __name__ == "__main__":
    unittest.main(verbosity=2)
