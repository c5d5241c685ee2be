# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""A real hibernation of the emulated PC with the sleep hook around it.

Linux leaves a request for item 2, runs the hook's `pre hibernate`, and hibernates to a swap
disk, which powers the machine off. The UEFI Shell then finds the request reading /Current, as
the boot manager would on the way back. The next start of the same kernel resumes the saved
image from the swap disk; the hibernated /init goes on with the hook's `post hibernate`, and the
request for item 2 is back. Needs QUIPLEXLNX, INODE_FLAGS, QUIPLEX_SLEEP_HOOK (the hook the build
made for /bin/quiplexlnx) and QUIPLEX_EMULATED_DIR.
"""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import linux_image  # noqa: E402
import machine  # noqa: E402

ATTRIBUTES = b"\x07\x00\x00\x00"
ITEM_2 = bytes([2, 0, 0, 0, 0, 0])
VIRTIO_MODULES = ("virtio_ring", "virtio", "virtio_pci_modern_dev", "virtio_pci_legacy_dev",
                  "virtio_pci", "virtio_blk")

INIT_BODY = r"""
for module in %(modules)s; do insmod /lib/$module.ko; done
i=0; while [ ! -e /sys/block/vda/dev ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
# On the start after the hibernation the kernel restores the image here and /init goes on
# after its "echo disk" below; on the first start there is no image and this returns.
cat /sys/block/vda/dev > /sys/power/resume
mount -t efivarfs none $EFIVARS
mkdir -p /run
echo QUIPLEX-FIRST-START
run request /bin/quiplexlnx 2/noreboot
swapon /dev/vda
run hook-pre /lib/quiplex-sleep-hook pre hibernate
dump before-sleep
echo shutdown > /sys/power/disk
echo disk > /sys/power/state || echo QUIPLEX-HIBERNATION-FAILED
echo QUIPLEX-RESUMED
run hook-post /lib/quiplex-sleep-hook post hibernate
dump after-resume
""" % {"modules": " ".join(VIRTIO_MODULES)}


class EmulatedHibernation(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        folder = os.environ.get("QUIPLEX_EMULATED_DIR", "/tmp/quiplex-emulated")
        kernel, module = linux_image.fetch_kernel(os.path.join(folder, "cache"))
        modules = os.path.dirname(os.path.dirname(os.path.dirname(module)))
        # Made by the build from linux/sleep-hook.sh.in, naming /bin/quiplexlnx.
        hook = os.environ["QUIPLEX_SLEEP_HOOK"]
        programs = {"bin/quiplexlnx": os.environ["QUIPLEXLNX"],
                    "bin/inode_flags": os.environ["INODE_FLAGS"], "lib/quiplex-sleep-hook": hook}
        for name in VIRTIO_MODULES:
            found = subprocess.run(["find", modules, "-name", name + ".ko*"], check=True,
                                   capture_output=True, text=True).stdout.split()
            programs["lib/%s.ko" % name] = found[0]
        initrd = os.path.join(folder, "hibernation.cpio.gz")
        linux_image.build_initramfs(initrd, module, programs, INIT_BODY)
        swap = os.path.join(folder, "hibernation-swap.img")
        subprocess.run(["truncate", "-s", "0", swap], check=True)
        subprocess.run(["truncate", "-s", "512M", swap], check=True)
        subprocess.run(["mkswap", swap], check=True, capture_output=True)

        pc = machine.Machine(os.path.join(folder, "hibernation-machine"))
        pc.boot_shell({}, [machine.shell_set_variable("ZarvexUEFI", b"Zv\1\0")])
        cls.first = pc.boot_kernel(kernel, initrd, timeout=400, disks=[swap])
        cls.asleep = pc.boot_shell({}, machine.shell_dump_variable("Quiplex"))
        cls.resumed = pc.boot_kernel(kernel, initrd, timeout=400, disks=[swap])

    def test_hibernation_powers_off_after_the_hook(self):
        console = self.first.output
        self.assertEqual(linux_image.scenario_output(console, "hook-pre"),
                         ("The pending request was saved; until --resume it reads /Current.\n", 0),
                         console[-3000:])
        self.assertEqual(linux_image.scenario_dump(console, "before-sleep"),
                         (ATTRIBUTES + bytes([0xFB, 0xFF, 0, 0, 0, 0]), "yes"))
        self.assertNotIn("QUIPLEX-RESUMED", console)
        self.assertTrue(self.first.ended, "the hibernation powers the machine off")

    def test_boot_manager_sees_the_running_system_while_hibernated(self):
        variable = machine.parse_dmpstore(self.asleep.between("DUMP-BEGIN", "DUMP-END"))
        self.assertIsNotNone(variable, self.asleep.output[-2000:])
        self.assertEqual(variable.data, bytes([0xFB, 0xFF, 0, 0, 0, 0]))

    def test_resume_puts_the_request_back(self):
        console = self.resumed.output
        self.assertNotIn("QUIPLEX-FIRST-START", console, console[-3000:])
        self.assertIn("QUIPLEX-RESUMED", console, console[-3000:])
        self.assertEqual(linux_image.scenario_output(console, "hook-post"),
                         ("The saved request was put back.\n", 0))
        self.assertEqual(linux_image.scenario_dump(console, "after-resume"),
                         (ATTRIBUTES + ITEM_2, "yes"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
