"""The MSI that scripts/package.sh built, under Wine's msiexec in a fresh prefix, and Authenticode
signing of quiplexu.exe and the MSI. Needs QUIPLEX_SOURCE_DIR and build/packages."""

import os
import re
import subprocess
import tempfile
import unittest
import zipfile

SOURCE = os.environ["QUIPLEX_SOURCE_DIR"]
VERSION = re.search(r"project\(quiplex VERSION ([0-9.]+)",
                    open(os.path.join(SOURCE, "CMakeLists.txt")).read()).group(1)
NEWER = re.sub(r"\d+$", lambda m: str(int(m.group(0)) + 1), VERSION)
ZIP = os.path.join(SOURCE, "build", "packages", "quiplexu-%s-win64.zip" % VERSION)
MSI = ZIP.replace("-win64.zip", "-x64.msi")
MAKE_MSI = os.path.join(SOURCE, "windows", "make_msi.sh")
EXE = "C:\\Program Files\\Quiplex\\quiplexu.exe"
# The Windows Installer's own folder and bookkeeping keys outlive every product.
INSTALLER_OWN = re.compile(r"(Installer(\\\\UserData\\\\S-1-5-18)?"
                           r"(\\\\(Features|Products|UpgradeCodes|Components))?|NetworkCards)$")
CERTIFICATES = """set -e
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=CA -keyout ca.key -out ca.pem \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign
openssl req -newkey rsa:2048 -nodes -subj /CN=Signer -keyout key.pem -out leaf.csr
printf 'extendedKeyUsage=codeSigning\\nkeyUsage=digitalSignature\\n' > leaf.ext
openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -days 2 -extfile leaf.ext -out cert.pem
"""


def run(*command, **options):
    return subprocess.run(command, capture_output=True, **options)


def read(path, member=None):
    if member:  # the program in a zip
        with zipfile.ZipFile(path) as z:
            return z.read("quiplexu-%s-win64/quiplexu.exe" % VERSION)
    with open(path, "rb") as f:
        return f.read()


