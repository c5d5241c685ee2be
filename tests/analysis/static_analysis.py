#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""clang-tidy (the checks of .clang-tidy) and cppcheck over every product file of one build, as
its compile database lists them: any finding fails. Usage: static_analysis.py SOURCE BUILD TOOL
[FOLDER...] (TOOL: clang-tidy or cppcheck; FOLDERs: only the product files under them)."""

import json
import os
import subprocess
import sys
import tempfile

PRODUCT_FOLDERS = ("core", "linux", "windows", "uefi")
SOURCE_ENDINGS = (".c", ".cpp")  # not the resource scripts the Windows build compiles too
# mingw-w64's compiler is named with a thread-model suffix clang does not read as a target.
TARGETS = {"x86_64-w64-mingw32": "--target=x86_64-w64-mingw32"}


def product_commands(source, build, folders=PRODUCT_FOLDERS):
    """The compile commands of the product files under `folders`, one per file."""
    with open(os.path.join(build, "compile_commands.json")) as f:
        commands = json.load(f)
    chosen = {}
    for command in commands:
        relative = os.path.relpath(os.path.realpath(command["file"]), os.path.realpath(source))
        if (relative.split(os.sep)[0] in folders and relative.endswith(SOURCE_ENDINGS)
                and relative not in chosen):
            chosen[relative] = command
    return chosen


def extra_arguments(commands):
    words = " ".join(c.get("command", " ".join(c.get("arguments", []))) for c in commands)
    return ["--extra-arg=" + flag for prefix, flag in TARGETS.items() if prefix in words]


def clang_tidy(source, build, commands):
    files = [commands[name]["file"] for name in sorted(commands)]
    return subprocess.run(["clang-tidy", "--quiet", "-p", build,
                           "--config-file=" + os.path.join(source, ".clang-tidy")] +
                          extra_arguments(commands.values()) + files,
                          capture_output=True, text=True, cwd=source)


def cppcheck(source, build, commands):
    with tempfile.TemporaryDirectory() as scratch:
        database = os.path.join(scratch, "compile_commands.json")
        with open(database, "w") as f:
            json.dump(list(commands.values()), f)
        return subprocess.run(["cppcheck", "--project=" + database, "--quiet", "--inline-suppr",
                               "--enable=warning,style,performance,portability",
                               "--std=c++20", "--language=c++", "--error-exitcode=1",
                               "--suppress=missingIncludeSystem",
                               # The core is freestanding: no standard algorithms to call.
                               "--suppress=useStlAlgorithm",
                               "--cppcheck-build-dir=" + scratch],
                              capture_output=True, text=True, cwd=source)


def main():
    source, build, tool = sys.argv[1:4]
    commands = product_commands(source, build, tuple(sys.argv[4:]) or PRODUCT_FOLDERS)
    if not commands:
        print("no product file in %s/compile_commands.json" % build)
        return 1
    print("%s over %d files: %s" % (tool, len(commands), " ".join(sorted(commands))))
    result = {"clang-tidy": clang_tidy, "cppcheck": cppcheck}[tool](source, build, commands)
    findings = result.stdout.strip() + result.stderr.strip()
    # clang-tidy counts the warnings it hid in headers outside the filter on stderr.
    findings = "\n".join(line for line in findings.splitlines()
                         if not line.endswith(("warnings generated.", "warning generated.")))
    if findings:
        print(findings)
    return 1 if result.returncode != 0 or findings else 0


if __name__ == "__main__":
    sys.exit(main())
