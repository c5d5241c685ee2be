#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""Makes an MSI's summary information depend on its content alone: the times become
SOURCE_DATE_EPOCH and the package code (the "Revision number") a UUID derived from the product
code and the bytes of the database. wixl writes the build's clock and a random package code, and
msibuild cannot set the times, so the property set is rewritten in place inside the compound file.
Usage: msi_summary.py MSI PRODUCT_CODE EPOCH
"""

import hashlib
import struct
import sys
import uuid

FREE_OR_END = 0xFFFFFFFA  # sector numbers at or above this end a chain
VT_LPSTR, VT_FILETIME = 30, 64
PID_REVNUMBER, PID_TIMES = 9, (11, 12, 13)  # package code; printed, created, last saved
SUMMARY = "\x05SummaryInformation"
PLACEHOLDER = "{00000000-0000-0000-0000-000000000000}"


class CompoundFile:
    """Just enough of the compound file format to rewrite one existing stream in place."""

    def __init__(self, data):
        if data[:8] != bytes.fromhex("d0cf11e0a1b11ae1"):
            sys.exit("not a compound file (MSI)")
        self.data = data
        self.size = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        self.mini_size = 1 << struct.unpack_from("<H", data, 0x20)[0]
        fat_count, directory, _, self.cutoff, mini_fat, _, difat, difat_count = struct.unpack_from(
            "<8I", data, 0x2C)
        sectors = [s for s in struct.unpack_from("<109I", data, 0x4C) if s < FREE_OR_END]
        per_sector = self.size // 4
        for _ in range(difat_count):
            entries = struct.unpack_from("<%dI" % per_sector, data, self.offset(difat))
            sectors += [s for s in entries[:-1] if s < FREE_OR_END]
            difat = entries[-1]
        self.fat = []
        for sector in sectors[:fat_count]:
            self.fat += struct.unpack_from("<%dI" % per_sector, data, self.offset(sector))
        self.mini_fat = []
        for sector in self.chain(mini_fat):
            self.mini_fat += struct.unpack_from("<%dI" % per_sector, data, self.offset(sector))
        self.entries = b"".join(self.read(s) for s in self.chain(directory))
        self.mini_stream = self.chain(self.entry(0)[1])

    def offset(self, sector):
        return (sector + 1) * self.size

    def read(self, sector):
        return self.data[self.offset(sector):self.offset(sector) + self.size]

    def chain(self, first, table=None):
        table = self.fat if table is None else table
        found = []
        while first < FREE_OR_END:
            found.append(first)
            first = table[first]
        return found

    def entry(self, index):
        name_bytes, = struct.unpack_from("<H", self.entries, index * 128 + 64)
        name = self.entries[index * 128:index * 128 + name_bytes].decode("utf-16-le").rstrip("\0")
        start, size = struct.unpack_from("<IQ", self.entries, index * 128 + 116)
        return name, start, size & 0xFFFFFFFF

    def stream_offsets(self, name):
        """The file offset of each byte of the named stream."""
        for index in range(len(self.entries) // 128):
            found, start, size = self.entry(index)
            if found == name:
                break
        else:
            sys.exit("no stream %r" % name)
        if size >= self.cutoff:
            return [self.offset(s) + i for s in self.chain(start) for i in range(self.size)][:size]
        offsets = []
        for mini in self.chain(start, self.mini_fat):
            at = mini * self.mini_size
            sector = self.mini_stream[at // self.size]
            offsets += range(self.offset(sector) + at % self.size,
                             self.offset(sector) + at % self.size + self.mini_size)
        return offsets[:size]


def set_summary(data, code, filetime):
    """The MSI with the given package code and every summary time set to filetime."""
    data = bytearray(data)
    offsets = CompoundFile(bytes(data)).stream_offsets(SUMMARY)
    stream = bytearray(data[o] for o in offsets)
    section, = struct.unpack_from("<I", stream, 44)  # after the header and the one FMTID
    _, count = struct.unpack_from("<II", stream, section)
    for n in range(count):
        pid, at = struct.unpack_from("<II", stream, section + 8 + 8 * n)
        at += section
        kind, = struct.unpack_from("<H", stream, at)
        if pid in PID_TIMES and kind == VT_FILETIME:
            struct.pack_into("<Q", stream, at + 4, filetime)
        elif pid == PID_REVNUMBER and kind == VT_LPSTR:
            length, = struct.unpack_from("<I", stream, at + 4)
            text = code.encode("ascii") + b"\0"
            if length != len(text):
                sys.exit("the package code holds %d bytes, not %d" % (length, len(text)))
            stream[at + 8:at + 8 + length] = text
    for o, byte in zip(offsets, stream):
        data[o] = byte
    return data


def main():
    path, product, epoch = sys.argv[1], uuid.UUID(sys.argv[2]), int(sys.argv[3])
    # FILETIME counts 100 ns steps from 1601-01-01, 11644473600 s before the Unix epoch.
    filetime = (epoch + 11644473600) * 10**7
    with open(path, "rb") as f:
        data = set_summary(f.read(), PLACEHOLDER, filetime)
    # A package code names one set of bytes: the same MSI gets the same code, any change another.
    code = "{%s}" % str(uuid.uuid5(product, hashlib.sha256(data).hexdigest())).upper()
    with open(path, "wb") as f:
        f.write(set_summary(data, code, filetime))
    print(code)


if __name__ == "__main__":
    main()