class Installer(unittest.TestCase):
    """One prefix for all steps, which run in the order of their names."""

    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory()
        cls.prefix = os.path.join(cls.temp.name, "prefix")
        # No display, so message boxes return at once; no menu entries on the host's desktop.
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, WINEARCH="win64", DISPLAY="",
                       WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        cls.newer = os.path.join(cls.temp.name, "newer.msi")
        run("bash", MAKE_MSI, ZIP, NEWER, cls.newer, check=True)
        cls.wine(cls, "wineboot", "-i")
        cls.before = cls.leftovers(cls)

    @classmethod
    def tearDownClass(cls):
        run("wineserver", "-k", env=cls.env)
        cls.temp.cleanup()

    def leftovers(self):
        """Every file, folder and registry key of the prefix, once Wine has saved the registry."""
        run("wineserver", "-w", env=self.env)
        found = {os.path.join(top, name) for top, folders, files in os.walk(self.prefix)
                 for name in folders + files if not name.endswith(".reg")}
        for hive in ("system.reg", "user.reg"):
            found.update(hive + line.rsplit("]", 1)[0] for line in
                         read(os.path.join(self.prefix, hive)).decode("latin-1").splitlines()
                         if line.startswith("["))
        return found

    def wine(self, *command, trace=False):
        """Exit status, standard output and the message boxes that Wine's relay trace shows."""
        env = dict(self.env, WINEDEBUG="+relay" if trace else "-all")
        result = run("/usr/lib/wine/wine64", *command, env=env)
        return result.returncode, result.stdout.decode().replace("\r", ""), re.findall(
            r'Call user32\.MessageBox[AW]\(\w+,\w+ L?"(.*?)",\w+ L?"(.*)",(\w+)\) ret',
            result.stderr.decode("latin-1"))

    def msiexec(self, action, msi, *options, trace=False):
        status, _, boxes = self.wine("msiexec", action, "Z:" + msi.replace("/", "\\"), *options,
                                     trace=trace)
        return status, boxes

    def products(self):
        listing = self.wine("reg", "query", r"HKLM\Software\Microsoft\Windows\CurrentVersion"
                            r"\Uninstall", "/s")[1].split("\n\n")
        found = [dict(re.findall(r"^    (\w+) +REG_\w+ *(.*)$", key, re.M)) for key in listing]
        return [values for values in found if values.get("DisplayName") == "Quiplex UEFI"]

    def in_prefix(self, windows_path):
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))

    def test_1_silent_install(self):
        self.assertEqual(self.msiexec("/i", MSI, "/qn"), (0, []))
        self.assertEqual(read(self.in_prefix(EXE)), read(ZIP, "exe"))
        self.assertEqual(read(self.in_prefix(EXE[:-12] + "LICENSE")), read(SOURCE + "/LICENSE"))
        [product] = self.products()
        self.assertEqual(
            [product[k] for k in ("DisplayVersion", "Publisher", "NoModify", "NoRepair")],
            [VERSION, "The quiplex developers", "0x1", "0x1"])
        # Add/Remove Programs shows the icon the installer keeps under the product's code.
        code = re.search(r"\{[0-9A-F-]{36}\}", product["UninstallString"]).group(0)
        icon = r"C:\windows\Installer\%s\quiplexu.ico" % code
        self.assertEqual(read(self.in_prefix(icon)), read(SOURCE + "/windows/quiplexu.ico"))
        self.assertIn(icon, self.wine("reg", "query", r"HKLM\Software\Classes\Installer\Products",
                                      "/s", "/v", "ProductIcon")[1])

    def test_2_start_menu_shortcut(self):
        # Wine puts ProgramMenuFolder in the user's profile even for a per-machine install.
        links = [os.path.join(top, name) for top, _, files in os.walk(self.prefix)
                 for name in files if "Start Menu" in top and "Quiplex" in top]
        self.assertEqual([link.split("Start Menu/")[1] for link in links],
                         ["Programs/Quiplex/Quiplex hibernation monitor.lnk"])
        # The target in the link information, the arguments among the link's UTF-16 strings.
        self.assertIn(b"\0" + EXE.encode() + b"\0", read(links[0]))
        self.assertIn(b"\0\x0b\0" + "/hibernate".encode("utf-16-le"), read(links[0]))

    def test_3_installed_program_shows_its_version_box(self):
        # As tests/windows/quiplexu_under_wine.sh: the box as Wine's relay trace records it.
        self.assertEqual(self.wine(EXE, "--version", trace=True),
                         (0, "", [("quiplexu 1.03", "Quiplex UEFI", "00000040")]))

    def test_4_newer_version_replaces_the_installed_one(self):
        self.assertEqual(self.msiexec("/i", self.newer, "/qn"), (0, []))
        self.assertEqual([p["DisplayVersion"] for p in self.products()], [NEWER])

    def test_5_older_version_is_refused_with_a_message(self):
        # 1603 is ERROR_INSTALL_FAILURE, of which an exit status keeps the low byte.
        self.assertEqual(self.msiexec("/i", MSI, "/qb", trace=True), (1603 & 0xFF, [(
            "A newer version of Quiplex UEFI is installed. Uninstall it first.",
            "Install Failed", "00000000")]))
        self.assertEqual([p["DisplayVersion"] for p in self.products()], [NEWER])

    def test_6_uninstall_leaves_nothing_behind(self):
        self.assertEqual(self.msiexec("/x", self.newer, "/qn"), (0, []))
        changed = self.leftovers() ^ self.before
        self.assertEqual(sorted(p for p in changed if not INSTALLER_OWN.search(p)), [])


class Signing(unittest.TestCase):
    def test_signed_exe_and_msi_verify_and_a_changed_byte_does_not(self):
        with tempfile.TemporaryDirectory() as temp:
            def verify(data):
                with open(temp + "/check", "wb") as f:
                    f.write(data)
                return run("osslsigncode", "verify", "-CAfile", temp + "/ca.pem", "-in", f.name)

            run("bash", "-c", CERTIFICATES, cwd=temp, check=True)
            env = dict(os.environ, QUIPLEX_SIGN_KEY=temp + "/key.pem",
                       QUIPLEX_SIGN_CERT=temp + "/cert.pem")
            # The zip as package.sh makes it from the windows build, then the MSI from the zip.
            run("cpack", "-B", temp, cwd=SOURCE + "/build/package-windows", env=env, check=True)
            signed_zip = os.path.join(temp, os.path.basename(ZIP))
            run("bash", MAKE_MSI, signed_zip, VERSION, temp + "/signed.msi", env=env, check=True)
            run("msiextract", "-C", temp, temp + "/signed.msi", check=True)
            exe, msi = read(signed_zip, "exe"), read(temp + "/signed.msi")
            self.assertEqual(read(temp + "/Quiplex/quiplexu.exe"), exe)
            # A byte of code in the program; the publisher's name in the MSI's string pool.
            for name, data, at in (("exe", exe, 0x1000),
                                   ("msi", msi, msi.index(b"quiplex developers"))):
                result = verify(data)
                self.assertEqual(result.returncode, 0, name + result.stdout.decode())
                self.assertRegex(result.stdout, rb"Message digest algorithm +: SHA256")
                self.assertNotEqual(verify(data[:at] + b"X" + data[at + 1:]).returncode, 0, name)
            # Without a key (the packages test's build) neither file has a signature.
            for data in (read(ZIP, "exe"), read(MSI)):
                self.assertNotIn(b"Signer's certificate", verify(data).stdout)


if __name__ == "__main__":
    unittest.main(verbosity=2)
