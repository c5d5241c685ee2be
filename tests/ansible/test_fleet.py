# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""quiplex.boot.oneshot from its built tarball on six namespaced hosts, one without the boot
manager: writes, idempotence, check and diff mode, state absent, and never a restart."""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fleet  # noqa: E402

BINARY = "/usr/sbin/quiplexlnx"  # or the first argument
TARBALL = os.environ.get("QUIPLEX_COLLECTION_TARBALL")
HOSTS, MISSING, FORKS = 6, 5, 6
GLOBAL_GUID = "8be4df61-93ca-11d2-aa0d-00e098032b8c"


def stored(code, selection=b"", run_file=b""):
    """A "Quiplex" file as efivarfs holds it: attributes, then the request."""
    return struct.pack("<II", 7, code) + selection + b"\0" + run_file + b"\0"


class FleetTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.fleet = fleet.Fleet(HOSTS, without_boot_manager=[MISSING])
        cls.addClassCleanup(cls.fleet.close)
        cls.fleet.install_collection(TARBALL)

    def run_task(self, *options, **arguments):
        return self.fleet.playbook(fleet.oneshot_task(BINARY, **arguments), FORKS, *options)

    def assert_requests(self, expected):
        for host in self.fleet.hosts[:MISSING]:
            self.assertEqual(self.fleet.request_file(host), expected, host)
        self.assertIsNone(self.fleet.request_file(self.fleet.hosts[MISSING]))

    def test_fleet(self):
        exam = stored(0xFFFF, b"Exam \"W\" $HOME", b"tools\\exam.efi")
        # Pending before: none, item 3, and values too short to be a request (0 and 2 bytes).
        self.fleet.inside("host1", BINARY, "3/noreboot")
        for host, value in (("host2", ""), ("host3", "ab")):
            self.fleet.inside(host, "sh", "-c", "printf '\\7\\0\\0\\0%s' > %s/Quiplex-%s"
                              % (value, fleet.EFIVARS, fleet.GUID))
        status = {host: self.fleet.inside(host, BINARY, "--status")[1].decode()
                  for host in self.fleet.hosts[:MISSING]}
        for changed in (True, False):
            results = self.run_task("--diff", selection='Exam "W" $HOME',
                                    run_file="tools\\exam.efi")
            for host in self.fleet.hosts[:MISSING]:
                self.assertEqual(results[host].get("changed"), changed, host)
                if changed:  # the diff's "before" is what --status printed
                    self.assertEqual(results[host]["diff"]["before"], status[host])
                self.assertFalse(results[host].get("failed"), results[host])
                self.assertEqual(results[host]["request"]["selection"], 'Exam "W" $HOME')
            self.assertEqual(results["host1"]["previous"]["code"], 3 if changed else 0xFFFF)
            missing = results[self.fleet.hosts[MISSING]]
            self.assertTrue(missing["failed"])
            self.assertEqual((missing["rc"], missing["msg"]), (8, "Zarvex UEFI was not found."))
            self.assert_requests(exam)

        # Check mode with --diff: what would change, as --status shows it; nothing written.
        results = self.run_task("--check", "--diff", selection="/next")
        _, status = self.fleet.inside("host0", BINARY, "--status")
        self.assertEqual(results["host0"]["diff"]["before"], status.decode())
        self.assertEqual(results["host0"]["diff"]["after"],
                         "Zarvex UEFI: found\nPending request: /Next\nRun file: none\n"
                         "Size: 6 bytes, attributes 0x00000007\n")
        self.assertTrue(results["host0"]["changed"])
        self.assertEqual(results["host0"]["request"]["code"], 0xFFFE)
        self.assert_requests(exam)

        for changed in (True, False):
            results = self.run_task(state="absent")
            for host in self.fleet.hosts:
                expected = changed and host != self.fleet.hosts[MISSING]
                self.assertEqual(results[host]["changed"], expected, host)
                self.assertIsNone(results[host]["request"])
            self.assert_requests(None)
        self.assertEqual(self.fleet.reboot_calls(), [])

    def test_boot_next(self):
        """boot_next sets BootNext to Zarvex UEFI's entry once, shows it in check and diff mode,
        and writes nothing on a host whose boot list has no such entry."""
        files = {"BootOrder": b"\0\0\3\0",
                 "Boot0000": b"\1\0\0\0\4\0" + "Windows Boot Manager\0".encode("utf-16-le")
                 + b"\x7f\xff\4\0",
                 "Boot0003": b"\1\0\0\0\4\0" + "Zarvex UEFI\0".encode("utf-16-le")
                 + b"\x7f\xff\4\0"}
        for name, value in files.items():
            path = "%s/%s-%s" % (fleet.EFIVARS, name, GLOBAL_GUID)
            self.fleet.inside("host0", "python3", "-c", "import sys; open(sys.argv[1], 'wb')"
                              ".write(bytes.fromhex(sys.argv[2]))", path,
                              (b"\7\0\0\0" + value).hex())
        boot_next = "%s/BootNext-%s" % (fleet.EFIVARS, GLOBAL_GUID)
        limit = ("--limit", "host0,host1")
        results = self.run_task("--check", "--diff", *limit, selection="2", boot_next=True)
        self.assertTrue(results["host0"]["changed"])
        self.assertTrue(results["host0"]["diff"]["before"].endswith("BootNext: none\n"))
        self.assertTrue(results["host0"]["diff"]["after"].endswith("BootNext: Boot0003\n"))
        self.assertEqual(results["host0"]["firmware"]["next"], "0000")
        self.assertEqual((results["host1"]["rc"], results["host1"]["msg"]),
                         (8, "Zarvex UEFI's entry in the firmware's boot list was not found; "
                          "nothing was changed."))
        self.assertEqual(self.fleet.inside("host0", "cat", boot_next)[0], 1)
        for changed in (True, False):
            results = self.run_task(*limit, selection="2", boot_next=True)
            self.assertEqual(results["host0"]["changed"], changed)
            self.assertEqual(results["host0"]["firmware"]["boot_next"], "0003")
            self.assertEqual(results["host0"]["firmware"]["next_via"], "boot_next")
            self.assertEqual(self.fleet.inside("host0", "cat", boot_next)[1], b"\7\0\0\0\3\0")
            self.assertTrue(results["host1"]["failed"])
        self.assertIsNone(self.fleet.request_file("host1"))
        # The firmware used BootNext: only it is written again.
        self.fleet.inside("host0", "rm", boot_next)
        results = self.run_task(*limit, selection="2", boot_next=True)
        self.assertTrue(results["host0"]["changed"])
        self.assertEqual(results["host0"]["previous"], results["host0"]["request"])
        self.assertEqual(self.fleet.reboot_calls(), [])
        self.fleet.inside("host0", "sh", "-c", "rm %s/*-%s" % (fleet.EFIVARS, GLOBAL_GUID))
        self.run_task(*limit, state="absent")

    def test_refusals(self):
        cases = [({"selection": "0"}, 61, "invalid selection '0': quiplexlnx ended with 61"),
                 ({"selection": "2/force"}, 61, "invalid selection '2/force' contains /run=, "
                  "/noreboot or /force"),
                 ({"selection": "x" * 51}, 61, "invalid selection '%s' is longer than 50 bytes"
                  % ("x" * 51)),
                 ({"selection": "2", "binary": "/nonexistent/quiplexlnx"}, 127,
                  "quiplexlnx was not found; tried: /nonexistent/quiplexlnx"),
                 # The host's /usr/sbin is the rig's tmpfs, so the default path holds nothing.
                 ({"selection": "2", "binary": None}, 127, "quiplexlnx was not found; tried: "
                  "/nonexistent/bin/quiplexlnx, ./quiplexlnx, /usr/sbin/quiplexlnx")]
        for arguments, rc, message in cases:
            binary = arguments.pop("binary", BINARY)
            task = fleet.oneshot_task(binary, **arguments)
            task += "      environment:\n        PATH: \"/nonexistent/bin:\"\n"
            results = self.fleet.playbook(task, FORKS, "--limit", "host0")
            with self.subTest(arguments=arguments):
                self.assertTrue(results["host0"]["failed"])
                self.assertEqual((results["host0"]["rc"], results["host0"]["msg"]), (rc, message))
        self.assertEqual(self.fleet.reboot_calls(), [])

    def test_install_role_syntax_and_check_mode(self):
        """quiplex.boot.install: the guide's playbook passes --syntax-check; in check mode the
        hosts would get the key and the source and install quiplex, and nothing is written."""
        with open(os.path.join(fleet.ANSIBLE_DIR, "..", "doc", "ansible.md")) as guide:
            play = next(block for block in re.findall(r"```yaml\n(.*?)```", guide.read(), re.S)
                        if "quiplex.boot.install" in block)
        path = os.path.join(self.fleet.root, "install.yml")
        with open(path, "w") as f:
            f.write(play.replace("hosts: room4", "hosts: room"))
        done = subprocess.run(["ansible-playbook", "-i", os.path.join(self.fleet.root,
                                                                      "inventory.ini"),
                               "--syntax-check", path], capture_output=True, text=True,
                              env=dict(self.fleet.environment, ANSIBLE_STDOUT_CALLBACK="default"))
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        key = os.path.join(self.fleet.root, "quiplex-archive-keyring.gpg")
        with open(key, "wb") as f:
            f.write(b"a release key")
        source = "/etc/apt/sources.list.d/quiplex.sources"
        task = ("    - ansible.builtin.include_role:\n        name: quiplex.boot.install\n"
                "      vars:\n        quiplex_repo_url: http://127.0.0.1:9/repo\n"
                "        quiplex_key_src: %s\n" % key)
        # Two hosts: gathering facts is most of the time.
        results = self.fleet.playbook(task, FORKS, "--check", "--limit", "host0:host1")
        for host in self.fleet.hosts[:2]:
            with self.subTest(host):
                self.assertFalse(results[host]["failed"], results[host])
                self.assertTrue(results[host]["changed"])
                self.assertEqual(results[host]["msg"],
                                 "quiplex would be installed from http://127.0.0.1:9/repo/apt")
                self.assertNotEqual(self.fleet.inside(host, "test", "-e", source)[0], 0)
        self.assertFalse(os.path.exists("/etc/apt/keyrings/quiplex-archive-keyring.gpg"))

    def test_documentation_renders_without_warnings(self):
        done = subprocess.run(["ansible-doc", "quiplex.boot.oneshot"], capture_output=True,
                              text=True, env=self.fleet.environment)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertNotIn("WARNING", done.stderr)
        for text in ("selection", "run_file", "EXAMPLES", "RETURN VALUES", "ansible.builtin.reboot"):
            self.assertIn(text, done.stdout)
        # The collection ships with the programs: one version for both.
        with open(os.path.join(fleet.ANSIBLE_DIR, "..", "CMakeLists.txt")) as cmake:
            self.assertIn("project(quiplex VERSION %s " % fleet.VERSION, cmake.read())

    def test_validate_modules(self):
        """ansible-test's module validator, run directly (ansible-test itself needs pip); only
        the findings listed in the collection's tests/sanity/ignore-2.14.txt are allowed."""
        with open(shutil.which("ansible-doc")) as script:
            python = script.readline()[2:].strip()
        validator = subprocess.run([python, "-c", "import ansible_test, voluptuous; "
                                    "print(ansible_test.__path__[0])"],
                                   capture_output=True, text=True)
        if validator.returncode != 0:
            self.skipTest("no python3-voluptuous: " + validator.stderr.strip())
        folder = os.path.join(validator.stdout.strip(), "_util/controller/sanity/validate-modules")
        collection = os.path.join(self.fleet.root, "collections", "ansible_collections",
                                  "quiplex", "boot")
        done = subprocess.run([python, os.path.join(folder, "validate.py"), "--format", "json",
                               "--collection", "ansible_collections/quiplex/boot",
                               "--collection-version", fleet.VERSION, "--arg-spec",
                               "--plugin-type", "module", "plugins/modules/oneshot.py"],
                              cwd=collection, capture_output=True, text=True,
                              env=dict(self.fleet.environment, PYTHONPATH=folder))
        self.assertIn(done.returncode, (0, 3), done.stderr)  # 3: it found something
        found = json.loads(done.stdout or "{}").get("plugins/modules/oneshot.py", {})
        findings = {"plugins/modules/oneshot.py validate-modules:" + error["code"]
                    for error in found.get("errors", []) + found.get("warnings", [])}
        with open(os.path.join(collection, "tests", "sanity", "ignore-2.14.txt")) as ignore:
            allowed = {line.split("#")[0].strip() for line in ignore}
        self.assertLessEqual(findings, allowed, done.stdout + done.stderr)


if __name__ == "__main__":
    fleet.enter_private_namespace()
    if len(sys.argv) > 1:
        BINARY = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
