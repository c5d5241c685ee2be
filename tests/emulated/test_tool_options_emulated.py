# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""The tool options and the sleep guard of quiplexlnx on a real kernel, checked by the firmware.

One machine, five starts: the UEFI Shell's setvar leaves a request and its bcfg an entry "Zarvex
UEFI" second in BootOrder; Linux reads them (--status), runs --suspend and --resume over the
request, and suspends once more; the Shell's dmpstore then shows what the boot manager would
find on the way back from a hibernation; Linux sets BootNext with --boot-next and cancels the
request; and the last start's dmpstore finds no request, and BootNext used up by the firmware. Needs QUIPLEXLNX, INODE_FLAGS and
QUIPLEX_EMULATED_DIR, like the other emulated suite.
"""

import json
import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import linux_image  # noqa: E402
import machine  # noqa: E402

ATTRIBUTES = b"\x07\x00\x00\x00"
GLOBAL_GUID = "8be4df61-93ca-11d2-aa0d-00e098032b8c"
# The entry's file: only its name matters; the firmware fails to start it and goes on.
ZARVEX_FILE = {"zarvex.efi": b"not a program"}
# OVMF's fresh boot list ends with its Shell as the fifth option; after the add it is moved
# to the top, so Zarvex UEFI is second.
MAKE_ENTRY = ['bcfg boot add 0 fs0:\\zarvex.efi "Zarvex UEFI"', "bcfg boot mv 4 0"]
PENDING = struct.pack("<I", 0xFFFF) + b"Shell Item\0x.efi\0"
SUSPENDED = struct.pack("<I", 0xFFFB) + b"Shell Item\0x.efi\0"

SLEEP_BODY = r"""
mount -t efivarfs none $EFIVARS
mkdir -p /run
run status /bin/quiplexlnx --status
run json /bin/quiplexlnx --status=json
run suspend /bin/quiplexlnx --suspend
dump suspended
run resume /bin/quiplexlnx --resume
dump resumed
run suspend-again /bin/quiplexlnx --suspend
"""

CANCEL_BODY = r"""
mount -t efivarfs none $EFIVARS
run boot-next /bin/quiplexlnx --boot-next 2/noreboot
run boot-next-json /bin/quiplexlnx --status=json
run cancel /bin/quiplexlnx --cancel
run cancel-again /bin/quiplexlnx --cancel
"""


class EmulatedToolOptions(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        folder = os.environ.get("QUIPLEX_EMULATED_DIR", "/tmp/quiplex-emulated")
        kernel, module = linux_image.fetch_kernel(os.path.join(folder, "cache"))
        programs = {"bin/quiplexlnx": os.environ["QUIPLEXLNX"],
                    "bin/inode_flags": os.environ["INODE_FLAGS"]}
        pc = machine.Machine(os.path.join(folder, "tool-options-machine"))
        pc.boot_shell(ZARVEX_FILE, [machine.shell_set_variable("ZarvexUEFI", b"Zv\1\0"),
                                    machine.shell_set_variable("Quiplex", PENDING)] + MAKE_ENTRY)
        initrd = os.path.join(folder, "tool-options-sleep.cpio.gz")
        linux_image.build_initramfs(initrd, module, programs, SLEEP_BODY)
        cls.sleep = pc.boot_kernel(kernel, initrd, timeout=300).output
        cls.after_sleep = pc.boot_shell({}, machine.shell_dump_variable("Quiplex"))
        linux_image.build_initramfs(initrd, module, programs, CANCEL_BODY)
        cls.cancel = pc.boot_kernel(kernel, initrd, timeout=300).output
        cls.after_cancel = pc.boot_shell(
            ZARVEX_FILE, machine.shell_dump_variable("Quiplex") +
            machine.shell_dump_variable("BootNext", GLOBAL_GUID, marker="NEXT"))

    def scenario(self, console, name):
        found = linux_image.scenario_output(console, name)
        self.assertIsNotNone(found, "scenario %s did not run:\n%s" % (name, console[-3000:]))
        return found

    def test_status_reads_what_the_shell_wrote(self):
        out, status = self.scenario(self.sleep, "status")
        request = ('Zarvex UEFI: found\nPending request: name "Shell Item"\n'
                   'Run file: "x.efi"\nSize: 21 bytes, attributes 0x00000007\n')
        self.assertEqual((out[:len(request)], status), (request, 0))
        out, status = self.scenario(self.sleep, "json")
        self.assertEqual(status, 0)
        self.assertEqual(json.loads(out)["request"],
                         {"code": 65535, "kind": "name", "keyword": None, "selection": "Shell Item",
                          "run_file": "x.efi", "attributes": 7, "size": 21})
        # The firmware's boot list: the Shell starts next, ahead of the bcfg entry, and
        # --status says so.
        firmware = json.loads(out)["firmware"]
        entry = firmware["boot_manager_entry"]
        self.assertEqual(firmware["entries"][entry], {"description": "Zarvex UEFI",
                                                      "active": True})
        self.assertEqual(firmware["boot_order"][1], entry)
        self.assertEqual(firmware["entries"][firmware["next"]]["description"],
                         "EFI Internal Shell")
        self.assertFalse(firmware["boot_manager_next"])
        self.assertIn('next start Boot%s "EFI Internal Shell" (BootOrder)\nWarning: the '
                      'firmware will start Boot%s "EFI Internal Shell" next, not Zarvex UEFI '
                      '(Boot%s): the request will not be read.'
                      % (firmware["next"], firmware["next"], entry),
                      self.scenario(self.sleep, "status")[0])

    def test_boot_next_is_set_and_used_up_by_the_next_start(self):
        self.assertEqual(self.scenario(self.cancel, "boot-next"), ("", 0))
        out, status = self.scenario(self.cancel, "boot-next-json")
        firmware = json.loads(out)["firmware"]
        self.assertEqual((firmware["boot_next"], firmware["next"], firmware["next_via"]),
                         (firmware["boot_manager_entry"], firmware["boot_manager_entry"],
                          "boot_next"))
        self.assertTrue(firmware["boot_manager_next"])
        dumped = self.after_cancel.between("NEXT-BEGIN", "NEXT-END")
        self.assertIsNotNone(dumped, self.after_cancel.output[-2000:])
        self.assertIsNone(machine.parse_dmpstore(dumped), "the firmware deletes BootNext")

    def test_suspend_then_resume_restores_the_exact_bytes(self):
        self.assertEqual(self.scenario(self.sleep, "suspend")[1], 0)
        self.assertEqual(linux_image.scenario_dump(self.sleep, "suspended"),
                         (ATTRIBUTES + SUSPENDED, "yes"))
        self.assertEqual(self.scenario(self.sleep, "resume")[1], 0)
        self.assertEqual(linux_image.scenario_dump(self.sleep, "resumed"),
                         (ATTRIBUTES + PENDING, "yes"))

    def test_next_start_after_a_suspend_boots_the_running_system(self):
        self.assertEqual(self.scenario(self.sleep, "suspend-again")[1], 0)
        variable = machine.parse_dmpstore(self.after_sleep.between("DUMP-BEGIN", "DUMP-END"))
        self.assertIsNotNone(variable, self.after_sleep.output[-2000:])
        self.assertEqual((variable.attributes, variable.data), ("NV+RT+BS", SUSPENDED))

    def test_cancel_leaves_no_request_for_the_next_start(self):
        self.assertEqual(self.scenario(self.cancel, "cancel"),
                         ("The pending request was cancelled.\n", 0))
        self.assertEqual(self.scenario(self.cancel, "cancel-again"), ("No request was pending.\n", 0))
        dumped = self.after_cancel.between("DUMP-BEGIN", "DUMP-END")
        self.assertIsNotNone(dumped, self.after_cancel.output[-2000:])
        self.assertIsNone(machine.parse_dmpstore(dumped))


if __name__ == "__main__":
    unittest.main(verbosity=2)
