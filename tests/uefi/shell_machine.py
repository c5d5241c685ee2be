"""Boots OVMF's built-in UEFI Shell in QEMU with a FAT disk holding a program and startup.nsh."""
import os
import re
import shutil
import subprocess
import tempfile

OVMF_CODE = "/usr/share/OVMF/OVMF_CODE_4M.fd"
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS_4M.fd"
ANSI = re.compile(r"\x1b\[[0-9;=?]*[A-Za-z]")


def kvm_usable():
    # Nested KVM here stops in OVMF's early code without exiting, so KVM is opt-in.
    return os.access("/dev/kvm", os.R_OK | os.W_OK) and os.environ.get("QUIPLEX_KVM") == "1"


class Machine:
    """One emulated machine whose firmware variable store survives between boots."""

    def __init__(self, efi_image):
        self.dir = tempfile.mkdtemp(prefix="quiplex-uefi-")
        self.efi_image = efi_image
        self.vars = os.path.join(self.dir, "vars.fd")
        shutil.copyfile(OVMF_VARS, self.vars)

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def boot(self, script, timeout=240):
        """Runs `script` as startup.nsh and gives the serial console text, escapes removed."""
        disk = os.path.join(self.dir, "disk.img")
        nsh = os.path.join(self.dir, "startup.nsh")
        with open(nsh, "w", newline="\r\n") as f:
            f.write(script)
        if os.path.exists(disk):
            os.unlink(disk)
        subprocess.run(["mformat", "-C", "-i", disk, "-T", "65536", "-h", "2", "-s", "32", "::"],
                       check=True)
        subprocess.run(["mcopy", "-i", disk, self.efi_image, nsh, "::/"], check=True)
        serial = os.path.join(self.dir, "serial.log")
        accel = ["-accel", "kvm"] if kvm_usable() else ["-accel", "tcg"]
        command = ["qemu-system-x86_64", *accel, "-m", "256", "-machine", "q35",
                   "-display", "none", "-no-reboot", "-monitor", "none", "-net", "none",
                   "-serial", "file:" + serial,
                   "-drive", "if=pflash,format=raw,readonly=on,file=" + OVMF_CODE,
                   "-drive", "if=pflash,format=raw,file=" + self.vars,
                   "-drive", "file=" + disk + ",format=raw,if=virtio"]
        result = subprocess.run(command, timeout=timeout, capture_output=True, text=True)
        with open(serial, "rb") as f:
            text = f.read().decode("latin-1")
        return ANSI.sub("", text).replace("\r", "")


def dmpstore_bytes(console, name):
    """The attributes and data bytes of `name` in dmpstore's output, or None."""
    match = re.search(r"Variable (\S+) '[0-9A-F-]+:" + re.escape(name) +
                      r"' DataSize = 0x([0-9A-F]+)\n((?:  [0-9A-F]{8}: .*\n)*)", console)
    if not match:
        return None
    data = bytearray()
    for line in match.group(3).splitlines():
        hex_part = line.split(":", 1)[1].split("*", 1)[0].replace("-", " ")
        data += bytes(int(b, 16) for b in hex_part.split())
    assert len(data) == int(match.group(2), 16), "dmpstore size and bytes disagree"
    return match.group(1), bytes(data)
