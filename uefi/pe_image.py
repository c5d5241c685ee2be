#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""Reads a PE32+ image's headers and sections, and finishes quiplexefi.efi after objcopy: marks it
NX_COMPAT, points the start-up code's empty base-relocation block at the data section instead of
the code, and writes the checksum again. Usage: pe_image.py IMAGE (rewritten in place)."""

import struct
import sys

IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA = 0x0020
IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE = 0x0040
IMAGE_DLLCHARACTERISTICS_NX_COMPAT = 0x0100
IMAGE_SCN_CNT_CODE = 0x00000020
IMAGE_SCN_MEM_SHARED = 0x10000000
IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_READ = 0x40000000
IMAGE_SCN_MEM_WRITE = 0x80000000
IMAGE_DIRECTORY_ENTRY_BASERELOC = 5
IMAGE_REL_BASED_ABSOLUTE = 0
PE32_PLUS_MAGIC = 0x20B

# Offsets inside the PE32+ optional header.
CHECKSUM_OFFSET = 64
DLL_CHARACTERISTICS_OFFSET = 70
DATA_DIRECTORIES_OFFSET = 112


class Image:
    """The fields of a PE32+ image the checks and the finishing step use."""

    def __init__(self, data):
        self.data = bytearray(data)
        if self.data[:2] != b"MZ":
            raise ValueError("no MZ header")
        self.pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, count, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", self.data, self.pe + 4)
        self.optional = self.pe + 24
        self.magic = struct.unpack_from("<H", self.data, self.optional)[0]
        if self.magic != PE32_PLUS_MAGIC:
            raise ValueError("not PE32+")
        self.section_alignment, self.file_alignment = struct.unpack_from(
            "<II", self.data, self.optional + 32)
        self.subsystem, self.dll_characteristics = struct.unpack_from(
            "<HH", self.data, self.optional + 68)
        directories = struct.unpack_from("<I", self.data, self.optional + 108)[0]
        self.directories = [struct.unpack_from("<II", self.data,
                                               self.optional + DATA_DIRECTORIES_OFFSET + 8 * i)
                            for i in range(directories)]
        self.sections = []
        table = self.optional + optional_size
        for i in range(count):
            name, virtual_size, address, raw_size, raw_offset, _, _, _, _, flags = \
                struct.unpack_from("<8sIIIIIIHHI", self.data, table + 40 * i)
            self.sections.append({"name": name.rstrip(b"\0").decode(), "address": address,
                                  "size": max(virtual_size, raw_size), "virtual_size": virtual_size,
                                  "raw_offset": raw_offset,
                                  "raw_size": raw_size, "flags": flags})

    def section_at(self, rva):
        """The section whose memory holds the address, or None."""
        for section in self.sections:
            if section["address"] <= rva < section["address"] + section["size"]:
                return section
        return None

    def section(self, name):
        return next((s for s in self.sections if s["name"] == name), None)

    def offset_of(self, rva):
        section = self.section_at(rva)
        return section["raw_offset"] + rva - section["address"]

    def base_relocation_blocks(self):
        """(file offset, page address, [(type, offset in page)]) of each block of the
        base-relocation table."""
        address, size = self.directories[IMAGE_DIRECTORY_ENTRY_BASERELOC]
        blocks, done = [], 0
        while done + 8 <= size:
            at = self.offset_of(address + done)
            page, block_size = struct.unpack_from("<II", self.data, at)
            if block_size < 8:
                break
            entries = struct.unpack_from("<%dH" % ((block_size - 8) // 2), self.data, at + 8)
            blocks.append((at, page, [(entry >> 12, entry & 0xFFF) for entry in entries]))
            done += block_size
        return blocks

    def checksum(self):
        """The PE checksum: the 16-bit one's-complement-style sum of the file without its
        checksum field, plus the file's length."""
        data = self.data + b"\0" * (len(self.data) % 2)
        field = self.optional + CHECKSUM_OFFSET
        total = 0
        for i in range(0, len(data), 2):
            if field <= i < field + 4:
                continue
            total += data[i] | data[i + 1] << 8
            total = (total & 0xFFFF) + (total >> 16)
        return (total & 0xFFFF) + len(self.data)


def finish(path):
    with open(path, "rb") as f:
        image = Image(f.read())
    characteristics = image.dll_characteristics | IMAGE_DLLCHARACTERISTICS_NX_COMPAT
    struct.pack_into("<H", image.data, image.optional + DLL_CHARACTERISTICS_OFFSET,
                     characteristics)
    # gnu-efi's start-up code carries one block of padding entries only, so that loaders relocate
    # the image; its page address is a difference of labels that lands inside the code. A block
    # of padding entries changes nothing wherever it points, so it points at the data.
    data = image.section(".data")
    for at, _, entries in image.base_relocation_blocks():
        if any(kind != IMAGE_REL_BASED_ABSOLUTE for kind, _ in entries):
            raise ValueError("a base relocation that is not padding: the self-relocation "
                             "is expected to do all the work")
        struct.pack_into("<I", image.data, at, data["address"])
    struct.pack_into("<I", image.data, image.optional + CHECKSUM_OFFSET, image.checksum())
    with open(path, "wb") as f:
        f.write(image.data)
    return 0


if __name__ == "__main__":
    sys.exit(finish(sys.argv[1]))
