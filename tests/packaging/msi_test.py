"""The MSI of build/packages under Wine's msiexec in a fresh prefix (install, upgrade, refused
downgrade, uninstall), and Authenticode signing of the zip's and the MSI's quiplexu.exe.
Needs QUIPLEX_SOURCE_DIR and the packages that scripts/package.sh built (the packages test).
"""

import os
import re
import struct
import subprocess
import tempfile
import unittest
import zipfile

SOURCE = os.environ["QUIPLEX_SOURCE_DIR"]
VERSION = re.search(r"project\(quiplex VERSION ([0-9.]+)",
                    open(os.path.join(SOURCE, "CMakeLists.txt")).read()).group(1)
PACKAGES = os.path.join(SOURCE, "build", "packages")
ZIP = os.path.join(PACKAGES, "quiplexu-%s-win64.zip" % VERSION)
MSI = os.path.join(PACKAGES, "quiplexu-%s-x64.msi" % VERSION)
EXE_IN_ZIP = "quiplexu-%s-win64/quiplexu.exe" % VERSION
MAKE_MSI = os.path.join(SOURCE, "windows", "make_msi.sh")
WINE = "/usr/lib/wine/wine64"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
PROGRAM = r"C:\Program Files\Quiplex\quiplexu.exe"
# The next version, built from the same files for the upgrade and downgrade steps.
NEWER = re.sub(r"\d+$", lambda m: str(int(m.group(0)) + 1), VERSION)
# The Windows Installer's own folder and bookkeeping keys, which outlive every product.
INSTALLER_OWN = re.compile(r"(Installer(\\\\UserData\\\\S-1-5-18)?"
                           r"(\\\\(Features|Products|UpgradeCodes|Components))?|NetworkCards)$")
INSTALL_FAILURE = 1603 & 0xFF  # what a Unix exit status keeps of ERROR_INSTALL_FAILURE


def run(*command, **options):
    return subprocess.run(command, capture_output=True, **options)


def checked(*command, **options):
    return subprocess.run(command, capture_output=True, check=True, **options)


def shortcut(path):
    """Target, arguments and working folder of a .lnk (a Shell Link with Unicode strings)."""
    with open(path, "rb") as f:
        data = f.read()
    flags, = struct.unpack_from("<I", data, 0x14)
    at = 0x4C
    if flags & 0x1:  # an item list before the link information
        at += 2 + struct.unpack_from("<H", data, at)[0]
    base_at = at + struct.unpack_from("<I", data, at + 16)[0]
    target = data[base_at:data.index(b"\0", base_at)].decode("latin-1")
    at += struct.unpack_from("<I", data, at)[0]
    strings = {}
    for bit, name in ((0x4, "name"), (0x8, "relative"), (0x10, "folder"), (0x20, "arguments"),
                      (0x40, "icon")):
        if flags & bit:
            count, = struct.unpack_from("<H", data, at)
            strings[name] = data[at + 2:at + 2 + 2 * count].decode("utf-16-le").rstrip("\0")
            at += 2 + 2 * count
    return target, strings.get("arguments"), strings.get("folder")


