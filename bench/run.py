#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""Benchmark inside one boot of the emulated UEFI PC: the median time of a `quiplexlnx
1/noreboot` run against the least work the same request needs (bench/limit.c: the boot manager
probe, then flag cleared, open, one write, close, flag put back, one syslog record) and against
`efibootmgr --bootnext 0000`, the usual one-shot tool. Prints the figures and the ratios.
The boot holds the emulator lock (tests/emulated/machine.py), so no other emulator shares the
machine's cores while it runs."""

import os
import re
import shutil
import subprocess
import sys

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(top, "tests", "emulated"))
import linux_image  # noqa: E402
import machine  # noqa: E402



def hardening_flags():
    """The compile and link flags quiplexlnx is built with (cmake/hardening.cmake)."""
    with open(os.path.join(top, "cmake", "hardening.cmake")) as f:
        text = f.read()
    flags = []
    for name in ("QUIPLEX_ELF_HARDENING_COMPILE", "QUIPLEX_ELF_HARDENING_LINK"):
        flags += re.search(r"set\(%s\s([^)]*)\)" % name, text).group(1).split()
    return flags


RUNS = int(os.environ.get("QUIPLEX_BENCH_RUNS", "400"))


def main():
    build = os.path.join(top, "build", "linux")
    folder = os.path.join(build, "emulated")
    bench = os.path.join(folder, "bench")
    os.makedirs(bench, exist_ok=True)
    programs = {"bin/quiplexlnx": os.path.join(build, "linux", "quiplexlnx")}
    # The least work is built as quiplexlnx is; the runner only times, so it stays static.
    builds = {"limit": ["clang", "-O2", "-fPIE"] + hardening_flags(), "runner": ["gcc", "-O2", "-static"]}
    for name, command in builds.items():
        out = os.path.join(bench, name)
        subprocess.run(command + ["-o", out, os.path.join(top, "bench", name + ".c")], check=True)
        programs["bin/" + name] = out
    programs["bin/efibootmgr"] = shutil.which("efibootmgr")
    kernel, module = linux_image.fetch_kernel(os.path.join(folder, "cache"))
    # Warm-up runs first; then RUNS rounds, each running every tool once, all in one boot.
    body = """mount -t efivarfs none $EFIVARS
printf '\\007\\000\\000\\000\\001\\003\\000\\000' > $EFIVARS/ZarvexUEFI-$GUID
# OVMF always keeps Boot0000 (its setup application) for efibootmgr's BootNext to name.
/bin/efibootmgr --quiet --bootnext 0000; echo "efibootmgr --bootnext 0000 status $?"
for i in 1 2 3; do /bin/quiplexlnx 1/noreboot; /bin/limit; done
/bin/runner %(n)d quiplexlnx /bin/quiplexlnx 1/noreboot -- limit /bin/limit -- efibootmgr /bin/efibootmgr --quiet --bootnext 0000
""" % {"n": RUNS}
    initrd = os.path.join(bench, "bench.cpio.gz")
    linux_image.build_initramfs(initrd, module, programs, body)
    pc = machine.Machine(os.path.join(bench, "machine"))
    result = pc.boot_kernel(kernel, initrd, timeout=1200)
    figures = {}
    for m in re.finditer(r"BENCH (\S+) runs=(\d+) failures=(\d+) median_us=([\d.]+) "
                         r"min_us=([\d.]+) max_us=([\d.]+)", result.output):
        figures[m.group(1)] = float(m.group(4))
        print(m.group(0).replace("BENCH ", ""))
    if os.environ.get("QUIPLEX_BENCH_DEBUG"):
        print(result.output[-3000:])
    for m in re.finditer(r"efibootmgr --bootnext.*", result.output):
        print(m.group(0))
    if "quiplexlnx" not in figures or "limit" not in figures:
        print(result.output[-3000:])
        return 1
    q = figures["quiplexlnx"]
    print("quiplexlnx / limit      = %.3f (goal: at most 1.05)" % (q / figures["limit"]))
    if "efibootmgr" in figures:
        print("quiplexlnx / efibootmgr = %.3f (goal: below 1)" % (q / figures["efibootmgr"]))
    print("one boot, %.0f s, %s" % (result.seconds, "KVM" if machine.kvm_usable() else "TCG"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
