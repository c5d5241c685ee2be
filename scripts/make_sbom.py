#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""Writes the release's bill of materials, OUT/quiplex-VERSION.cdx.json (CycloneDX 1.6 JSON).

Usage: make_sbom.py OUT VERSION LINK_MAP_DIR...

quiplex is the main component; each package file in OUT is a component with its SHA-256, and
holds the programs inside it (ELF and PE images, scripts) with theirs. What each program links
from elsewhere is read from the linker's map of its build (LINK_MAP_DIR/PROGRAM.map, written by
cmake/link-maps.cmake): the archives the linker took a member from, the objects it loaded, and
for an ELF program the shared libraries it names (DT_NEEDED). dpkg says which installed Debian
package owns each of those files; that package, with its version, is the component the program
depends on. The same inputs give the same bytes: the time is SOURCE_DATE_EPOCH and the serial
number is derived from the contents.
"""

import datetime
import hashlib
import io
import json
import os
import re
import subprocess
import sys
import tarfile
import tempfile
import urllib.parse
import uuid
import zipfile

PACKAGE_SUFFIXES = (".deb", ".rpm", ".zip", ".msi", ".tar.gz")
# The licence of what a Debian source package puts into a program, as an SPDX expression:
# the runtime parts (start-up objects, static libraries) are what is linked.
LICENCES = {
    "glibc": "LGPL-2.1-or-later",
    "gcc-12": "GPL-3.0-or-later WITH GCC-exception-3.1",
    "gcc-mingw-w64": "GPL-3.0-or-later WITH GCC-exception-3.1",
    "mingw-w64": "ZPL-2.1 AND MIT",
    "gnu-efi": "BSD-2-Clause AND BSD-3-Clause",
    "llvm-toolchain-14": "Apache-2.0 WITH LLVM-exception",
}
SUPPLIER = "The quiplex developers"
HOME_PAGE = "https://quiplex.example.org/"
# Archive members the linker took: "/path/libx.a(member.o)" at the start of a line of the map's
# first section, or in the section lines that place their contents.
ARCHIVE_MEMBER = re.compile(r"(?<!\S)(/[^\s()]+\.a)\(([^)]*)\)")
LOADED_OBJECT = re.compile(r"^LOAD (/\S+\.o(?:bj)?)$", re.M)


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def is_program(name, data, mode):
    if data[:4] == b"\x7fELF" or (data[:2] == b"MZ" and name.lower().endswith((".exe", ".efi"))):
        return True
    return bool(mode & 0o111) and data[:2] == b"#!"


def members_of_tar(fileobj):
    with tarfile.open(fileobj=fileobj, mode="r|*") as tar:
        for member in tar:
            if member.isfile():
                yield member.name.lstrip("./"), tar.extractfile(member).read(), member.mode


def package_contents(path):
    """(path inside, bytes, mode) of each regular file in a package."""
    if path.endswith(".deb"):
        tar = subprocess.run(["dpkg-deb", "--fsys-tarfile", path], capture_output=True,
                             check=True).stdout
        yield from members_of_tar(io.BytesIO(tar))
    elif path.endswith(".rpm"):
        with open(path, "rb") as rpm:
            tar = subprocess.run(["rpm2archive", "-n", "-"], stdin=rpm, capture_output=True,
                                 check=True).stdout
        yield from members_of_tar(io.BytesIO(tar))
    elif path.endswith(".tar.gz"):
        with open(path, "rb") as f:
            yield from members_of_tar(f)
    elif path.endswith(".zip"):
        with zipfile.ZipFile(path) as z:
            for info in z.infolist():
                if not info.is_dir():
                    yield info.filename, z.read(info), info.external_attr >> 16
    elif path.endswith(".msi"):
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run(["msiextract", "-C", folder, path], capture_output=True, check=True)
            for top, _, files in os.walk(folder):
                for name in files:
                    full = os.path.join(top, name)
                    with open(full, "rb") as f:
                        yield os.path.relpath(full, folder), f.read(), 0o644


def needed_libraries(data):
    """The shared libraries an ELF image names (DT_NEEDED), resolved as the loader would."""
    with tempfile.NamedTemporaryFile() as image:
        image.write(data)
        image.flush()
        dynamic = subprocess.run(["readelf", "-d", "-W", image.name], capture_output=True,
                                 text=True).stdout
    names = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)
    if not names:
        return []
    cache = subprocess.run(["ldconfig", "-p"], capture_output=True, text=True,
                           check=True).stdout
    paths = []
    for name in names:
        found = re.search(r"^\s+%s \([^)]*x86-64[^)]*\) => (\S+)$" % re.escape(name), cache,
                          re.M)
        if found is None:
            sys.exit("make_sbom.py: the loader cannot find %s" % name)
        paths.append(found.group(1))
    return paths


def linked_files(map_path):
    """The files from outside the source and build trees that the map shows linked in."""
    with open(map_path) as f:
        text = f.read()
    paths = {m.group(1) for m in ARCHIVE_MEMBER.finditer(text)}
    paths.update(LOADED_OBJECT.findall(text))
    return sorted({os.path.realpath(p) for p in paths})


def owning_package(path, top):
    """The Debian package dpkg installed the file from, or None for the project's own."""
    if path.startswith(top + os.sep):
        return None
    # Debian 12 merges /lib into /usr/lib; dpkg knows a file under the name its package used.
    for candidate in (path, re.sub(r"^/usr(/lib|/bin|/sbin)", r"\1", path)):
        owner = subprocess.run(["dpkg-query", "-S", candidate], capture_output=True, text=True)
        if owner.returncode == 0:
            package = owner.stdout.split(":", 1)[0].split(",")[0].strip()
            return package
    sys.exit("make_sbom.py: no installed Debian package owns %s" % path)