class Installer(unittest.TestCase):
    """One prefix for all steps, which run in the order of their names."""

    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory()
        cls.prefix = os.path.join(cls.temp.name, "prefix")
        # No display: message boxes return at once; no menu entries in the host's desktop.
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, WINEARCH="win64", WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        cls.env.pop("DISPLAY", None)
        cls.newer = os.path.join(cls.temp.name, "quiplexu-%s-x64.msi" % NEWER)
        subprocess.run(["bash", MAKE_MSI, ZIP, NEWER, cls.newer], check=True)
        checked(WINE, "wineboot", "-i", env=cls.env)
        cls.before = cls.leftovers()

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["wineserver", "-k"], env=cls.env)
        cls.temp.cleanup()

    @classmethod
    def leftovers(cls):
        """Every file, folder and registry key of the prefix, once Wine has saved the registry."""
        subprocess.run(["wineserver", "-w"], env=cls.env)
        found = set()
        for top, folders, files in os.walk(os.path.join(cls.prefix, "drive_c")):
            found.update(os.path.join(top, name) for name in folders + files)
        for hive in ("system.reg", "user.reg"):
            with open(os.path.join(cls.prefix, hive), encoding="latin-1") as f:
                found.update(hive + line.rsplit("]", 1)[0] for line in f if line.startswith("["))
        return found

    def wine(self, *command, debug="-all"):
        return run(WINE, *command, env=dict(self.env, WINEDEBUG=debug))

    def msiexec(self, action, msi, *options, debug="-all"):
        return self.wine("msiexec", action, "Z:" + msi.replace("/", "\\"), *options, debug=debug)

    def products(self):
        listing = self.wine("reg", "query", UNINSTALL, "/s").stdout.decode().replace("\r", "")
        found = []
        for block in listing.split("\n\n"):
            values = dict(re.findall(r"^    (\w+) +REG_\w+ *(.*)$", block, re.M))
            if values.get("DisplayName") == "Quiplex UEFI":
                found.append(values)
        return found

    def path(self, windows_path):
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))

    def test_1_silent_install(self):
        self.assertEqual(self.msiexec("/i", MSI, "/qn").returncode, 0)
        with zipfile.ZipFile(ZIP) as z, open(self.path(PROGRAM), "rb") as installed:
            self.assertEqual(installed.read(), z.read(EXE_IN_ZIP))
        for name in ("README.md", "LICENSE"):
            self.assertTrue(os.path.isfile(self.path(r"C:\Program Files\Quiplex\\" + name)))

        [product] = self.products()
        expected = {"DisplayName": "Quiplex UEFI", "DisplayVersion": VERSION,
                    "Publisher": "The quiplex developers", "NoModify": "0x1", "NoRepair": "0x1"}
        self.assertEqual({k: product.get(k) for k in expected}, expected)
        # Add/Remove Programs shows the icon the installer keeps under the product's code.
        code = re.search(r"\{[0-9A-F-]{36}\}", product["UninstallString"]).group(0)
        icon = r"C:\windows\Installer\%s\quiplexu.ico" % code
        published = self.wine("reg", "query", r"HKLM\Software\Classes\Installer\Products", "/s",
                              "/v", "ProductIcon").stdout.decode()
        self.assertIn(icon, published)
        with open(self.path(icon), "rb") as f, \
                open(os.path.join(SOURCE, "windows", "quiplexu.ico"), "rb") as source:
            self.assertEqual(f.read(), source.read())

    def test_2_start_menu_shortcut(self):
        # Wine puts ProgramMenuFolder in the user's profile even for a per-machine install.
        links = [os.path.join(top, name) for top, _, files in os.walk(self.prefix)
                 for name in files if name.endswith(".lnk") and "Quiplex" in top]
        self.assertEqual([os.path.relpath(link, os.path.dirname(os.path.dirname(link)))
                          for link in links], ["Quiplex/Quiplex hibernation monitor.lnk"])
        self.assertIn(os.sep.join(["Start Menu", "Programs", "Quiplex"]), links[0])
        self.assertEqual(shortcut(links[0]),
                         (PROGRAM, "/hibernate", "C:\\Program Files\\Quiplex\\"))

    def test_3_installed_program_shows_its_version_box(self):
        # As tests/windows/quiplexu_under_wine.sh: the box as Wine's relay trace records it.
        result = self.wine(PROGRAM, "--version", debug="+relay")
        boxes = [line for line in result.stderr.decode("latin-1").splitlines()
                 if "Call user32.MessageBoxA(" in line]
        self.assertEqual(result.returncode, 0)
        self.assertEqual(len(boxes), 1, boxes)
        self.assertRegex(boxes[0], r'"quiplexu 1\.03",[0-9a-f]+ "Quiplex UEFI",00000040\)')

    def test_4_newer_version_replaces_the_installed_one(self):
        self.assertEqual(self.msiexec("/i", self.newer, "/qn").returncode, 0)
        self.assertEqual([p["DisplayVersion"] for p in self.products()], [NEWER])
        self.assertTrue(os.path.isfile(self.path(PROGRAM)))

    def test_5_older_version_is_refused_with_a_message(self):
        result = self.msiexec("/i", MSI, "/qb", debug="+relay")
        boxes = [line for line in result.stderr.decode("latin-1").splitlines()
                 if "Call user32.MessageBoxW(" in line]
        self.assertEqual(result.returncode, INSTALL_FAILURE)
        self.assertEqual(len(boxes), 1, boxes)
        self.assertIn("A newer version of Quiplex UEFI is installed. Uninstall it first.", boxes[0])
        self.assertEqual([p["DisplayVersion"] for p in self.products()], [NEWER])

    def test_6_uninstall_leaves_nothing_behind(self):
        self.assertEqual(self.msiexec("/x", self.newer, "/qn").returncode, 0)
        self.assertEqual(self.products(), [])
        changed = self.leftovers() ^ self.before
        self.assertEqual(sorted(p for p in changed if not INSTALLER_OWN.search(p)), [])


