#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""Reads every built program's headers and checks the hardening a security review looks for: an
ELF program's type, program headers, dynamic section and imports; a Windows program's optional
header and section flags; the UEFI image's flags, alignment and relocations. Each rule also runs
on a doctored copy with the one thing it checks taken away, and must fail there.
Usage: program_headers_test.py KIND PROGRAM... (KIND: elf, pe or efi)."""

import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "uefi"))
import pe_image  # noqa: E402

ET_DYN = 3
PT_INTERP = 3
PT_DYNAMIC = 2
PT_GNU_STACK = 0x6474E551
PT_GNU_RELRO = 0x6474E552
PF_X = 1
DT_NEEDED = 1
DT_FLAGS = 30
DT_FLAGS_1 = 0x6FFFFFFB
DF_BIND_NOW = 0x8
DF_1_NOW = 0x1
DF_1_PIE = 0x08000000
SHT_DYNAMIC = 6
SHT_DYNSYM = 11
SHN_UNDEF = 0
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
IMAGE_SUBSYSTEM_EFI_APPLICATION = 10
EFI_PAGE = 4096
# The C library is the one library quiplexlnx may need at run time.
ELF_LIBRARIES = {"libc.so.6"}


class Elf:
    """The parts of an ELF64 program these rules read."""

    def __init__(self, data):
        self.data = bytearray(data)
        if self.data[:4] != b"\x7fELF" or self.data[4] != 2:
            raise ValueError("not ELF64")
        self.type = struct.unpack_from("<H", self.data, 16)[0]
        phoff, shoff = struct.unpack_from("<QQ", self.data, 32)
        phentsize, phnum, shentsize, shnum = struct.unpack_from("<HHHH", self.data, 54)
        self.segments = []
        for i in range(phnum):
            at = phoff + i * phentsize
            kind, flags, offset, address, _, size = struct.unpack_from("<IIQQQQ", self.data, at)
            self.segments.append({"type": kind, "flags": flags, "offset": offset,
                                  "address": address, "size": size, "at": at})
        self.sections = []
        for i in range(shnum):
            fields = struct.unpack_from("<IIQQQQIIQQ", self.data, shoff + i * shentsize)
            self.sections.append({"type": fields[1], "offset": fields[4], "size": fields[5],
                                  "link": fields[6], "entry": fields[9]})

    def segment(self, kind):
        return next((s for s in self.segments if s["type"] == kind), None)

    def dynamic(self):
        """(file offset, tag, value) of each entry of the dynamic section."""
        segment, entries = self.segment(PT_DYNAMIC), []
        if segment is None:
            return entries
        for at in range(segment["offset"], segment["offset"] + segment["size"], 16):
            tag, value = struct.unpack_from("<qQ", self.data, at)
            if tag == 0:
                break
            entries.append((at, tag, value))
        return entries

    def string(self, table, offset):
        start = table["offset"] + offset
        return self.data[start:self.data.index(b"\0", start)].decode()

    def imports(self):
        """Names of the undefined dynamic symbols."""
        names = set()
        for table in (s for s in self.sections if s["type"] == SHT_DYNSYM):
            strings = self.sections[table["link"]]
            for at in range(table["offset"], table["offset"] + table["size"], table["entry"]):
                name, _, _, index = struct.unpack_from("<IBBH", self.data, at)
                if index == SHN_UNDEF and name:
                    names.add(self.string(strings, name).split("@")[0])
        return names

    def dynamic_strings(self):
        """The string table the dynamic section names (its section header's link)."""
        return self.sections[next(s for s in self.sections if s["type"] == SHT_DYNAMIC)["link"]]

    def needed(self):
        strings = self.dynamic_strings()
        return {self.string(strings, v) for _, t, v in self.dynamic() if t == DT_NEEDED}


def dynamic_flag(elf, tag, bit):
    return any(t == tag and v & bit for _, t, v in elf.dynamic())


def _clear_dynamic_flag(tag, bit):
    def doctor(elf):
        for at, t, v in elf.dynamic():
            if t == tag:
                struct.pack_into("<qQ", elf.data, at, t, v & ~bit)
    return doctor


def _set_segment_type(kind, new_kind):
    def doctor(elf):
        struct.pack_into("<I", elf.data, elf.segment(kind)["at"], new_kind)
    return doctor


def _set_stack_executable(elf):
    segment = elf.segment(PT_GNU_STACK)
    struct.pack_into("<I", elf.data, segment["at"] + 4, segment["flags"] | PF_X)


def _rename_imports(old_end, new_end):
    """Renames each undefined dynamic symbol ending in old_end (same length), as a build
    without the matching flag would have called the plain function."""
    def doctor(elf):
        for table in (s for s in elf.sections if s["type"] == SHT_DYNSYM):
            strings = elf.sections[table["link"]]
            for at in range(table["offset"], table["offset"] + table["size"], table["entry"]):
                name, _, _, index = struct.unpack_from("<IBBH", elf.data, at)
                text = elf.string(strings, name) if name else ""
                if index == SHN_UNDEF and text.endswith(old_end):
                    start = strings["offset"] + name + len(text) - len(old_end)
                    elf.data[start:start + len(new_end)] = new_end.encode()
    return doctor


def _rename_needed(elf):
    """Turns libc.so.6 into libstdc++'s soname length-neutrally: libs.so.6 stands for any
    other library a build without --as-needed would pull in."""
    strings = elf.dynamic_strings()
    for _, tag, value in elf.dynamic():
        if tag == DT_NEEDED:
            elf.data[strings["offset"] + value + 3] = ord("s")


def _set_type(elf):
    struct.pack_into("<H", elf.data, 16, 2)


# (rule, check, doctor): the check passes on a hardened program; the doctor takes away what it
# checks, as a build without the flag would, and the check must then fail.
ELF_RULES = [
    ("position-independent executable (ET_DYN, DF_1_PIE)",
     lambda e: e.type == ET_DYN and dynamic_flag(e, DT_FLAGS_1, DF_1_PIE), _set_type),
    ("dynamically linked (PT_INTERP)", lambda e: e.segment(PT_INTERP) is not None,
     _set_segment_type(PT_INTERP, 0)),
    ("immediate binding (DF_BIND_NOW)", lambda e: dynamic_flag(e, DT_FLAGS, DF_BIND_NOW),
     _clear_dynamic_flag(DT_FLAGS, DF_BIND_NOW)),
    ("immediate binding (DF_1_NOW)", lambda e: dynamic_flag(e, DT_FLAGS_1, DF_1_NOW),
     _clear_dynamic_flag(DT_FLAGS_1, DF_1_NOW)),
    ("read-only relocations (PT_GNU_RELRO)", lambda e: e.segment(PT_GNU_RELRO) is not None,
     _set_segment_type(PT_GNU_RELRO, 0)),
    ("non-executable stack (PT_GNU_STACK without PF_X)",
     lambda e: e.segment(PT_GNU_STACK) is not None and not e.segment(PT_GNU_STACK)["flags"] & PF_X,
     _set_stack_executable),
    ("stack protector (__stack_chk_fail imported)", lambda e: "__stack_chk_fail" in e.imports(),
     _rename_imports("__stack_chk_fail", "__stack_chk_xxxx")),
    ("fortified calls (*_chk imported)", lambda e: any(n.endswith("_chk") for n in e.imports()),
     _rename_imports("_chk", "_xxx")),
    ("only the C library at run time", lambda e: e.needed() == ELF_LIBRARIES, _rename_needed),
]


def _clear_dll(bit):
    def doctor(image):
        struct.pack_into("<H", image.data, image.optional + pe_image.DLL_CHARACTERISTICS_OFFSET,
                         image.dll_characteristics & ~bit)
        image.__init__(image.data)
    return doctor


def _add_section_flags(name_filter, flags):
    def doctor(image):
        table = image.optional + struct.unpack_from("<H", image.data, image.pe + 20)[0]
        for i, section in enumerate(image.sections):
            if name_filter(section):
                struct.pack_into("<I", image.data, table + 40 * i + 36, section["flags"] | flags)
        image.__init__(image.data)
    return doctor


def _drop_relocations(image):
    at = image.optional + pe_image.DATA_DIRECTORIES_OFFSET + 8 * \
        pe_image.IMAGE_DIRECTORY_ENTRY_BASERELOC
    struct.pack_into("<II", image.data, at, 0, 0)
    image.__init__(image.data)


def writable_and_executable(section):
    wx = pe_image.IMAGE_SCN_MEM_WRITE | pe_image.IMAGE_SCN_MEM_EXECUTE
    return section["flags"] & wx == wx


def shared_and_writable(section):
    sw = pe_image.IMAGE_SCN_MEM_WRITE | pe_image.IMAGE_SCN_MEM_SHARED
    return section["flags"] & sw == sw


def is_code(section):
    return section is None or section["flags"] & (pe_image.IMAGE_SCN_CNT_CODE |
                                                  pe_image.IMAGE_SCN_MEM_EXECUTE) != 0


def any_writable(section):
    return section["flags"] & pe_image.IMAGE_SCN_MEM_WRITE != 0


def pe_stack_protected(image):
    """mingw-w64 leaves the symbol table in an unstripped build; libssp's handler must be in it."""
    return b"__stack_chk_fail" in image.data and b"__stack_chk_guard" in image.data


def _blank(word):
    def doctor(image):
        image.data[:] = image.data.replace(word, b"x" * len(word))
    return doctor


PE_RULES = [
    ("DYNAMIC_BASE", lambda i: i.dll_characteristics & pe_image.IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE,
     _clear_dll(pe_image.IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE)),
    ("HIGH_ENTROPY_VA",
     lambda i: i.dll_characteristics & pe_image.IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA,
     _clear_dll(pe_image.IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA)),
    ("NX_COMPAT", lambda i: i.dll_characteristics & pe_image.IMAGE_DLLCHARACTERISTICS_NX_COMPAT,
     _clear_dll(pe_image.IMAGE_DLLCHARACTERISTICS_NX_COMPAT)),
    ("relocation table present",
     lambda i: not i.characteristics & IMAGE_FILE_RELOCS_STRIPPED and
     i.directories[pe_image.IMAGE_DIRECTORY_ENTRY_BASERELOC][1] > 0, _drop_relocations),
    ("no section both writable and executable",
     lambda i: not any(writable_and_executable(s) for s in i.sections),
     _add_section_flags(is_code, pe_image.IMAGE_SCN_MEM_WRITE)),
    ("no shared writable section", lambda i: not any(shared_and_writable(s) for s in i.sections),
     _add_section_flags(any_writable, pe_image.IMAGE_SCN_MEM_SHARED)),
    ("stack protector (libssp linked in)", pe_stack_protected, _blank(b"__stack_chk_fail")),
]


def efi_relocation_targets(image):
    """Addresses the image's relocations write: the base-relocation entries the firmware
    applies, and the ELF relocations gnu-efi's start-up code applies to itself."""
    targets = [page + offset for _, page, entries in image.base_relocation_blocks()
               for kind, offset in entries if kind != pe_image.IMAGE_REL_BASED_ABSOLUTE]
    # Padding entries write nothing, but their block must still name a page of data.
    pages = [page for _, page, _ in image.base_relocation_blocks()]
    rela = image.section(".rela")
    if rela is not None:
        for at in range(rela["raw_offset"], rela["raw_offset"] + rela["virtual_size"] - 23, 24):
            targets.append(struct.unpack_from("<Q", image.data, at)[0])
    return targets, pages


def _point_first_relocation_at_code(image):
    rela = image.section(".rela")
    struct.pack_into("<Q", image.data, rela["raw_offset"], image.section(".text")["address"])


def _point_relocation_block_at_code(image):
    at = image.base_relocation_blocks()[0][0]
    struct.pack_into("<I", image.data, at, image.section(".text")["address"])


def _misalign_first_section(image):
    table = image.optional + struct.unpack_from("<H", image.data, image.pe + 20)[0]
    struct.pack_into("<I", image.data, table + 12, image.sections[0]["address"] + 0x200)
    image.__init__(image.data)


def _set_section_alignment(image):
    struct.pack_into("<I", image.data, image.optional + 32, 0x200)
    image.__init__(image.data)


def efi_relocations_into_data(image):
    targets, pages = efi_relocation_targets(image)
    return bool(targets) and not any(is_code(image.section_at(t)) for t in targets + pages)


EFI_RULES = [
    ("UEFI application", lambda i: i.subsystem == IMAGE_SUBSYSTEM_EFI_APPLICATION,
     lambda i: struct.pack_into("<H", i.data, i.optional + 68, 3) or i.__init__(i.data)),
    PE_RULES[2],
    ("sections aligned to 4 KiB", lambda i: i.section_alignment == EFI_PAGE,
     _set_section_alignment),
    ("every section starts on a 4 KiB page",
     lambda i: all(s["address"] % EFI_PAGE == 0 for s in i.sections), _misalign_first_section),
    PE_RULES[4],
    ("relocations write into data only", efi_relocations_into_data,
     _point_first_relocation_at_code),
    ("base-relocation blocks name data pages", efi_relocations_into_data,
     _point_relocation_block_at_code),
]

KINDS = {"elf": (Elf, ELF_RULES), "pe": (pe_image.Image, PE_RULES),
         "efi": (pe_image.Image, EFI_RULES)}


class ProgramHeaders(unittest.TestCase):
    kind = None
    programs = []

    def test_every_rule_holds_and_fails_without_what_it_checks(self):
        reader, rules = KINDS[self.kind]
        self.assertTrue(self.programs)
        for program in self.programs:
            with open(program, "rb") as f:
                data = f.read()
            for rule, check, doctor in rules:
                with self.subTest(program=os.path.basename(program), rule=rule):
                    self.assertTrue(check(reader(data)), "does not hold")
                    doctored = reader(data)
                    doctor(doctored)
                    self.assertFalse(check(reader(bytes(doctored.data))),
                                     "still holds with it taken away")


if __name__ == "__main__":
    ProgramHeaders.kind = sys.argv[1]
    ProgramHeaders.programs = sys.argv[2:]
    unittest.main(argv=sys.argv[:1])
