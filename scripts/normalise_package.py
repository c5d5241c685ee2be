#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""Rewrites a package that scripts/package.sh made so that its bytes depend only on what it
holds and on SOURCE_DATE_EPOCH, not on the file system or clock of the build:
- .zip (CPack): entries in name order (CPack takes the order of the directory listing, which
  differs between file systems) and every entry's time SOURCE_DATE_EPOCH in UTC;
- .deb (CPack): CPack counts each directory's size as the file system reports it (4 KiB on ext4,
  less on tmpfs) into Installed-Size; dpkg-deb rebuilds it with the size counted from its files;
- .tar.gz (ansible-galaxy): FILES.json in name order (ansible-galaxy lists files in directory
  order) with MANIFEST.json's checksum of it renewed, every member's time SOURCE_DATE_EPOCH
  (ansible-galaxy stamps the build's clock and keeps the checkout's times), and the gzip header's
  time too.
Usage: normalise_package.py PACKAGE... (with SOURCE_DATE_EPOCH set)
"""

import gzip
import hashlib
import io
import json
import os
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

EPOCH = int(os.environ["SOURCE_DATE_EPOCH"])


def normalise_zip(path):
    with zipfile.ZipFile(path) as source:
        entries = [(info, source.read(info)) for info in source.infolist()]
    with zipfile.ZipFile(path, "w") as target:
        for info, data in sorted(entries, key=lambda entry: entry[0].filename):
            fixed = zipfile.ZipInfo(info.filename, time.gmtime(EPOCH)[:6])
            fixed.external_attr, fixed.create_system = info.external_attr, 3  # Unix modes
            fixed.compress_type = zipfile.ZIP_DEFLATED
            target.writestr(fixed, data, compresslevel=9)


def installed_size(root):
    """KiB as dpkg-gencontrol counts them: each file rounded up, one for anything else."""
    kib = 0
    for folder, directories, files in os.walk(root):
        directories[:] = [d for d in directories if os.path.join(folder, d) != root + "/DEBIAN"]
        kib += len(directories)
        for name in files:
            kib += (os.lstat(os.path.join(folder, name)).st_size + 1023) // 1024
    return kib


def normalise_deb(path):
    with tempfile.TemporaryDirectory() as temp:
        root = os.path.join(temp, "root")
        subprocess.run(["dpkg-deb", "-R", path, root], check=True)
        control = os.path.join(root, "DEBIAN", "control")
        with open(control) as f:
            lines = f.read().splitlines()
        lines = ["Installed-Size: %d" % installed_size(root)
                 if line.startswith("Installed-Size:") else line for line in lines]
        with open(control, "w") as f:
            f.write("\n".join(lines) + "\n")
        # gzip, as CPack wrote it: xz on several threads may cut its blocks differently.
        subprocess.run(["dpkg-deb", "--root-owner-group", "-Zgzip", "-z9", "--build", root,
                        path], check=True, stdout=subprocess.DEVNULL)


def normalise_collection(path):
    with tarfile.open(path) as source:
        members = {m.name: (m, source.extractfile(m).read() if m.isfile() else None)
                   for m in source.getmembers()}
    files = json.loads(members["FILES.json"][1])
    files["files"].sort(key=lambda entry: (entry["name"] != ".", entry["name"]))
    files_json = json.dumps(files, indent=True).encode()
    manifest = json.loads(members["MANIFEST.json"][1])
    manifest["file_manifest_file"]["chksum_sha256"] = hashlib.sha256(files_json).hexdigest()
    contents = {"MANIFEST.json": json.dumps(manifest, indent=True).encode(),
                "FILES.json": files_json}
    order = ["MANIFEST.json", "FILES.json"] + [e["name"] for e in files["files"][1:]]
    if sorted(order) != sorted(members):
        sys.exit("%s: FILES.json does not list the members of the archive" % path)
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.GNU_FORMAT) as target:
        for name in order:
            member, data = members[name]
            data = contents.get(name, data)
            member.mtime, member.uid, member.gid, member.uname, member.gname = EPOCH, 0, 0, "", ""
            member.pax_headers = {}
            if data is not None:
                member.size = len(data)
            target.addfile(member, io.BytesIO(data) if data is not None else None)
    with open(path, "wb") as f, gzip.GzipFile("", "wb", 9, f, mtime=EPOCH) as packed:
        packed.write(buffer.getvalue())


def main():
    for path in sys.argv[1:]:
        if path.endswith(".zip"):
            normalise_zip(path)
        elif path.endswith(".deb"):
            normalise_deb(path)
        elif path.endswith(".tar.gz"):
            normalise_collection(path)
        else:
            sys.exit("%s: not a package this script knows" % path)


if __name__ == "__main__":
    main()
