# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""The emulated UEFI PC (QEMU q35 + OVMF) for both end-to-end suites, the demo and the benchmark.

A Machine owns a folder with its own copy of OVMF's variable store, which survives its resets
and is reused by every boot of that Machine, so a later boot sees what an earlier one wrote.
Every boot runs QEMU with -no-reboot: any reset ends QEMU, which makes a restart observable and
keeps a scenario from looping.

    m = Machine(folder)
    r = m.boot_shell({"quiplexefi.efi": path}, ["quiplexefi.efi 1/noreboot", ...])
    r.output, r.ended                 # serial console text; True when the machine ended itself
    m.boot_kernel(vmlinuz, initrd)    # a Linux kernel (and initramfs) through OVMF's EFI stub

boot_shell() writes the files and a startup.nsh (`fs0:`, the given lines, then a power-off) to a
FAT disk. Helpers: shell_set_variable() gives the setvar line for any bytes, shell_dump_variable()
the dmpstore lines, parse_dmpstore() reads dmpstore's answer back into a Variable.

Switches: QUIPLEX_QEMU_KVM=1 lets QEMU use KVM when /dev/kvm opens (the default is software
emulation: nested KVM on these hosts stops in OVMF's early code). Each QEMU run holds
fcntl.flock on /tmp/quiplex-emulator.lock, so two emulators never run at once, also when two
suites run side by side; a run started under `flock /tmp/quiplex-emulator.lock ...` uses the
lock its ancestor already holds.
"""

import collections
import contextlib
import fcntl
import os
import re
import shutil
import subprocess
import tempfile
import threading
import time

OVMF_CODE = "/usr/share/OVMF/OVMF_CODE_4M.fd"
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS_4M.fd"
# Debian's Secure Boot build with test keys enrolled; it needs SMM and refuses its own Shell.
OVMF_SECURE_CODE = "/usr/share/OVMF/OVMF_CODE_4M.snakeoil.fd"
OVMF_SECURE_VARS = "/usr/share/OVMF/OVMF_VARS_4M.snakeoil.fd"
VENDOR_GUID = "81686ef9-7f6f-42e3-9371-696de9bf6299"
EMULATOR_LOCK = "/tmp/quiplex-emulator.lock"
# Printed by our startup.nsh when it has run to its end; the shell then shuts the machine down.
SHELL_DONE = "QUIPLEX-SHELL-DONE"
ANSI = re.compile(r"\x1b\[[0-9;?=]*[A-Za-z]")

Variable = collections.namedtuple("Variable", "name attributes data")


def kvm_usable():
    """KVM only when asked for with QUIPLEX_QEMU_KVM=1 and /dev/kvm opens."""
    if os.environ.get("QUIPLEX_QEMU_KVM") != "1":
        return False
    try:
        fd = os.open("/dev/kvm", os.O_RDWR)
    except OSError:
        return False
    os.close(fd)
    return True


def _ancestors():
    pids, pid = set(), os.getpid()
    while pid > 1:
        try:
            with open("/proc/%d/stat" % pid) as f:
                pid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, ValueError, IndexError):
            break
        pids.add(pid)
    return pids


def _lock_held_by_ancestor(fd):
    """True when an ancestor process (e.g. flock(1) around ctest) holds the lock on fd's file."""
    st = os.fstat(fd)
    key = "%02x:%02x:%d" % (os.major(st.st_dev), os.minor(st.st_dev), st.st_ino)
    try:
        with open("/proc/locks") as f:
            holders = [line.split() for line in f if "->" not in line]
    except OSError:
        return False
    ancestors = _ancestors()
    return any(len(h) > 5 and h[1] == "FLOCK" and h[5] == key and h[4].isdigit()
               and int(h[4]) in ancestors for h in holders)


@contextlib.contextmanager
def emulator_lock():
    """Holds the machine-wide emulator lock for the duration of one QEMU run."""
    fd = os.open(EMULATOR_LOCK, os.O_RDWR | os.O_CREAT, 0o666)
    try:
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            # Taking it again would wait for ourselves forever.
            if not _lock_held_by_ancestor(fd):
                fcntl.flock(fd, fcntl.LOCK_EX)
        yield
    finally:
        os.close(fd)


class BootResult:
    def __init__(self, output, ended, seconds):
        self.output = output        # serial console text, ANSI sequences and CRs removed
        self.ended = ended          # QEMU ended by itself (a reset or power-off), not by time-out
        self.seconds = seconds

    def between(self, start, end):
        """The console text between two marker lines (exclusive), or None."""
        m = re.search(re.escape(start) + r"\n(.*?)" + re.escape(end), self.output, re.S)
        return m.group(1) if m else None


def fat_image(path, files, startup_lines=None):
    """A 16 MiB FAT disk holding `files` (name -> source path or bytes) and a startup.nsh."""
    if os.path.exists(path):
        os.unlink(path)
    subprocess.run(["mkfs.vfat", "-C", path, "16384"], check=True, capture_output=True)
    with tempfile.TemporaryDirectory() as staging:
        items = dict(files)
        if startup_lines is not None:
            items["startup.nsh"] = ("\r\n".join(startup_lines) + "\r\n").encode()
        for name, content in items.items():
            folders = name.split("/")[:-1]
            for depth in range(1, len(folders) + 1):
                subprocess.run(["mmd", "-D", "s", "-i", path, "::" + "/".join(folders[:depth])],
                               capture_output=True, env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))
            source = content
            if isinstance(content, (bytes, bytearray)):
                source = os.path.join(staging, name.replace("/", "_"))
                with open(source, "wb") as f:
                    f.write(content)
            subprocess.run(["mcopy", "-o", "-i", path, source, "::" + name], check=True,
                           capture_output=True, env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))


