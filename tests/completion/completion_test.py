# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""The completion of quiplexlnx: the bash function driven through COMP_WORDS and COMP_CWORD, and
the zsh function loaded by compinit in `zsh -f` and asked on a terminal.
Usage: completion_test.py DIRECTORY (holding quiplexlnx.bash and _quiplexlnx).
"""

import os
import pty
import select
import shutil
import subprocess
import sys
import time
import unittest

FOLDER = sys.argv.pop(1)
OPTIONS = ["--help", "-h", "-?", "--version", "--status", "--status=json", "--cancel",
           "--suspend", "--resume", "--dry-run", "--dry-run=json", "--boot-next",
           "--firmware-setup", "--cancel-firmware-setup"]
KEYWORDS = ["/Current", "/Next", "/Shutdown", "/None"]
MODIFIERS = ["/run=", "/noreboot", "/force"]

# The words as bash splits them ("=" is a word of its own), the last one being completed.
BASH_CASES = [
    (["-"], OPTIONS),
    ([""], KEYWORDS + OPTIONS),
    (["--st"], ["--status", "--status=json"]),
    (["--dry-run", "=", ""], ["json"]),
    (["--status", "="], ["json"]),
    (["--cancel", "="], []),
    (["/cur"], ["/Current"]),
    (["/CUR"], ["/Current"]),
    (["/n"], ["/Next", "/None"]),
    (["1/NO"], ["1/noreboot"]),
    (["/Current/"], ["/Current/" + m[1:] for m in MODIFIERS]),
    (["--dry-run", "=", "json", "/sH"], ["/Shutdown"]),
    (["--dry-run", "/sH"], ["/Shutdown"]),
    (["--dry-run", "2", "/R"], ["/run="]),
    (["My", "Item", ""], MODIFIERS),
    (["My", "f"], []),
    (["2", "-"], []),
    (["--status", "/"], []),
    (["--b"], ["--boot-next"]),
    (["--boot-next", "/sH"], ["/Shutdown"]),
    (["--boot-next", "-"], []),
    (["--boot-next", "2", "/"], MODIFIERS),
    (["--dry-run", "-"], ["--boot-next"]),
    (["--dry-run", "=", "json", "--boot-next", ""], KEYWORDS),
    (["--dry-run", "--boot-next", "2", "/R"], ["/run="]),
    (["--firmware-setup", ""], ["/noreboot", "/force"]),
    (["--firmware-setup", "/N"], ["/noreboot"]),
    (["--cancel-firmware-setup", "/"], []),
]


def bash_completion(words):
    script = ('source "$0/quiplexlnx.bash"; COMP_WORDS=(quiplexlnx "$@"); '
              'COMP_CWORD=$#; _quiplexlnx; printf "%s\\n" "${COMPREPLY[@]}"')
    result = subprocess.run(["bash", "-c", script, FOLDER] + words,
                            capture_output=True, text=True, check=True)
    return [line for line in result.stdout.splitlines() if line]


def zsh_completed_lines(lines):
    """Types each line and a Tab into an interactive `zsh -f`, gives the lines it then runs."""
    pid, terminal = pty.fork()
    if pid == 0:
        os.execvp("zsh", ["zsh", "-f", "-i"])
    # The "" keep the terminal's echo of the typed commands from matching what they print.
    os.write(terminal, b"fpath=(%s $fpath); autoload -Uz compinit; compinit -u -D; "
             b"quiplexlnx() { print -r \"RA\"\"N[$*]\" }\n" % FOLDER.encode())
    for line in lines:
        os.write(terminal, line.encode() + b"\t")
        time.sleep(0.3)  # zsh may skip completing while more input is waiting
        os.write(terminal, b"\n")
    os.write(terminal, b"print DO\"\"NE; exit\n")
    seen, deadline = "", time.monotonic() + 30
    while "DONE\r\n" not in seen and time.monotonic() < deadline:
        if select.select([terminal], [], [], 0.2)[0]:
            seen += os.read(terminal, 4096).decode(errors="replace")
    os.waitpid(pid, 0)
    return [part.split("]\r")[0] for part in seen.split("RAN[")[1:]]


class Completion(unittest.TestCase):
    def test_bash_replies(self):
        for words, expected in BASH_CASES:
            with self.subTest(words=words):
                self.assertEqual(bash_completion(words), expected)

    @unittest.skipUnless(shutil.which("zsh"), "no zsh")
    def test_zsh_function_loads_with_compinit(self):
        script = ('fpath=("$1" $fpath); autoload -Uz compinit; compinit -u -D; '
                  'autoload +X _quiplexlnx && print -r -- $_comps[quiplexlnx]')
        result = subprocess.run(["zsh", "-f", "-c", script, "zsh", FOLDER],
                                capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (0, "_quiplexlnx\n", ""))

    @unittest.skipUnless(shutil.which("zsh"), "no zsh")
    def test_zsh_completes_on_a_terminal(self):
        cases = {"quiplexlnx /CUR": "/Current", "quiplexlnx 1/NOR": "1/noreboot",
                 "quiplexlnx --dry-run=json /sh": "--dry-run=json /Shutdown",
                 "quiplexlnx My /f": "My /force", "quiplexlnx --ver": "--version",
                 "quiplexlnx --dry-run --boot-next /sh": "--dry-run --boot-next /Shutdown",
                 "quiplexlnx --firmware-setup /nor": "--firmware-setup /noreboot"}
        self.assertEqual(zsh_completed_lines(list(cases)), list(cases.values()))


if __name__ == "__main__":
    unittest.main(verbosity=2)
