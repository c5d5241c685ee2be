# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""Every code block of README.md, doc/*.md and the EXAMPLES of doc/quiplexlnx.8, run by the rule
its language and shape pick, so an edit to a document is an edit to this test:

- sh, bash, console: run by bash in the namespace rig (tmpfs efivarfs holding ZarvexUEFI, tmpfs
  /run, the directory of /sbin/reboot covered by checked stubs of reboot, shutdown, poweroff and
  halt, quiplexlnx at /usr/sbin/quiplexlnx as a package puts it). A block of `$ ` lines is a
  transcript: each command's standard output must be the lines shown under it. Any other block
  runs under `set -e`. A backslash the shell would drop (outside quotes, not ending a line) fails.
- bat, cmd: Wine's cmd with quiplexc.exe (the file-firmware test build) first on PATH over a fake
  firmware folder holding ZarvexUEFI, and shutdown.bat as a stub; the last %ERRORLEVEL% must be 0.
  SKIP when the windows preset has not built that program.
- yaml: parsed; a play list is given to `ansible-playbook --syntax-check` with the collection
  built from ansible/; every quiplex.boot.oneshot selection must be a text.
- json: parsed (a block of one object per line: each line).
- sudoers: `visudo -cf`. desktop: `desktop-file-validate`, and its Exec line's quiplexlnx
  command, under --dry-run, must be a valid request.
- Any other block, and any block a rule cannot run here, is marked in the document's source on
  the line right before its fence: `<!-- example: not run (REASON) -->` (in the man page
  `.\\" example: not run (REASON)` before the .TP). An unmarked block no rule runs fails.
Usage: examples_test.py SOURCE_DIR QUIPLEXLNX [QUIPLEXC_FILE_FIRMWARE_EXE]; a QUIPLEXLNX that
is not a program (the windows preset passes "none") skips what needs it.
"""

import glob
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

import yaml

SOURCE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.getcwd()
QUIPLEXLNX = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else \
    os.path.join(SOURCE, "build", "linux", "linux", "quiplexlnx")
QUIPLEXC = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else \
    os.path.join(SOURCE, "build", "windows", "tests", "windows", "quiplexc_file_firmware.exe")
GUID = "81686ef9-7f6f-42e3-9371-696de9bf6299"

MARKER = re.compile(r"^\s*(?:<!--|\.\\\")\s*example:\s*not run \(([^)]+)\)\s*(?:-->)?\s*$")
FENCE = re.compile(r"^```(\S*)\s*$")
SHELL, CMD = ("sh", "bash", "console"), ("bat", "cmd")


class Block:
    def __init__(self, document, line, language, text, not_run):
        self.document, self.line, self.language = document, line, language
        self.text, self.not_run = text, not_run

    def __repr__(self):
        return "%s:%d (%s)" % (self.document, self.line, self.language or "no language")


def markdown_blocks(name, text):
    blocks, lines, index = [], text.split("\n"), 0
    while index < len(lines):
        opened = FENCE.match(lines[index])
        if not opened:
            index += 1
            continue
        before = lines[index - 1] if index > 0 else ""
        marker = MARKER.match(before)
        end = index + 1
        while end < len(lines) and lines[end].strip() != "```":
            end += 1
        blocks.append(Block(name, index + 1, opened.group(1), "\n".join(lines[index + 1:end]) +
                            "\n", marker.group(1) if marker else None))
        index = end + 1
    return blocks


def unroff(text):
    text = text.replace(r"\-", "-").replace(r"\(dq", '"').replace(r"\e", "\\")
    return re.sub(r"\\[&:%]", "", text)


def man_blocks(name, text):
    """Each command of the EXAMPLES section (a .B line starting with the program) as a block."""
    blocks, inside, marker = [], False, None
    for number, line in enumerate(text.split("\n"), 1):
        if line.startswith(".SH"):
            inside = line.strip() == ".SH EXAMPLES"
            continue
        if not inside:
            continue
        found = MARKER.match(line)
        if found:
            marker = found.group(1)
        elif line.startswith(".B quiplexlnx"):
            blocks.append(Block(name, number, "sh", unroff(line[3:]) + "\n", marker))
            marker = None
    return blocks


def all_blocks(top):
    found = []
    for path in [os.path.join(top, "README.md")] + sorted(glob.glob(os.path.join(top, "doc",
                                                                                "*.md"))):
        with open(path, encoding="utf-8") as document:
            found += markdown_blocks(os.path.relpath(path, top), document.read())
    with open(os.path.join(top, "doc", "quiplexlnx.8"), encoding="utf-8") as page:
        found += man_blocks("doc/quiplexlnx.8", page.read())
    return found


class Skip(Exception):
    pass


# What the blocks need beyond the tests' namespace rig (tests/linux/namespace_rig.sh, which makes
# the namespace, the efivarfs holding ZarvexUEFI, /run and the checked /sbin/reboot stub): the
# other restart commands as stubs too, and quiplexlnx where the guides install it.
# $1 the program, $2 the script, $3 the restart log, $4 the stub.
AROUND_BLOCK = r"""
set -eu
program=$1 script=$2 log=$3 stub=$4
sbin=$(realpath /sbin)
for name in shutdown poweroff halt; do
    cp "$stub" "$sbin/$name"
    chmod 755 "$sbin/$name"
