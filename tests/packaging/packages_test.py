# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""The packages as shipped: scripts/package.sh, then the .deb's contents, control fields, lintian,
its manual page rendered with warnings as errors, the .rpm's contents, header and rpmlint, the
.rpm installed into a scratch root, the zip's contents, and the .deb's own quiplexlnx writing a
request on the emulated UEFI PC (machine.py waits for the emulator lock).
Needs QUIPLEX_SOURCE_DIR, QUIPLEX_EMULATED_DIR (the kernel cache of the emulated tests) and
QUIPLEX_RELEASE_TEST_DIR (where release_rig keeps the key the release is signed with).
"""

import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

SOURCE = os.environ["QUIPLEX_SOURCE_DIR"]
sys.path.insert(0, os.path.join(SOURCE, "tests", "emulated"))
import linux_image  # noqa: E402
import machine  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import release_rig  # noqa: E402
from release_rig import DEB, PACKAGES, VERSION, run  # noqa: E402

ZIP = os.path.join(PACKAGES, "quiplexu-%s-win64.zip" % VERSION)
RPM = os.path.join(PACKAGES, "quiplex-%s-1.x86_64.rpm" % VERSION)

GUIDES = ("ansible", "command-line", "linux", "uefi-shell", "windows")
DEB_FILES = {
    "usr/sbin/quiplexlnx": 0o755,
    "usr/lib/systemd/system-sleep/quiplex": 0o755,
    "usr/lib/quiplex/quiplexefi.efi": 0o644,
    "usr/share/man/man8/quiplexlnx.8.gz": 0o644,
    "usr/share/doc/quiplex/README.md": 0o644,
    "usr/share/doc/quiplex/LICENSE": 0o644,
    "usr/share/doc/quiplex/copyright": 0o644,
    "usr/share/doc/quiplex/NOTICE-gnu-efi": 0o644,
    "usr/share/doc/quiplex/changelog.gz": 0o644,
    **{"usr/share/doc/quiplex/doc/%s.md" % guide: 0o644 for guide in GUIDES},
    "usr/share/bash-completion/completions/quiplexlnx": 0o644,
    "usr/share/zsh/vendor-completions/_quiplexlnx": 0o644,
}
# The .rpm holds the same files, and owns only its own directories.
RPM_FILES = DEB_FILES
RPM_DIRECTORIES = {"usr/lib/quiplex", "usr/share/doc/quiplex", "usr/share/doc/quiplex/doc"}
MODES = {"r": 4, "w": 2, "x": 1, "-": 0}

INIT_BODY = """mount -t efivarfs none $EFIVARS
printf '\\007\\000\\000\\000\\132\\166' > $EFIVARS/ZarvexUEFI-$GUID
/usr/sbin/quiplexlnx 2/noreboot
echo "QUIPLEX-DEB-STATUS $?"
echo "QUIPLEX-DEB-BYTES $(od -An -tx1 -v $EFIVARS/Quiplex-$GUID)"
"""


class Packages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Signed with the release test's key (release_test.py), as a release would be.
        home, key = release_rig.release_key()
        built = run("bash", os.path.join(SOURCE, "scripts", "package.sh"),
                    env=dict(os.environ, QUIPLEX_GPG_HOME=home, QUIPLEX_GPG_KEY=key))
        if built.returncode != 0:
            raise AssertionError("package.sh failed:\n" + built.stdout + built.stderr)
        cls.tree = tempfile.TemporaryDirectory()
        subprocess.run(["dpkg-deb", "-x", DEB, cls.tree.name], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.tree.cleanup()

    def path(self, name):
        return os.path.join(self.tree.name, name)

    def test_deb_holds_every_file_with_its_mode(self):
        listing = run("dpkg-deb", "-c", DEB).stdout
        files = {}
        for line in listing.splitlines():
            fields = line.split()
            if not fields[0].startswith("d"):
                bits = fields[0][1:10]
                files[fields[-1].lstrip("./")] = sum(
                    MODES[c] << (6 - 3 * (i // 3)) for i, c in enumerate(bits))
        self.assertEqual(files, DEB_FILES)

    def test_control_fields(self):
        fields = {}
        for name in ("Package", "Version", "Architecture", "Section", "Depends", "Description"):
            fields[name] = run("dpkg-deb", "-f", DEB, name).stdout.strip()
        self.assertEqual(fields["Package"], "quiplex")
        self.assertEqual(fields["Version"], VERSION)
        self.assertEqual(fields["Architecture"], "amd64")
        self.assertEqual(fields["Section"], "admin")
        # What dpkg-shlibdeps computed for quiplexlnx: the C library, and nothing else.
        self.assertRegex(fields["Depends"], r"^libc6 \(>= 2\.\d+\)$")
        self.assertGreater(len(fields["Description"].splitlines()), 5)

    def test_lintian_finds_no_error_or_warning(self):
        result = run("lintian", "--fail-on", "error,warning", DEB)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        # Nor any hardening tag among the informational ones, with no override to hide it.
        tags = run("lintian", "--display-info", "--no-override", DEB).stdout
        self.assertNotIn("hardening", tags)
        self.assertNotIn("statically-linked", tags)

    def test_programs_and_hook(self):
        kind = run("file", "-b", self.path("usr/sbin/quiplexlnx")).stdout
        for word in ("pie executable", "dynamically linked", "/lib64/ld-linux-x86-64.so.2"):
            self.assertIn(word, kind)
        self.assertIn("stripped", kind.replace("not stripped", ""))
        with open(self.path("usr/lib/quiplex/quiplexefi.efi"), "rb") as f:
            self.assertEqual(f.read(2), b"MZ")
        with open(self.path("usr/lib/systemd/system-sleep/quiplex")) as f:
            self.assertIn('quiplexlnx="/usr/sbin/quiplexlnx"\n', f.read())

    def test_manual_page_renders_without_warnings(self):
        page = self.path("usr/share/man/man8/quiplexlnx.8.gz")
        for width in ("80", "60"):
            result = run("man", "--warnings", "-l", page,
                         env=dict(os.environ, MANWIDTH=width, MAN_KEEP_FORMATTING="0"))
            self.assertEqual((result.returncode, result.stderr), (0, ""), "width " + width)
            # man writes bold and underline as overstrikes when it is not on a terminal.
            self.assertIn("EXIT STATUS", re.sub(".\b", "", result.stdout))
        source = run("sh", "-c", "zcat '%s' | groff -ww -z -man" % page)
        self.assertEqual((source.returncode, source.stderr), (0, ""))

    def test_rpm_holds_the_files_of_the_deb_with_the_licence_marked(self):
        query = "[%{FILEMODES:octal} %{FILEFLAGS:fflags} %{FILENAMES}\n]"
        listing = run("rpm", "-qp", "--qf", query, RPM).stdout
        files, directories, licences = {}, set(), []
        for line in listing.splitlines():
            mode, *flags, name = line.split()
            name = name.lstrip("/")
            if mode.startswith("40"):
                directories.add(name)
            else:
                files[name] = int(mode, 8) & 0o7777
            if "l" in "".join(flags):
                licences.append(name)
        self.assertEqual(files, RPM_FILES)
        self.assertEqual(directories, RPM_DIRECTORIES)
        self.assertEqual(licences, ["usr/share/doc/quiplex/LICENSE"])

    def test_rpm_header_and_needs(self):
        query = "%{NAME} %{VERSION}-%{RELEASE} %{ARCH}|%{LICENSE}|%{URL}|%{SUMMARY}|%{DESCRIPTION}"
        fields = run("rpm", "-qp", "--qf", query, RPM).stdout.split("|")
        self.assertEqual(fields[:2], ["quiplex %s-1 x86_64" % VERSION, "MIT"])
        self.assertTrue(fields[2].startswith("https://"), fields[2])
        self.assertTrue(fields[3][:1].isupper(), fields[3])
        self.assertIn("system-sleep hook", fields[4])
        # Only what rpm computed: the C library's sonames for quiplexlnx, the dynamic loader's
        # hash style, /bin/sh for the hook and rpm's own format features.
        needs = run("rpm", "-qp", "--requires", RPM).stdout.split("\n")
        self.assertIn("libc.so.6()(64bit)", needs)
        self.assertEqual([n for n in needs if n and not n.startswith(("rpmlib(", "libc.so.6(",
                                                                      "rtld(GNU_HASH)"))],
                         ["/bin/sh"])

    def test_rpmlint_finds_nothing_left_unexplained(self):
        result = run("rpmlint", "-c", os.path.join(SOURCE, "packaging", "rpmlint.toml"), RPM)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(" 0 errors, 0 warnings", result.stdout)

    def test_rpm_installed_into_a_root_writes_a_request(self):
        with tempfile.TemporaryDirectory() as root:
            installed = run("rpm", "--root", root, "-i", "--nodeps", RPM)
            self.assertEqual(installed.returncode, 0, installed.stderr)
            with open(os.path.join(root, "usr/lib/systemd/system-sleep/quiplex")) as f:
                self.assertIn('quiplexlnx="/usr/sbin/quiplexlnx"\n', f.read())
            result = run("bash", os.path.join(SOURCE, "tests", "packaging", "namespace_write.sh"),
                         os.path.join(root, "usr/sbin/quiplexlnx"))
        if result.returncode == 77:
            self.skipTest(result.stdout)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_zip_holds_the_programs_and_documents(self):
        top = "quiplexu-%s-win64/" % VERSION
        with zipfile.ZipFile(ZIP) as z:
            self.assertEqual(sorted(z.namelist()),
                             [top + "LICENSE", top + "NOTICE-mingw-w64.txt", top + "README.md",
                              top + "doc/"] +
                             [top + "doc/%s.md" % guide for guide in GUIDES] +
                             [top + "quiplexc.exe", top + "quiplexguard.exe", top + "quiplexu.exe"])
            # quiplexu a GUI program (subsystem 2), quiplexc and the service's a console one (3).
            for name, subsystem in (("quiplexu.exe", 2), ("quiplexc.exe", 3),
                                    ("quiplexguard.exe", 3)):
                exe = z.read(top + name)
                # A PE image for x86-64: "MZ", then the machine field after the "PE\0\0"
                # signature; the subsystem 68 bytes into the optional header.
                pe = int.from_bytes(exe[0x3C:0x40], "little")
                self.assertEqual((exe[:2], exe[pe:pe + 6]), (b"MZ", b"PE\0\0\x64\x86"), name)
                self.assertEqual(int.from_bytes(exe[pe + 92:pe + 94], "little"), subsystem, name)

    def test_shipped_quiplexlnx_writes_a_request_on_the_emulated_pc(self):
        folder = os.environ["QUIPLEX_EMULATED_DIR"]
        kernel, module = linux_image.fetch_kernel(os.path.join(folder, "cache"))
        initrd = os.path.join(folder, "deb-quiplexlnx.cpio.gz")
        linux_image.build_initramfs(
            initrd, module, {"usr/sbin/quiplexlnx": self.path("usr/sbin/quiplexlnx")}, INIT_BODY)
        result = machine.Machine(os.path.join(folder, "deb-machine")).boot_kernel(kernel, initrd)
        console = result.output.replace("\r", "")
        self.assertIn("QUIPLEX-DEB-STATUS 0\n", console, console[-3000:])
        self.assertIn("QUIPLEX-DEB-BYTES  07 00 00 00 02 00 00 00 00 00\n", console)


if __name__ == "__main__":
    unittest.main(verbosity=2)
