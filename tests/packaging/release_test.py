# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""The signed release the packages test built: the apt repository through the Linux guide's
source in a fresh Debian 12 root (install, a later release upgraded, tampered index and other
key refused), the rpm repository with rpmkeys and dnf, SHA256SUMS.asc, and the bill of
materials against the CycloneDX 1.6 schema and the programs' link maps.
Needs QUIPLEX_SOURCE_DIR and QUIPLEX_RELEASE_TEST_DIR (the test key, the cached Debian root).
"""

import glob
import gzip
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import warnings

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import release_rig  # noqa: E402
from release_rig import DEB, PACKAGES, SOURCE, VERSION, run  # noqa: E402

RPM_NAME = "quiplex-%s-1.x86_64.rpm" % VERSION
SBOM = os.path.join(PACKAGES, "quiplex-%s.cdx.json" % VERSION)
KEYRING = os.path.join(PACKAGES, "quiplex-archive-keyring.gpg")
ARMOURED_KEY = os.path.join(PACKAGES, "RPM-GPG-KEY-quiplex")
PUBLISHED_URL = "https://quiplex.example.org/repo"
SCHEMAS = os.environ.get(
    "QUIPLEX_CYCLONEDX_SCHEMAS",
    "/opt/quiplex/cyclonedx/node_modules/@cyclonedx/cyclonedx-library/res/schema")
LINK_MAPS = os.path.join(SOURCE, "build", "package-*", "link-maps", "*.map")


def guide_block(start):
    """The first fenced block of the Linux guide that begins with the given line."""
    with open(os.path.join(SOURCE, "doc", "linux.md")) as f:
        blocks = re.findall(r"^```[a-z]*\n(.*?)^```$", f.read(), re.M | re.S)
    return next(b for b in blocks if b.startswith(start))


def copy_tree(source, target):
    shutil.copytree(source, target, symlinks=True)
    return target


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory()
        cls.other_home = os.path.join(cls.temp.name, "other-gnupg")
        release_rig.make_key(cls.other_home, "someone else <else@example.org>", "ed25519")
        cls.other_keyring = os.path.join(cls.temp.name, "other-keyring.gpg")
        with open(cls.other_keyring, "wb") as f:
            f.write(subprocess.run(["gpg", "--homedir", cls.other_home, "--export"],
                                   capture_output=True, check=True).stdout)
        release_rig.stop_agent(cls.other_home)

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def scratch(self, name):
        path = os.path.join(self.temp.name, name)
        os.makedirs(path)
        return path

    def test_sha256sums_lists_packages_and_the_sbom_but_no_key_signature_or_repository(self):
        with open(os.path.join(PACKAGES, "SHA256SUMS")) as f:
            listed = sorted(line.split(None, 1)[1].strip() for line in f)
        shipped = sorted(os.path.basename(p) for p in glob.glob(os.path.join(PACKAGES, "*"))
                         if os.path.isfile(p) and not p.endswith(
                             ("SHA256SUMS", ".asc", ".gpg", "RPM-GPG-KEY-quiplex")))
        self.assertEqual(listed, shipped)
        self.assertIn(os.path.basename(SBOM), listed)
        for unlisted in ("SHA256SUMS.asc", "quiplex-archive-keyring.gpg", "RPM-GPG-KEY-quiplex"):
            self.assertTrue(os.path.isfile(os.path.join(PACKAGES, unlisted)), unlisted)
        with open(ARMOURED_KEY) as f:
            self.assertTrue(f.read().startswith("-----BEGIN PGP PUBLIC KEY BLOCK-----"))
        # The packages themselves stay unsigned: rpm finds no signature in the build's .rpm.
        signature = run("rpm", "-qp", "--qf", "%{RSAHEADER:pgpsig}", os.path.join(PACKAGES,
                                                                                   RPM_NAME))
        self.assertEqual(signature.stdout, "(none)")

    def test_gpg_verify_of_the_signed_sums(self):
        with open(os.path.join(PACKAGES, "SHA256SUMS")) as f:
            sums = f.read()
        changed = sums.replace(sums[:64], "0" * 64, 1)
        rows = (  # what is checked, keyring, passes
            ("SHA256SUMS as signed", sums, KEYRING, True),
            ("one line changed", changed, KEYRING, False),
            ("another key", sums, self.other_keyring, False),
        )
        for what, text, keyring, passes in rows:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                shutil.copy(os.path.join(PACKAGES, "SHA256SUMS.asc"), folder)
                shutil.copy(keyring, os.path.join(folder, "keyring.gpg"))
                with open(os.path.join(folder, "SHA256SUMS"), "w") as f:
                    f.write(text)
                result = run("gpg", "--homedir", folder, "--no-default-keyring", "--keyring",
                             "./keyring.gpg", "--verify", "SHA256SUMS.asc", "SHA256SUMS",
                             cwd=folder)
                release_rig.stop_agent(folder)
                self.assertEqual(result.returncode == 0, passes, result.stderr)
                if passes:
                    self.assertIn('Good signature from "quiplex release test key', result.stderr)

    def test_apt_installs_upgrades_and_refuses_tampered_or_foreign_indexes(self):
        served = self.scratch("apt-served")
        repo = copy_tree(os.path.join(PACKAGES, "repo"), os.path.join(served, "repo"))
        root = self.fresh_root("apt-root")
        source = guide_block("Types: deb\n")
        self.assertIn("Signed-By: /etc/apt/keyrings/quiplex-archive-keyring.gpg\n", source)
        os.makedirs(os.path.join(root, "etc/apt/keyrings"), exist_ok=True)

        def update(url, keyring):
            with open(os.path.join(root, "etc/apt/sources.list.d/quiplex.sources"), "w") as f:
                f.write(source.replace(PUBLISHED_URL, url))
            shutil.copy(keyring, os.path.join(root, "etc/apt/keyrings/quiplex-archive-keyring.gpg"))
            shutil.rmtree(os.path.join(root, "var/lib/apt/lists"))
            os.makedirs(os.path.join(root, "var/lib/apt/lists/partial"))
            return release_rig.in_root(root, "apt-get", "update")

        def installed():
            return release_rig.in_root(root, "dpkg-query", "-W", "-f", "${Version}",
                                       "quiplex").stdout

        # A changed Packages file, compressed again as apt fetches it, under the signed Release.
        tampered = copy_tree(repo, os.path.join(served, "tampered"))
        index = os.path.join(tampered, "apt/dists/stable/main/binary-amd64/Packages")
        with open(index) as f:
            text = f.read()
        with open(index, "w") as f:
            f.write(text.replace("Description:", "Description: changed", 1))
        with open(index, "rb") as f, gzip.GzipFile(index + ".gz", "wb", mtime=0) as z:
            z.write(f.read())

        with release_rig.served(served) as url:
            result = update(url + "/repo", KEYRING)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            result = release_rig.in_root(root, "apt-get", "install", "-y", "quiplex")
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertEqual(installed(), VERSION)

            later = self.later_release()
            home, key = release_rig.release_key()
            published = run("bash", os.path.join(SOURCE, "scripts", "make_repos.sh"), repo, later,
                            env=dict(os.environ, QUIPLEX_GPG_HOME=home, QUIPLEX_GPG_KEY=key))
            release_rig.stop_agent(home)
            self.assertEqual(published.returncode, 0, published.stderr)
            self.assertEqual(update(url + "/repo", KEYRING).returncode, 0)
            result = release_rig.in_root(root, "apt-get", "upgrade", "-y")
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertEqual(installed(), VERSION + "+test1")

            refusals = (  # what, repository, keyring
                ("a Packages file changed after signing", url + "/tampered", KEYRING),
                ("another key", url + "/repo", self.other_keyring),
            )
            for what, address, keyring in refusals:
                with self.subTest(what):
                    result = update(address, keyring)
                    self.assertEqual(result.returncode, 100, result.stdout + result.stderr)

    def fresh_root(self, name):
        """A new Debian 12 root without any source of Debian's own."""
        root = self.scratch(name)
        release_rig.unpack_root(release_rig.debian_root_tar(), root)
        for listing in glob.glob(os.path.join(root, "etc/apt/sources.list*")):
            if os.path.isdir(listing):
                shutil.rmtree(listing)
                os.mkdir(listing)
            else:
                os.remove(listing)
        return root

    def test_ansible_role_installs_from_the_repository_in_the_debian_root(self):
        root = self.fresh_root("ansible-root")
        work = self.scratch("ansible")
        remote_temp = os.path.join(work, "remote-tmp")
        os.makedirs(remote_temp)
        # The modules run chrooted; the files Ansible puts beside them are seen at the same path.
        python = os.path.join(work, "python")
        with open(python, "w") as f:
            f.write('#!/bin/sh\nexec unshare --mount -- sh -c \'mount -t proc proc "$0/proc" && '
                    'mkdir -p "$0$1" && mount --bind "$1" "$0$1" && shift && '
                    'exec chroot "$0" /usr/bin/python3 "$@"\' %s %s "$@"\n' % (root, remote_temp))
        os.chmod(python, 0o755)
        with open(os.path.join(work, "inventory.ini"), "w") as f:
            f.write("debian-root ansible_connection=local ansible_python_interpreter=%s\n"
                    % python)
        environment = {k: v for k, v in os.environ.items() if not k.startswith("ANSIBLE_")}
        environment.update(
            ANSIBLE_HOME=os.path.join(work, "home"), ANSIBLE_NOCOLOR="1",
            ANSIBLE_COLLECTIONS_PATH=os.path.join(work, "collections"),
            ANSIBLE_LOCAL_TEMP=os.path.join(work, "local-tmp"), ANSIBLE_REMOTE_TEMP=remote_temp)
        collection = glob.glob(os.path.join(PACKAGES, "quiplex-boot-*.tar.gz"))[0]
        installed = run("ansible-galaxy", "collection", "install", "--offline", "-p",
                        os.path.join(work, "collections"), collection, env=environment)
        self.assertEqual(installed.returncode, 0, installed.stderr)
        with release_rig.served(os.path.join(PACKAGES, "repo")) as url:
            with open(os.path.join(work, "install.yml"), "w") as f:
                f.write("- hosts: all\n  gather_facts: false\n  roles:\n"
                        "    - role: quiplex.boot.install\n"
                        "      vars:\n        quiplex_repo_url: %s\n" % url)
            for changed in (True, False):
                done = run("ansible-playbook", "-i", os.path.join(work, "inventory.ini"),
                           os.path.join(work, "install.yml"), env=environment)
                recap = re.search(r"debian-root\s+: ok=\d+\s+changed=(\d+)\s+"
                                  r"unreachable=0\s+failed=0", done.stdout)
                self.assertIsNotNone(recap, done.stdout + done.stderr)
                self.assertEqual(int(recap.group(1)) > 0, changed, done.stdout)
                version = release_rig.in_root(root, "dpkg-query", "-W", "-f", "${Version}",
                                              "quiplex")
                self.assertEqual(version.stdout, VERSION)

    def later_release(self):
        """The .deb again with a higher version, as the next release would be."""
        tree = self.scratch("later-deb")
        subprocess.run(["dpkg-deb", "-R", DEB, tree], check=True)
        control = os.path.join(tree, "DEBIAN", "control")
        with open(control) as f:
            text = f.read()
        with open(control, "w") as f:
            f.write(text.replace("Version: %s\n" % VERSION, "Version: %s+test1\n" % VERSION))
        later = os.path.join(self.temp.name, "quiplex_%s+test1_amd64.deb" % VERSION)
        subprocess.run(["dpkg-deb", "--root-owner-group", "-b", tree, later], check=True,
                       capture_output=True)
        return later

    def test_rpm_signature_checked_with_the_exported_key(self):
        signed = os.path.join(PACKAGES, "repo", "rpm", RPM_NAME)
        unsigned = os.path.join(PACKAGES, RPM_NAME)
        rows = (  # what, package, key imported, status, output
            ("signed copy, key imported", signed, True, 0, "digests signatures OK"),
            ("signed copy, no key", signed, False, 1, "digests SIGNATURES NOT OK"),
            ("the build's unsigned .rpm", unsigned, True, 0, "digests OK"),
        )
        for what, package, imported, status, output in rows:
            with self.subTest(what), tempfile.TemporaryDirectory() as root:
                if imported:
                    subprocess.run(["rpmkeys", "--root", root, "--import", ARMOURED_KEY],
                                   check=True)
                result = run("rpmkeys", "--root", root, "--checksig", package)
                self.assertEqual((result.returncode, result.stdout.strip()),
                                 (status, "%s: %s" % (package, output)))

    def test_dnf_checks_the_signed_repository(self):
        served = self.scratch("rpm-served")
        copy_tree(os.path.join(PACKAGES, "repo", "rpm"), os.path.join(served, "good"))
        tampered = copy_tree(os.path.join(PACKAGES, "repo", "rpm"),
                             os.path.join(served, "tampered"))
        repomd = os.path.join(tampered, "repodata", "repomd.xml")
        with open(repomd) as f:
            text = f.read()
        with open(repomd, "w") as f:
            f.write(text.replace("<revision>", "<revision>1", 1))
        shutil.copy(self.other_keyring, os.path.join(served, "other-key.gpg"))
        with open(os.path.join(PACKAGES, "repo", "rpm", "quiplex.repo")) as f:
            repo_file = f.read()
        for line in ("gpgcheck=1", "repo_gpgcheck=1",
                     "gpgkey=%s/rpm/RPM-GPG-KEY-quiplex" % PUBLISHED_URL):
            self.assertIn(line + "\n", repo_file)
        with release_rig.served(served) as url:
            rows = (  # what, repository, key, listed
                ("as signed", "good", "good/RPM-GPG-KEY-quiplex", True),
                ("repomd.xml changed after signing", "tampered", "good/RPM-GPG-KEY-quiplex",
                 False),
                ("another key", "good", "other-key.gpg", False),
            )
            for what, folder, key, listed in rows:
                with self.subTest(what), tempfile.TemporaryDirectory() as root:
                    result = run(
                        "dnf", "-y", "-q", "--installroot=" + root, "--releasever=1",
                        "--setopt=reposdir=/dev/null", "--setopt=cachedir=" + root + "/cache",
                        "--repofrompath=quiplex,%s/%s" % (url, folder), "--repo=quiplex",
                        "--setopt=quiplex.gpgcheck=1", "--setopt=quiplex.repo_gpgcheck=1",
                        "--setopt=quiplex.gpgkey=%s/%s" % (url, key), "repoquery", "quiplex")
                    found = "quiplex-0:%s-1.x86_64" % VERSION in result.stdout
                    self.assertEqual((result.returncode == 0 and found), listed,
                                     result.stdout + result.stderr)

    def test_sbom_validates_against_the_cyclonedx_schema(self):
        import jsonschema
        self.assertTrue(os.path.isdir(SCHEMAS), "no CycloneDX schemas in %s: run "
                        "scripts/install-deps.sh" % SCHEMAS)
        store = {}
        for path in glob.glob(os.path.join(SCHEMAS, "*.schema.json")):
            with open(path) as f:
                schema = json.load(f)
            # The schemas name each other by file name, relative to their $id.
            store["http://cyclonedx.org/schema/" + os.path.basename(path)] = schema
            store[schema["$id"]] = schema
        schema = store["http://cyclonedx.org/schema/bom-1.6.schema.json"]
        with open(SBOM) as f:
            bom = json.load(f)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            resolver = jsonschema.RefResolver.from_schema(schema, store=store)
            validator = jsonschema.Draft7Validator(schema, resolver=resolver)
            errors = ["%s: %s" % (list(e.path), e.message[:300])
                      for e in validator.iter_errors(bom)]
            # The validator bites: a hash algorithm CycloneDX does not name, an SPDX licence
            # identifier that is none (checked through the SPDX schema the store holds).
            wrong = json.loads(json.dumps(bom))
            wrong["components"][0]["hashes"][0]["alg"] = "SHA256"
            wrong["metadata"]["component"]["licenses"] = [{"license": {"id": "MIT-ish"}}]
            faults = sorted(list(e.path)[-1] for e in validator.iter_errors(wrong))
        self.assertEqual(errors, [])
        self.assertEqual(faults, ["alg", "licenses"])
        self.assertEqual((bom["specVersion"], bom["metadata"]["component"]["name"],
                          bom["metadata"]["component"]["version"]), ("1.6", "quiplex", VERSION))

    def sbom(self):
        with open(SBOM) as f:
            bom = json.load(f)
        components = {c["bom-ref"]: c for c in bom["components"]}
        for c in bom["components"]:
            components.update({p["bom-ref"]: p for p in c.get("components", [])})
        return bom, components

    def test_sbom_names_every_listed_file_and_program_with_its_hash(self):
        bom, components = self.sbom()
        with open(os.path.join(PACKAGES, "SHA256SUMS")) as f:
            listed = dict(reversed(line.split()) for line in f)
        del listed[os.path.basename(SBOM)]
        files = {c["name"]: c["hashes"] for c in bom["components"] if c["type"] == "file"}
        self.assertEqual(files, {name: [{"alg": "SHA-256", "content": digest}]
                                 for name, digest in listed.items()})
        with tempfile.TemporaryDirectory() as tree:
            subprocess.run(["dpkg-deb", "-x", DEB, tree], check=True)
            for inside in ("usr/sbin/quiplexlnx", "usr/lib/quiplex/quiplexefi.efi",
                           "usr/lib/systemd/system-sleep/quiplex"):
                with self.subTest(inside), open(os.path.join(tree, inside), "rb") as f:
                    program = components["%s:/%s" % (os.path.basename(DEB), inside)]
                    self.assertEqual(program["hashes"][0]["content"],
                                     hashlib.sha256(f.read()).hexdigest())

    def test_sbom_names_every_debian_package_a_link_map_shows(self):
        bom, components = self.sbom()
        relations = {d["ref"]: d["dependsOn"] for d in bom["dependencies"]}
        maps = {os.path.basename(p)[:-4]: p for p in glob.glob(LINK_MAPS)}
        self.assertEqual(sorted(maps), ["quiplexc", "quiplexefi", "quiplexguard", "quiplexlnx",
                                        "quiplexu"])
        # Each program's code from elsewhere: the archive members the linker says it took.
        sources = {"quiplexlnx": "glibc", "quiplexefi": "gnu-efi", "quiplexu": "mingw-w64",
                   "quiplexc": "mingw-w64", "quiplexguard": "mingw-w64"}
        for program, path in sorted(maps.items()):
            with open(path) as f:
                taken = f.read().split("\n\n", 2)[1]
            owners = set()
            for archive in set(re.findall(r"^(/\S+\.a)\(", taken, re.M)):
                if os.path.realpath(archive).startswith(SOURCE + os.sep):
                    continue
                owner = run("dpkg", "-S", os.path.realpath(archive)).stdout.split(":")[0]
                owners.add(owner)
            refs = [ref for ref, c in components.items() if c.get("type") == "application" and
                    c["name"].split(".")[0] == program]
            self.assertGreaterEqual(len(refs), 2, program)
            for ref in refs:
                with self.subTest(ref):
                    named = {components[r]["name"] for r in relations[ref]}
                    self.assertLessEqual(owners, named)
                    self.assertIn(sources[program], {
                        p["value"] for r in relations[ref] for p in components[r]["properties"]})
        for ref, c in components.items():
            if c["type"] == "library":
                with self.subTest(c["name"]):
                    version = run("dpkg-query", "-W", "-f", "${Version}", c["name"]).stdout
                    self.assertEqual(c["version"], version)
                    self.assertTrue(c["purl"].startswith("pkg:deb/debian/%s@" % c["name"]))
                    self.assertTrue(c["licenses"][0]["expression"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
