"""The emulated UEFI PC: QEMU (q35) with OVMF, for the end-to-end tests, the demo and the benchmark.

A Machine owns a folder with its own copy of OVMF's variable store, which survives its resets
and is reused by every boot of that Machine, so a later boot sees what an earlier one wrote.
Every boot runs QEMU with -no-reboot: any reset ends QEMU, which makes a restart observable and
keeps a scenario from looping.

    m = Machine(folder)
    r = m.boot_shell({"quiplexefi.efi": path}, ["fs0:", "quiplexefi.efi 1/noreboot", ...])
    r.output, r.ended                 # serial console text; True when the machine reset itself
    m.boot_kernel(vmlinuz, initrd)    # a Linux kernel through OVMF's EFI stub

Helpers: shell_set_variable() and shell_dump_variable() give UEFI Shell lines for setvar and
dmpstore; parse_dmpstore() reads dmpstore's answer back into attributes and bytes;
fat_image() builds a FAT disk; kvm_usable() tells whether QEMU may use KVM here.
"""

import os
import re
import shutil
import subprocess
import tempfile
import threading
import time

OVMF_CODE = "/usr/share/OVMF/OVMF_CODE_4M.fd"
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS_4M.fd"
VENDOR_GUID = "81686ef9-7f6f-42e3-9371-696de9bf6299"
# Printed by our startup.nsh when it has run to its end; the shell then shuts the machine down.
SHELL_DONE = "QUIPLEX-SHELL-DONE"


def kvm_usable():
    """KVM only when asked for (QUIPLEX_QEMU_KVM=1): nested KVM on these hosts lacks CPU
    features OVMF needs, and software emulation is fast enough."""
    if os.environ.get("QUIPLEX_QEMU_KVM") != "1":
        return False
    try:
        fd = os.open("/dev/kvm", os.O_RDWR)
    except OSError:
        return False
    os.close(fd)
    return True


class BootResult:
    def __init__(self, output, ended, seconds):
        self.output = output
        self.ended = ended          # QEMU ended by itself (a reset or power-off), not by time-out
        self.seconds = seconds

    def between(self, start, end):
        """The console text between two marker lines (exclusive), or None."""
        m = re.search(re.escape(start) + r"\r?\n(.*?)" + re.escape(end), self.output, re.S)
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
            source = content
            if isinstance(content, (bytes, bytearray)):
                source = os.path.join(staging, name.replace("/", "_"))
                with open(source, "wb") as f:
                    f.write(content)
            subprocess.run(["mcopy", "-o", "-i", path, source, "::" + name], check=True,
                           capture_output=True, env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))


def shell_set_variable(name, data, guid=VENDOR_GUID):
    """A UEFI Shell line that sets a non-volatile BS+RT variable to `data`."""
    return "setvar %s -guid %s -nv -bs -rt =%s" % (name, guid, data.hex().upper())


def shell_dump_variable(name, guid=VENDOR_GUID, marker="DUMP"):
    """Shell lines that print `name` between two marker lines, for parse_dmpstore()."""
    return ["echo %s-BEGIN" % marker, "dmpstore %s -guid %s" % (name, guid), "echo %s-END" % marker]


def parse_dmpstore(text):
    """Attributes text and data bytes of the one variable in dmpstore output; None if absent."""
    if text is None:
        return None
    head = re.search(r"Variable (\S+) '[^']*:([^']+)' DataSize = 0x([0-9A-Fa-f]+)", text)
    if head is None:
        return None
    size = int(head.group(3), 16)
    data = bytearray()
    for m in re.finditer(r"^\s*[0-9A-Fa-f]{8}: ((?:[0-9A-Fa-f]{2}[ -]{1,2}){1,16})", text[head.end():], re.M):
        data += bytes.fromhex(m.group(1).replace("-", " "))
    return {"attributes": head.group(1), "name": head.group(2), "data": bytes(data[:size])}


class Machine:
    def __init__(self, folder, memory_mb=512):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.vars = os.path.join(folder, "vars.fd")
        shutil.copyfile(OVMF_VARS, self.vars)
        self.memory_mb = memory_mb
        self.disk = os.path.join(folder, "disk.img")

    def _command(self, extra):
        command = ["qemu-system-x86_64", "-machine", "q35", "-m", str(self.memory_mb),
                   "-display", "none", "-serial", "stdio", "-monitor", "none",
                   "-no-reboot", "-net", "none",
                   "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + OVMF_CODE,
                   "-drive", "if=pflash,format=raw,unit=1,file=" + self.vars]
        if kvm_usable():
            command += ["-accel", "kvm"]
        return command + extra

    def _run(self, extra, timeout, press_key_on=None):
        """Runs QEMU until it ends or `timeout` seconds pass; presses a key once when the text
        `press_key_on` shows on the console."""
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
        # The shell draws with ANSI sequences; drop them so tests read plain text.
        output = re.sub(r"\x1b\[[0-9;?=]*[A-Za-z]", "", output)
        return BootResult(output, ended, time.monotonic() - started)

    def boot_shell(self, files, lines, timeout=120):
        """Boots into OVMF's UEFI Shell with a disk holding `files` and a startup.nsh of `lines`
        (preceded by `fs0:`); the script ends by shutting the machine down."""
        script = ["@echo -off", "fs0:"] + list(lines) + ["echo " + SHELL_DONE, "reset -s"]
        fat_image(self.disk, files, script)
        # Any key but Esc skips the shell's 5-second countdown before startup.nsh.
        return self._run(["-drive", "file=%s,format=raw,if=virtio" % self.disk], timeout,
                         press_key_on="seconds to skip")

    def boot_kernel(self, kernel, initrd, append="console=ttyS0 quiet panic=-1", timeout=120):
        """Boots a Linux kernel through OVMF's EFI stub; it ends with a reboot or a power-off."""
        return self._run(["-kernel", kernel, "-initrd", initrd, "-append", append], timeout)