def shell_set_variable(name, data, guid=VENDOR_GUID, attributes="-nv -bs -rt"):
    """A UEFI Shell line that sets variable `name` to the bytes `data` (NV+BS+RT by default)."""
    return "setvar %s -guid %s %s =%s" % (name, guid, attributes, bytes(data).hex().upper())


def shell_dump_variable(name, guid=VENDOR_GUID, marker="DUMP"):
    """Shell lines that print `name` between two marker lines, for parse_dmpstore()."""
    return ["echo %s-BEGIN" % marker, "dmpstore %s -guid %s" % (name, guid), "echo %s-END" % marker]


def parse_dmpstore(text, name=None):
    """The first variable (named `name`, if given) in dmpstore output as a Variable; None if
    there is none. dmpstore prints a header line, then 16 bytes a line, an ASCII column after
    a '*'."""
    if text is None:
        return None
    wanted = re.escape(name) if name is not None else r"[^']+"
    # The GUID is printed as text, or by its name for the firmware's own ("EFIGlobalVariable").
    head = re.search(r"Variable (\S+) '[0-9A-Za-z-]+:(%s)' DataSize = 0x([0-9A-Fa-f]+)\n"
                     r"((?:[ \t]*[0-9A-Fa-f]{8}: .*\n?)*)" % wanted, text)
    if head is None:
        return None
    data = bytearray()
    for line in head.group(4).splitlines():
        data += bytes.fromhex(line.split(":", 1)[1].split("*", 1)[0].replace("-", " "))
    if len(data) != int(head.group(3), 16):
        raise AssertionError("dmpstore size and bytes disagree: " + head.group(0))
    return Variable(head.group(2), head.group(1), bytes(data))


