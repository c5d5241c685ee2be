# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""A Debian kernel and an initramfs around the built quiplexlnx, for the emulated UEFI PC.

fetch_kernel(cache) downloads (once) the kernel package that linux-image-amd64 depends on and
unpacks it without installing; build_initramfs() writes a gzip'd newc cpio with busybox, the
efivarfs module, the given programs (with the shared libraries they need) and an /init script.
"""

import fcntl
import glob
import gzip
import os
import re
import stat
import subprocess

BUSYBOX = "/bin/busybox"
# Stands in for the real reboot: says how it was started, then restarts the machine for real.
REBOOT_SCRIPT = """#!/bin/busybox sh
echo "QUIPLEX-REBOOT argc=$# argv0=$0 args=[$*]"
/bin/busybox sync
/bin/busybox reboot -f
"""
INIT_PROLOGUE = """#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/sbin:/bin
mount -t proc none /proc
mount -t sysfs none /sys
mount -t devtmpfs none /dev
insmod /lib/efivarfs.ko
EFIVARS=/sys/firmware/efi/efivars
GUID=81686ef9-7f6f-42e3-9371-696de9bf6299
# Scenario markers that scenario_output() and scenario_dump() read back from the console.
run() { name=$1; shift; echo "QUIPLEX-RUN-BEGIN $name"; "$@"; s=$?; echo "QUIPLEX-RUN-END $name status=$s"; }
dump() { echo "QUIPLEX-DUMP-BEGIN $1"; od -An -tx1 -v $EFIVARS/Quiplex-$GUID; /bin/inode_flags $EFIVARS/Quiplex-$GUID; echo "QUIPLEX-DUMP-END $1"; }
echo QUIPLEX-INIT-READY
"""
INIT_EPILOGUE = """
echo QUIPLEX-INIT-DONE
poweroff -f
"""


def scenario_output(console, name):
    """(output, exit status) of `run NAME ...` in the console text, or None if it did not run."""
    m = re.search(r"QUIPLEX-RUN-BEGIN %s\n(.*?)QUIPLEX-RUN-END %s status=(\d+)" % (name, name),
                  console, re.S)
    return None if m is None else (m.group(1), int(m.group(2)))


def scenario_dump(console, name):
    """(file bytes, immutable "yes"/"no") of `dump NAME` in the console text, or None."""
    m = re.search(r"QUIPLEX-DUMP-BEGIN %s\n(.*?)flags: (\S+) immutable=(\w+)\nQUIPLEX-DUMP-END"
                  % name, console, re.S)
    return None if m is None else (bytes.fromhex(m.group(1)), m.group(3))


def _read(path):
    with open(path, "rb") as f:
        return f.read()


def fetch_kernel(cache):
    """(vmlinuz, efivarfs.ko) of the current Debian kernel, cached below `cache`."""
    root = os.path.join(cache, "kernel")
    os.makedirs(cache, exist_ok=True)
    # The suites that boot a kernel run side by side: one downloads, the others wait for it.
    with open(os.path.join(cache, "fetch.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        return _fetch_kernel_locked(cache, root)


def _fetch_kernel_locked(cache, root):
    found = glob.glob(os.path.join(root, "boot", "vmlinuz-*"))
    if not found:
        depends = subprocess.run(["apt-cache", "depends", "linux-image-amd64"], check=True,
                                 capture_output=True, text=True).stdout
        package = next(line.split()[-1] for line in depends.splitlines()
                       if "Depends: linux-image-" in line)
        for old in glob.glob(os.path.join(cache, "*.deb")):
            os.unlink(old)
        subprocess.run(["apt-get", "download", package], cwd=cache, check=True,
                       capture_output=True)
        deb = glob.glob(os.path.join(cache, "*.deb"))[0]
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        os.unlink(deb)
        found = glob.glob(os.path.join(root, "boot", "vmlinuz-*"))
    module = glob.glob(os.path.join(root, "lib/modules/*/kernel/fs/efivarfs/efivarfs.ko*"))[0]
    if module.endswith(".xz"):
        subprocess.run(["xz", "-dkf", module], check=True)
        module = module[:-3]
    return found[0], module


def shared_libraries(program):
    """Absolute paths of the shared libraries (and loader) a program needs; none if static."""
    result = subprocess.run(["ldd", program], capture_output=True, text=True)
    paths = []
    for line in result.stdout.splitlines():
        parts = line.split()
        for part in parts:
            if part.startswith("/"):
                paths.append(part)
                break
    return paths


class _Cpio:
    def __init__(self):
        self.data = bytearray()
        self.inode = 1
        self.names = set()

    def _entry(self, name, mode, content=b"", target=None):
        body = target.encode() if target is not None else content
        fields = [self.inode, mode, 0, 0, 1, 0, len(body), 0, 0, 0, 0, len(name) + 1, 0]
        self.inode += 1
        self.data += b"070701" + b"".join(b"%08X" % f for f in fields)
        self.data += name.encode() + b"\0"
        self.data += b"\0" * (-len(self.data) % 4)
        self.data += body
        self.data += b"\0" * (-len(self.data) % 4)

    def directory(self, name):
        parts = name.strip("/").split("/")
        for i in range(1, len(parts) + 1):
            path = "/".join(parts[:i])
            if path and path not in self.names:
                self.names.add(path)
                self._entry(path, stat.S_IFDIR | 0o755)

    def file(self, name, content, mode=0o755):
        name = name.strip("/")
        self.directory(os.path.dirname(name))
        self.names.add(name)
        self._entry(name, stat.S_IFREG | mode, content)

    def symlink(self, name, target):
        name = name.strip("/")
        self.directory(os.path.dirname(name))
        self._entry(name, stat.S_IFLNK | 0o777, target=target)

    def finish(self):
        self._entry("TRAILER!!!", 0)
        return bytes(self.data)


def build_initramfs(path, module, programs, init_body):
    """Writes an initramfs: busybox, the module as /lib/efivarfs.ko, `programs` (name in the
    image -> host path) with their libraries, /sbin/reboot as the marker script, and /init made
    of the prologue (efivarfs loaded, not mounted), `init_body` and a power-off."""
    image = _Cpio()
    for directory in ("bin", "sbin", "proc", "sys", "dev", "tmp", "lib", "lib64", "usr/bin",
                      "usr/sbin"):
        image.directory(directory)
    image.file("bin/busybox", _read(BUSYBOX))
    image.file("lib/efivarfs.ko", _read(module), 0o644)
    image.file("sbin/reboot", REBOOT_SCRIPT.encode())
    libraries = set()
    for name, source in programs.items():
        image.file(name, _read(source))
        libraries.update(shared_libraries(source))
    for library in sorted(libraries):
        real = os.path.realpath(library)
        image.file(library, _read(real))
    image.file("init", (INIT_PROLOGUE + init_body + INIT_EPILOGUE).encode())
    with gzip.open(path, "wb", compresslevel=1) as f:
        f.write(image.finish())