done
# As efivarfs: variables readable by all.
chmod 644 /sys/firmware/efi/efivars/ZarvexUEFI-%s
cp "$program" "$sbin/quiplexlnx"
block_path=/usr/sbin:/usr/bin:/sbin:/bin
for name in reboot shutdown; do
    if ! grep -q "quiplex docs stub" /sbin/$name ||
        ! grep -q "quiplex docs stub" "$(PATH=$block_path command -v $name)"
    then echo "the $name stub is not in place; nothing run"; exit 1; fi
done
set +e
PATH=$block_path bash "$script"
status=$?
cp /run/quiplex-restarts "$log" 2>/dev/null
exit $status
""" % GUID
STUB = '#!/bin/sh\n# quiplex docs stub\necho "${0##*/} $*" >> /run/quiplex-restarts\n'
NAMESPACE_RIG = os.path.join(SOURCE, "tests", "linux", "namespace_rig.sh")


def in_rig(script, program=QUIPLEXLNX):
    """Runs a bash script in the tests' namespace rig with the restart stubs: (status, stdout,
    stderr, restart stub calls). The one place the rig is chosen."""
    if not os.access(program, os.X_OK):
        raise Skip("quiplexlnx is not built: %s" % program)
    with tempfile.TemporaryDirectory() as scratch:
        path, log = os.path.join(scratch, "block.sh"), os.path.join(scratch, "restarts")
        stub = os.path.join(scratch, "stub")
        with open(path, "w") as out:
            out.write(script)
        with open(stub, "w") as out:
            out.write(STUB)
        done = subprocess.run(["bash", NAMESPACE_RIG, "--stub", stub, "bash", "-c", AROUND_BLOCK,
                               "rig", program, path, log, stub], capture_output=True, text=True,
                              timeout=120, cwd=scratch)
        if done.returncode == 77 and done.stdout.startswith("SKIP:"):
            raise Skip(done.stdout.strip())
        calls = read_lines(log)
    return done.returncode, done.stdout, done.stderr, calls


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as lines:
        return lines.read().splitlines()


def dropped_backslashes(text):
    """Lines where the shell drops a backslash: outside quotes and not ending the line."""
    found = []
    for number, line in enumerate(text.split("\n"), 1):
        quote, index = None, 0
        while index < len(line):
            char = line[index]
            if quote == "'":
                quote = None if char == "'" else quote
            elif char == "\\":
                # Outside quotes the shell takes the next character as it is: before a letter
                # or digit the backslash was meant to stay (tools\App.efi), and is lost.
                if quote is None and line[index + 1:index + 2].isalnum():
                    found.append(number)
                    break
                index += 1
            elif char in "'\"" and quote is None:
                quote = char
            elif char == '"' and quote == '"':
                quote = None
            elif char == "#" and quote is None and (index == 0 or line[index - 1] in " \t"):
                break
            index += 1
    return found


def transcript(text):
    """[(command, expected output)] of a block of `$ ` lines."""
    steps = []
    for line in text.rstrip("\n").split("\n"):
        if line.startswith("$ "):
            steps.append([line[2:], ""])
        elif steps:
            steps[-1][1] += line + "\n"
        else:
            raise AssertionError("output before the first command: %r" % line)
    return steps


SEPARATOR = "\x1e quiplex step\n"


def run_shell(block):
    """Fails (AssertionError) where the block does not behave as it shows; the restart stub
    calls."""
    faults = dropped_backslashes(block.text)
    assert not faults, "the shell drops the backslash on line %s" % faults
    if any(line.startswith("$ ") for line in block.text.split("\n")):
        steps = transcript(block.text)
        script = "".join("printf '\\036 quiplex step\\n'\n%s\n" % command
                         for command, _ in steps)
        status, out, err, calls = in_rig(script)
        got = out.split(SEPARATOR)[1:]
        assert len(got) == len(steps), "the transcript stopped: %r %r" % (out, err)
        for (command, expected), output in zip(steps, got):
            assert output == expected, "$ %s\nshows:\n%s\nprints:\n%s%s" % (
                command, expected, output, err)
        return calls
    status, out, err, calls = in_rig("set -e\n" + block.text)
    assert status == 0, "status %d\n%s%s" % (status, out, err)
    return calls


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


CMD_PROMPT = "C:\\> "


def run_cmd(block):
    """The block as a batch file, CALLed so that the shutdown stub (a batch file, which takes
    over from its caller) comes back; a block of `C:\\> ` lines is a transcript."""
    if not os.path.exists(QUIPLEXC):
        raise Skip("the windows preset has not built %s" % QUIPLEXC)
    # The Windows tests' one Wine set-up: a prefix copied from the build's base, headless.
    wine = ["bash", os.path.join(SOURCE, "tests", "windows", "wine.sh")]
    lines = block.text.rstrip("\n").split("\n")
    steps = None
    if any(line.startswith(CMD_PROMPT) for line in lines):
        steps = transcript(block.text.replace(CMD_PROMPT, "$ "))
        lines = [part for command, _ in steps for part in ("echo quiplex-step", command)]
    with tempfile.TemporaryDirectory() as work:
        os.makedirs(os.path.join(work, "bin"))
        os.makedirs(os.path.join(work, "fw"))
        for program in ("quiplexc", "quiplexu"):
            built = os.path.join(os.path.dirname(QUIPLEXC), "%s_file_firmware.exe" % program)
            if os.path.exists(built):
                shutil.copy(built, os.path.join(work, "bin", program + ".exe"))
        with open(os.path.join(work, "fw", "ZarvexUEFI"), "wb") as present:
            present.write(b"\1\0\0\0")
        log = windows_path(os.path.join(work, "restarts"))
        with open(os.path.join(work, "bin", "shutdown.bat"), "w") as stub:
            stub.write("@echo shutdown %%*>>%s\r\n" % log)
        outer = ["@echo off", "set PATH=%s;%%PATH%%" % windows_path(os.path.join(work, "bin")),
                 "set QUIPLEX_FAKE_FIRMWARE=%s" % windows_path(os.path.join(work, "fw")),
                 "cd /d %s" % windows_path(work), "call block.bat",
                 "echo quiplex-doc-status %ERRORLEVEL%"]
        for name, text in (("outer.bat", outer), ("block.bat", ["@echo off"] + lines)):
            with open(os.path.join(work, name), "w") as out:
                out.write("\r\n".join(text) + "\r\n")
        prefix = os.path.join(
            os.path.dirname(os.path.dirname(os.path.dirname(QUIPLEXC))), "wineprefix-docs")
        done = subprocess.run(wine + [prefix, "cmd", "/c",
                                      windows_path(os.path.join(work, "outer.bat"))],
                              capture_output=True, text=True, timeout=180)
        out = done.stdout.replace("\r", "")
        calls = read_lines(os.path.join(work, "restarts"))
    if steps is not None:
        got = out.rpartition("quiplex-doc-status")[0].split("quiplex-step\n")[1:]
        assert len(got) == len(steps), "the transcript stopped: %r %r" % (out, done.stderr)
        for (command, expected), output in zip(steps, got):
            assert output == expected, "C:\\> %s\nshows:\n%s\nprints:\n%s" % (
                command, expected, output)
    else:
        assert "quiplex-doc-status 0\n" in out, "cmd printed:\n%s%s" % (out, done.stderr)
    return [call.strip() for call in calls if call.strip()]


def oneshot_selections(node):
    if isinstance(node, dict):
        for key, value in node.items():
            if key in ("quiplex.boot.oneshot", "oneshot") and isinstance(value, dict):
                yield value.get("selection")
            yield from oneshot_selections(value)
    elif isinstance(node, list):
        for item in node:
            yield from oneshot_selections(item)


def collection_path():
    """The collection built from ansible/ and installed once into a scratch folder."""
    if not hasattr(collection_path, "root"):
        root = tempfile.mkdtemp(prefix="quiplex-docs-collection-")
        subprocess.run(["ansible-galaxy", "collection", "build", os.path.join(SOURCE, "ansible"),
                        "--output-path", root, "--force"], check=True, capture_output=True)
        tarball = glob.glob(os.path.join(root, "quiplex-boot-*.tar.gz"))[0]
        subprocess.run(["ansible-galaxy", "collection", "install", "--offline", "-p",
                        os.path.join(root, "collections"), tarball], check=True,
                       capture_output=True)
        collection_path.root = root
    return os.path.join(collection_path.root, "collections")


def run_yaml(block):
    document = yaml.safe_load(block.text)
    for selection in oneshot_selections(document):
        assert isinstance(selection, (str, int)) and str(selection) != "", \
            "a oneshot selection YAML does not read as a text: %r" % (selection,)
    if isinstance(document, list) and document and all(
            isinstance(play, dict) and "hosts" in play for play in document):
        if shutil.which("ansible-playbook") is None:
            raise Skip("no ansible-playbook")
        with tempfile.TemporaryDirectory() as scratch:
            path = os.path.join(scratch, "play.yml")
            with open(path, "w") as out:
                out.write(block.text)
            env = {key: value for key, value in os.environ.items()
                   if not key.startswith("ANSIBLE_")}
            env.update(ANSIBLE_COLLECTIONS_PATH=collection_path(),
                       ANSIBLE_HOME=os.path.join(scratch, "home"))
            done = subprocess.run(["ansible-playbook", "-i", "localhost,", "--syntax-check",
                                   path], capture_output=True, text=True, env=env)
            assert done.returncode == 0, done.stdout + done.stderr
        if any(True for _ in oneshot_selections(document)):
            on_fleet(block.text, document)
    return []


FLEET_MODULES = {"quiplex.boot.oneshot", "ansible.builtin.command", "ansible.builtin.shell",
                 "ansible.builtin.debug", "ansible.builtin.assert", "ansible.builtin.set_fact"}


def on_fleet(text, plays):
    """The playbook as it stands against two namespaced hosts (tests/ansible/fleet.py), their
    play patterns made a group of them: both get the request and are restarted through their
    stubs, and a second run changes nothing and restarts none."""
    sys.path.insert(0, os.path.join(SOURCE, "tests", "ansible"))
    import fleet  # noqa: E402
    if os.geteuid() != 0 or shutil.which("nsenter") is None or not os.access(QUIPLEXLNX,
                                                                             os.X_OK):
        raise Skip("the fleet needs root, nsenter and the built quiplexlnx")
    # Modules run in a host's namespace through its Python; raw, script and the like would run
    # on this machine itself, and reboot waits for nothing that will come: only these are let in.
    for play in plays:
        for task in play.get("tasks", []):
            module = [key for key in task if "." in key or key in FLEET_MODULES]
            assert module and all(name in FLEET_MODULES for name in module), \
                "the fleet runs only tasks of %s: %r" % (", ".join(sorted(FLEET_MODULES)), task)
    assert not re.search(r"systemctl|telinit", text), "a restart other than /sbin/reboot"
    hosts = fleet.Fleet(2)
    try:
        hosts.install_collection()
        for host in hosts.hosts:
            status, _ = hosts.inside(host, "cp", QUIPLEXLNX, "/usr/sbin/quiplexlnx")
            assert status == 0, "quiplexlnx could not be put on " + host
        with open(os.path.join(hosts.root, "inventory.ini"), "a") as inventory:
            for pattern in {play["hosts"] for play in plays}:
                inventory.write("[%s:children]\nroom\n" % pattern)
        path = os.path.join(hosts.root, "example.yml")
        with open(path, "w") as out:
            out.write(text)
        env = dict(hosts.environment, ANSIBLE_STDOUT_CALLBACK="default")
        runs = []
        for _ in range(2):
            runs.append(subprocess.run(["ansible-playbook", "-i", os.path.join(
                hosts.root, "inventory.ini"), path], capture_output=True, text=True, env=env,
                timeout=300))
            assert runs[-1].returncode == 0, runs[-1].stdout + runs[-1].stderr
            for _ in range(50):  # the restarts are jobs nobody waits for
                if len(hosts.reboot_calls()) == len(hosts.hosts):
                    break
                subprocess.run(["sleep", "0.1"])
            assert hosts.reboot_calls() == hosts.hosts, (hosts.reboot_calls(), runs[-1].stdout)
        for host in hosts.hosts:
            with open(os.path.join(hosts.folder(host), "reboot-called")) as calls:
                assert len(calls.read().splitlines()) == 1, host + " restarted twice"
            assert hosts.request_file(host) is not None, host + " holds no request"
        # The play names the hosts it sent on their way: both, then none.
        named = [re.findall(r'"(host\d+)"', listed) for run in runs
                 for listed in re.findall(r'"msg": \[(.*?)\]', run.stdout, re.S)]
        assert named == [hosts.hosts, []], (named, runs[0].stdout)
    finally:
        hosts.close()


def run_json(block):
    try:
        json.loads(block.text)
    except ValueError:
        for line in block.text.strip().split("\n"):
            json.loads(line)
    return []


def run_sudoers(block):
    if shutil.which("visudo") is None:
        raise Skip("no visudo (Debian's sudo)")
    with tempfile.NamedTemporaryFile("w", suffix=".sudoers") as out:
        out.write(block.text)
        out.flush()
        done = subprocess.run(["visudo", "-cf", out.name], capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
    return []


def run_desktop(block):
    if shutil.which("desktop-file-validate") is None:
        raise Skip("no desktop-file-validate (Debian's desktop-file-utils)")
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "quiplex-example.desktop")
        with open(path, "w") as out:
            out.write(block.text)
        done = subprocess.run(["desktop-file-validate", path], capture_output=True, text=True)
    assert done.returncode == 0 and not done.stdout.strip(), done.stdout + done.stderr
    execs = [line[5:] for line in block.text.split("\n") if line.startswith("Exec=")]
    assert len(execs) == 1, "one Exec line wanted"
    words = shlex.split(execs[0])
    while words and not words[0].endswith("quiplexlnx"):
        words.pop(0)  # pkexec, sudo and their options
    assert words, "the Exec line starts no quiplexlnx"
    status, out, err, _ = in_rig("quiplexlnx --dry-run %s\n" % shlex.join(words[1:]))
    assert status == 0, "the launcher's command: %s%s" % (out, err)
    return []


RULES = {"yaml": run_yaml, "yml": run_yaml, "json": run_json, "sudoers": run_sudoers,
         "desktop": run_desktop}
RULES.update({language: run_shell for language in SHELL})
RULES.update({language: run_cmd for language in CMD})


def check(block):
    """'not run', 'skipped: why' or 'ran'; AssertionError on a fault."""
    if block.not_run:
        return "not run"
    rule = RULES.get(block.language)
    assert rule is not None, "unmarked block that no rule runs (%s); mark it " \
        "<!-- example: not run (REASON) --> or make it runnable" % (block.language or "no language")
    try:
        rule(block)
    except Skip as why:
        return "skipped: %s" % why
    return "ran"


LAUNCHER = ("[Desktop Entry]\nType=Application\nName=R\n"
            "Exec=pkexec /usr/sbin/quiplexlnx Windows\nTerminal=false\n")


class Examples(unittest.TestCase):
    def test_every_block(self):
        blocks = all_blocks(SOURCE)
        self.assertGreater(len(blocks), 20)
        results = {}
        for block in blocks:
            with self.subTest(block=repr(block)):
                results[repr(block)] = check(block)
        for name, result in results.items():
            print("%-32s %s" % (name, result))
        if any(result.startswith("skipped") for result in results.values()):
            print("SKIP: some blocks could not run here (see above)")

    def test_quick_start_restarts_only_where_the_command_says(self):
        calls = run_or_skip(self, Block("t", 1, "sh", "quiplexlnx 2/noreboot\nquiplexlnx "
                                        "--status\nquiplexlnx /current\n", None))
        self.assertEqual(calls, ["reboot "])

    def test_shutdown_composition_reaches_the_stub(self):
        calls = run_or_skip(self, Block("t", 1, "sh", 'quiplexlnx Windows/noreboot && '
                                        'shutdown -r +5 "Restarting into Windows"\n', None))
        self.assertEqual(calls, ["shutdown -r +5 Restarting into Windows"])

    def test_statuses_the_tables_give(self):
        """What the exit tables say against the program: a first write by a user who is not root
        gives 77 (the file cannot be made), 75 only where the kernel's immutable flag guards an
        existing request; 0 even where /sbin/reboot cannot be started, and nothing restarts; a
        mistyped /noreboot, or one past the 255th character, restarts."""
        user = "setpriv --reuid 65534 --regid 65534 --clear-groups quiplexlnx"
        immutable = "chattr +i /sys/firmware/efi/efivars/Quiplex-%s" % GUID
        cases = [  # name | script (quiplexlnx's output dropped) | "echo"ed statuses | restarts
            ("first write, not root", "%s 2/noreboot" % user, "77", []),
            ("as root", "quiplexlnx 3/noreboot", "0", []),
            ("immutable request, not root",
             "quiplexlnx 3/noreboot; %s; %s 2/noreboot" % (immutable, user), "75", []),
            ("cancel, not root", "quiplexlnx 3/noreboot; %s; %s --cancel" % (immutable, user),
             "75", []),
            ("restart", "quiplexlnx 2", "0", ["reboot "]),
            ("no /sbin/reboot to start", "rm /sbin/reboot; quiplexlnx 2", "0", []),
            # The README's safety note: the two typing slips that restart the machine.
            ("mistyped /noreboo", "quiplexlnx Windows/noreboo", "0", ["reboot "]),
            ("/noreboot past the 255th character", "quiplexlnx %s/noreboot" % ("x" * 247), "0",
             ["reboot "]),
            ("/noreboot ending at the 255th", "quiplexlnx %s/noreboot" % ("x" * 246), "0", []),
        ]
        for name, script, wanted, restarts in cases:
            with self.subTest(name):
                try:
                    status, out, err, calls = in_rig("%s >/dev/null\necho $?\n" % script)
                except Skip as why:
                    self.skipTest(str(why))
                self.assertEqual(out, wanted + "\n", err)
                self.assertEqual(calls, restarts)

    def test_rules_catch_doctored_blocks(self):
        """Each rule on a block that holds and one that does not; a skipped rule is left out."""
        good_status = ('$ quiplexlnx "My Item/run=tools\\App.efi/noreboot"\n'
                       '$ quiplexlnx --status\nZarvex UEFI: found\nPending request: name '
                       '"My Item"\nRun file: "tools\\App.efi"\nSize: 26 bytes, attributes '
                       '0x00000007\n')
        cases = [
            ("good transcript", "sh", good_status, None, "ran"),
            ("wrong expected output", "sh", good_status.replace("26 bytes", "25 bytes"), None,
             "fault"),
            ("shell drops a backslash", "sh", "quiplexlnx My Item/run=tools\\App.efi\n", None,
             "fault"),
            ("quoted backslash", "sh", 'quiplexlnx "My Item/run=tools\\App.efi/noreboot"\n',
             None, "ran"),
            ("failing command", "sh", "quiplexlnx --no-such-option\n", None, "fault"),
            ("unmarked PowerShell", "powershell", "quiplexc --status\n", None, "fault"),
            ("marked PowerShell", "powershell", "quiplexc --status\n", "PowerShell", "not run"),
            ("unmarked text", "", "some output\n", None, "fault"),
            ("unquoted hot key in YAML", "yaml",
             "- quiplex.boot.oneshot:\n    selection: &W\n", None, "fault"),
            ("quoted hot key in YAML", "yaml",
             "- quiplex.boot.oneshot:\n    selection: '&W'\n", None, "ran"),
            ("broken JSON", "json", '{"status":0,\n', None, "fault"),
            ("JSON lines", "json", '{"status":0}\n{"status":61}\n', None, "ran"),
            ("cmd: the monitor quiplexc does not start", "bat",
             'C:\\> quiplexc --dry-run=json /hibernate\n{"status":0,"request":null,"monitor":'
             'true}\n', None, "fault"),
            ("cmd: a status other than 0", "bat", "quiplexc --no-such-option\n", None, "fault"),
            ("cmd: restart through the stub", "bat", "quiplexc 2/noreboot && shutdown /r /t 0\n",
             None, "ran"),
            ("sudoers without its colon", "sudoers",
             "%bootswitch ALL=(root) NOPASSWD /usr/sbin/quiplexlnx\n", None, "fault"),
            ("launcher without a name", "desktop", LAUNCHER.replace("Name=R\n", ""), None,
             "fault"),
            ("launcher with no request", "desktop", LAUNCHER.replace("Windows", "--status"),
             None, "fault"),
            ("launcher", "desktop", LAUNCHER, None, "ran"),
            ("playbook that waits for hosts to come back", "yaml",
             "- hosts: room4\n  tasks:\n    - quiplex.boot.oneshot:\n        selection: W\n"
             "      register: boot\n    - ansible.builtin.reboot:\n      when: boot is changed\n",
             None, "fault"),
        ]
        for name, language, text, marker, wanted in cases:
            with self.subTest(name):
                block = Block("doctored.md", 1, language, text, marker)
                try:
                    got = check(block)
                except (AssertionError, ValueError, yaml.YAMLError):
                    got = "fault"
                if got.startswith("skipped"):
                    continue
                self.assertEqual(got, wanted)

    def test_every_program_installed_is_named(self):
        """The README's table names every program the install rules install, and each guide's
        description of the zip names every Windows program in it."""
        with open(os.path.join(SOURCE, "cmake", "install.cmake")) as rules:
            targets = re.findall(r"install\(TARGETS ([\w ]+?) RUNTIME", rules.read())
        windows = targets[0].split()
        self.assertIn("quiplexguard", windows)
        with open(os.path.join(SOURCE, "README.md")) as readme:
            table = [line for line in readme.read().split("\n") if line.startswith("|")]
        for program in windows + ["quiplexlnx", "quiplexefi"]:
            self.assertTrue(any("`%s`" % program in line for line in table), program)
        for guide in ("linux.md", "windows.md"):
            with open(os.path.join(SOURCE, "doc", guide)) as document:
                paragraphs = [part for part in document.read().split("\n\n")
                              if "win64.zip`" in part and "quiplexu.exe" in part]
            self.assertTrue(paragraphs, guide)
            for program in windows:
                self.assertIn(program + ".exe", paragraphs[0], guide)

    def test_extraction_reads_markers_and_the_man_page(self):
        markdown = ("text\n<!-- example: not run (PowerShell) -->\n```powershell\nx\n```\n\n"
                    "```sh\ny\n```\n")
        blocks = markdown_blocks("d.md", markdown)
        self.assertEqual([(b.line, b.language, b.text, b.not_run) for b in blocks],
                         [(3, "powershell", "x\n", "PowerShell"), (7, "sh", "y\n", None)])
        page = (".SH EXAMPLES\n.TP\n.B quiplexlnx My Item/run=tools\\e\\eApp.efi\ntext\n"
                ".\\\" example: not run (restarts)\n.TP\n.B quiplexlnx \\(dq&W\\(dq\n"
                ".SH SEE ALSO\n.B quiplexlnx other\n")
        self.assertEqual([(b.text, b.not_run) for b in man_blocks("p.8", page)],
                         [("quiplexlnx My Item/run=tools\\\\App.efi\n", None),
                          ('quiplexlnx "&W"\n', "restarts")])


def run_or_skip(test, block):
    try:
        return run_shell(block)
    except Skip as why:
        test.skipTest(str(why))


if __name__ == "__main__":
    unittest.main(verbosity=2)