class Machine:
    def __init__(self, folder, memory_mb=512, secure_boot=False):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.secure_boot = secure_boot
        self.code = OVMF_SECURE_CODE if secure_boot else OVMF_CODE
        self.vars = os.path.join(folder, "vars.fd")
        shutil.copyfile(OVMF_SECURE_VARS if secure_boot else OVMF_VARS, self.vars)
        self.memory_mb = memory_mb
        self.disk = os.path.join(folder, "disk.img")

    def _command(self, extra):
        command = ["qemu-system-x86_64", "-machine", "q35,smm=on" if self.secure_boot else "q35",
                   "-m", str(self.memory_mb),
                   "-display", "none", "-serial", "stdio", "-monitor", "none",
                   "-no-reboot", "-net", "none",
                   "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + self.code,
                   "-drive", "if=pflash,format=raw,unit=1,file=" + self.vars]
        if self.secure_boot:
            # Only SMM may write the variable store, as on a real machine with Secure Boot.
            command += ["-global", "driver=cfi.pflash01,property=secure,value=on",
                        "-global", "ICH9-LPC.disable_s3=1"]
        command += ["-accel", "kvm" if kvm_usable() else "tcg"]
        return command + extra

    def _run(self, extra, timeout, press_key_on=None, stop_on=()):
        with emulator_lock():
            return self._run_locked(extra, timeout, press_key_on, stop_on)

    def _run_locked(self, extra, timeout, press_key_on, stop_on):
        """Runs QEMU until it ends, `timeout` seconds pass or a text of `stop_on` shows on the
        console; presses a key once when the text `press_key_on` shows."""
        started = time.monotonic()
        process = subprocess.Popen(self._command(extra), stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        chunks = []

        def reader():
            for block in iter(lambda: process.stdout.read1(4096), b""):
                chunks.append(block)
        thread = threading.Thread(target=reader, daemon=True)
        thread.start()
        ended = False
        pressed = press_key_on is None
        while time.monotonic() - started < timeout:
            if process.poll() is not None:
                ended = True
                break
            if stop_on and any(text.encode() in b"".join(chunks) for text in stop_on):
                break
            if not pressed and press_key_on.encode() in b"".join(chunks):
                try:
                    process.stdin.write(b" ")
                    process.stdin.flush()
                except OSError:
                    pass
                pressed = True
            time.sleep(0.1)
        if not ended:
            process.kill()
        process.wait()
        thread.join(timeout=5)
        process.stdin.close()
        process.stdout.close()
        output = b"".join(chunks).decode("latin-1")
        # The shell draws with ANSI sequences and ends lines with CR LF; tests read plain lines.
        output = ANSI.sub("", output).replace("\r", "")
        return BootResult(output, ended, time.monotonic() - started)

    def boot_shell(self, files, lines, timeout=180, echo=False, stop_on=()):
        """Boots into OVMF's UEFI Shell with a disk holding `files` and a startup.nsh that runs
        `fs0:`, then `lines`, then shuts the machine down. With `echo` the shell shows each
        line after its prompt (`FS0:\\> line`) before running it. A text of `stop_on` on the
        console ends the run early (a firmware screen that waits for a key, say)."""
        script = ([] if echo else ["@echo -off"]) + ["fs0:"] + list(lines)
        script += ["echo " + SHELL_DONE, "reset -s"]
        fat_image(self.disk, files, script)
        # Any key but Esc skips the shell's 5-second countdown before startup.nsh.
        return self._run(["-drive", "file=%s,format=raw,if=virtio" % self.disk], timeout,
                         press_key_on="seconds to skip", stop_on=stop_on)

    def boot_kernel(self, kernel, initrd, append="console=ttyS0 quiet panic=-1", timeout=180,
                    disks=()):
        """Boots a Linux kernel with an initramfs through OVMF's EFI stub, with `disks` (raw
        images) as virtio disks; it ends with a reboot or a power-off."""
        extra = ["-kernel", kernel, "-initrd", initrd, "-append", append]
        for disk in disks:
            extra += ["-drive", "file=%s,format=raw,if=virtio" % disk]
        return self._run(extra, timeout)

    def boot_removable(self, loader, stop_on, timeout=180):
        """Starts from a disk whose removable-media loader (\\EFI\\BOOT\\BOOTX64.EFI) is the
        file `loader`, until a text of `stop_on` shows (or QEMU ends, or `timeout` passes)."""
        fat_image(self.disk, {"EFI/BOOT/BOOTX64.EFI": loader})
        return self._run(["-drive", "file=%s,format=raw,if=virtio" % self.disk], timeout,
                         stop_on=stop_on)
