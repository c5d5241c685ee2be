# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""What the package tests share: where the packages are, the test's release key, a Debian 12
root made once with mmdebstrap, commands in that root, and an HTTP server on 127.0.0.1 for a
folder. Needs QUIPLEX_SOURCE_DIR.
"""

import contextlib
import functools
import http.server
import os
import re
import subprocess
import threading

SOURCE = os.environ["QUIPLEX_SOURCE_DIR"]
with open(os.path.join(SOURCE, "CMakeLists.txt")) as cmake:
    VERSION = re.search(r"project\(quiplex VERSION ([0-9.]+)", cmake.read()).group(1)
PACKAGES = os.path.join(SOURCE, "build", "packages")
DEB = os.path.join(PACKAGES, "quiplex_%s_amd64.deb" % VERSION)
# The release test's own folder: its key and the cached Debian root.
FOLDER = os.environ.get("QUIPLEX_RELEASE_TEST_DIR", "")


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def make_key(home, name, algorithm="rsa3072"):
    """A new signing key without passphrase in the GnuPG home; its fingerprint."""
    os.makedirs(home, mode=0o700, exist_ok=True)
    made = run("gpg", "--homedir", home, "--batch", "--passphrase", "", "--pinentry-mode",
               "loopback", "--quick-generate-key", name, algorithm, "sign", "never")
    assert made.returncode == 0, made.stderr
    return fingerprint(home)


def fingerprint(home):
    listing = run("gpg", "--homedir", home, "--batch", "--with-colons", "--list-secret-keys")
    return next((line.split(":")[9] for line in listing.stdout.splitlines()
                 if line.startswith("fpr:")), None)


def stop_agent(home):
    run("gpgconf", "--homedir", home, "--kill", "gpg-agent")


def release_key():
    """(GnuPG home, fingerprint) of the key the packages test signs the release with."""
    home = os.path.join(FOLDER, "gnupg")
    key = fingerprint(home) if os.path.isdir(home) else None
    if key is None:
        key = make_key(home, "quiplex release test key <quiplex@example.org>")
        stop_agent(home)
    return home, key


def debian_root_tar():
    """A Debian 12 root (mmdebstrap's apt variant, with the Python Ansible's apt module needs) as
    a tar file, made on first use."""
    tar = os.path.join(FOLDER, "debian-12-apt-python.tar")
    if not os.path.exists(tar):
        partial = os.path.join(FOLDER, "debian-12.partial.tar")
        made = run("mmdebstrap", "--quiet", "--variant=apt", "--include=python3,python3-apt",
                   "bookworm", partial, "http://deb.debian.org/debian")
        assert made.returncode == 0, made.stderr
        os.rename(partial, tar)
    return tar


def unpack_root(tar, root):
    subprocess.run(["tar", "-C", root, "-xf", tar], check=True)


def in_root(root, *command):
    """The command chrooted into root, in a mount namespace of its own with /proc mounted."""
    return run("unshare", "--mount", "--", "sh", "-c",
               'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"', root, *command)


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@contextlib.contextmanager
def served(folder):
    """The folder over HTTP on 127.0.0.1 (a free port); yields its address; stops at the end."""
    handler = functools.partial(_QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield "http://127.0.0.1:%d" % server.server_address[1]
    finally:
        server.shutdown()
        server.server_close()
        thread.join()