def debian_component(package, locations):
    fields = subprocess.run(
        ["dpkg-query", "-W", "-f", "${Version}\t${Architecture}\t${source:Package}", package],
        capture_output=True, text=True, check=True).stdout.split("\t")
    version, arch, source = fields
    licence = LICENCES.get(source)
    if licence is None:
        sys.exit("make_sbom.py: no licence known for code from Debian source package %s "
                 "(package %s): add it to LICENCES" % (source, package))
    purl = "pkg:deb/debian/%s@%s?arch=%s&distro=debian-%s" % (
        package, urllib.parse.quote(version, safe=".-_~"), arch, debian_release())
    return {
        "type": "library",
        "bom-ref": purl,
        "supplier": {"name": "Debian"},
        "name": package,
        "version": version,
        "licenses": [{"expression": licence}],
        "purl": purl,
        "properties": [{"name": "debian:source", "value": source}],
        "evidence": {"occurrences": [{"location": p} for p in sorted(locations)]},
    }


def debian_release():
    with open("/etc/debian_version") as f:
        return f.read().strip().split(".")[0]


def main():
    out, version, map_dirs = sys.argv[1], sys.argv[2], sys.argv[3:]
    top = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    maps = {}
    for folder in map_dirs:
        for name in os.listdir(folder):
            if name.endswith(".map"):
                maps[name[:-4]] = os.path.join(folder, name)

    files, dependencies, third_party = [], {}, {}
    for name in sorted(os.listdir(out)):
        path = os.path.join(out, name)
        if not (os.path.isfile(path) and name.endswith(PACKAGE_SUFFIXES)):
            continue
        with open(path, "rb") as f:
            package_hash = sha256(f.read())
        programs = []
        for inside, data, mode in sorted(package_contents(path)):
            if not is_program(inside, data, mode):
                continue
            ref = "%s:/%s" % (name, inside)
            programs.append({
                "type": "application",
                "bom-ref": ref,
                "name": os.path.basename(inside),
                "version": version,
                "hashes": [{"alg": "SHA-256", "content": sha256(data)}],
                "properties": [{"name": "quiplex:path", "value": inside}],
            })
            program = os.path.basename(inside).rsplit(".", 1)[0]
            linked = linked_files(maps[program]) if program in maps else []
            if data[:4] == b"\x7fELF":
                linked += needed_libraries(data)
            refs = set()
            for linked_path in linked:
                package = owning_package(linked_path, top)
                if package is not None:
                    third_party.setdefault(package, set()).add(linked_path)
                    refs.add(package)
            dependencies[ref] = refs
        files.append({
            "type": "file",
            "bom-ref": "file:" + name,
            "name": name,
            "version": version,
            "hashes": [{"alg": "SHA-256", "content": package_hash}],
            "components": programs,
        })

    libraries = {p: debian_component(p, locations) for p, locations in third_party.items()}
    main_component = {
        "type": "application",
        "bom-ref": "quiplex",
        "supplier": {"name": SUPPLIER},
        "name": "quiplex",
        "version": version,
        "description": "one-shot boot selection for the Zarvex UEFI boot manager",
        "licenses": [{"expression": "MIT"}],
        "purl": "pkg:generic/quiplex@%s" % version,
        "externalReferences": [{"type": "website", "url": HOME_PAGE}],
    }
    relations = [{"ref": "quiplex", "dependsOn": [f["bom-ref"] for f in files]}]
    relations += [{"ref": f["bom-ref"], "dependsOn": [p["bom-ref"] for p in f["components"]]}
                  for f in files]
    relations += [{"ref": ref, "dependsOn": sorted(libraries[p]["bom-ref"] for p in packages)}
                  for ref, packages in sorted(dependencies.items())]
    relations += [{"ref": libraries[p]["bom-ref"], "dependsOn": []} for p in sorted(libraries)]
    contents = json.dumps([files, sorted(libraries)], sort_keys=True).encode()
    bom = {
        "$schema": "http://cyclonedx.org/schema/bom-1.6.schema.json",
        "bomFormat": "CycloneDX",
        "specVersion": "1.6",
        "serialNumber": "urn:uuid:%s" % uuid.uuid5(uuid.NAMESPACE_URL,
                                                   HOME_PAGE + "bom/" + sha256(contents)),
        "version": 1,
        "metadata": {
            "timestamp": datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)
            .strftime("%Y-%m-%dT%H:%M:%SZ"),
            "tools": {"components": [{"type": "application", "name": "make_sbom.py",
                                      "supplier": {"name": SUPPLIER}, "version": version}]},
            "component": main_component,
            "supplier": {"name": SUPPLIER},
        },
        "components": files + [libraries[p] for p in sorted(libraries)],
        "dependencies": relations,
    }
    target = os.path.join(out, "quiplex-%s.cdx.json" % version)
    with open(target, "w") as f:
        json.dump(bom, f, indent=2)
        f.write("\n")
    print(target)


if __name__ == "__main__":
    main()