class Signing(unittest.TestCase):
    """A throwaway CA and code-signing certificate; the zip and MSI made as package.sh does."""

    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory()
        ca_key, cls.ca, key, cert, extensions = (
            os.path.join(cls.temp.name, n) for n in ("ca.key", "ca.pem", "key.pem", "cert.pem",
                                                     "leaf.ext"))
        with open(extensions, "w") as f:
            f.write("extendedKeyUsage=codeSigning\nkeyUsage=digitalSignature\n")
        request = ["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-days", "2"]
        checked(*request, "-x509", "-keyout", ca_key, "-out", cls.ca, "-subj", "/CN=Test CA",
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign")
        checked("openssl", "x509", "-req", "-CA", cls.ca, "-CAkey", ca_key, "-days", "2",
                "-extfile", extensions, "-out", cert,
                input=checked(*request, "-keyout", key, "-subj", "/CN=Test signer").stdout)

        env = dict(os.environ, QUIPLEX_SIGN_KEY=key, QUIPLEX_SIGN_CERT=cert)
        staging = os.path.join(cls.temp.name, "cpack")
        checked("cpack", "-B", staging, cwd=os.path.join(SOURCE, "build", "package-windows"),
                env=env)
        zip_path = os.path.join(staging, os.path.basename(ZIP))
        cls.msi = os.path.join(cls.temp.name, "signed.msi")
        subprocess.run(["bash", MAKE_MSI, zip_path, VERSION, cls.msi], env=env, check=True)
        with zipfile.ZipFile(zip_path) as z:
            cls.exe = cls.write("zip.exe", z.read(EXE_IN_ZIP))
        extracted = os.path.join(cls.temp.name, "extracted")
        checked("msiextract", "-C", extracted, cls.msi)
        with open(os.path.join(extracted, "Quiplex", "quiplexu.exe"), "rb") as f:
            cls.installed = cls.write("msi.exe", f.read())

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    @classmethod
    def write(cls, name, data):
        path = os.path.join(cls.temp.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def verify(self, path):
        return run("osslsigncode", "verify", "-CAfile", self.ca, "-in", path)

    def test_signed_files_verify_and_a_changed_byte_does_not(self):
        with open(self.exe, "rb") as a, open(self.installed, "rb") as b:
            self.assertEqual(a.read(), b.read())
        # A byte of code in the program; the publisher's name in the MSI's string pool.
        for path, at in ((self.exe, lambda data: 0x1000),
                         (self.msi, lambda data: data.index(b"quiplex developers"))):
            with self.subTest(os.path.basename(path)):
                result = self.verify(path)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertRegex(result.stdout, rb"Message digest algorithm +: SHA256")
                with open(path, "rb") as f:
                    data = bytearray(f.read())
                data[at(data)] ^= 0x20
                self.assertNotEqual(self.verify(self.write("changed", data)).returncode, 0)

    def test_unsigned_build_has_no_signature(self):
        with zipfile.ZipFile(ZIP) as z:
            unsigned = self.write("unsigned.exe", z.read(EXE_IN_ZIP))
        for path in (unsigned, MSI):
            result = self.verify(path)
            self.assertNotEqual(result.returncode, 0)
            self.assertNotIn(b"Signer's certificate", result.stdout)


if __name__ == "__main__":
    unittest.main(verbosity=2)
