// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The firmware's boot list: its global variables read as hostile values, and what starts next.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "status.h"

// EFI_GLOBAL_VARIABLE, in lower case as efivarfs names its files.
inline constexpr char GLOBAL_GUID_TEXT[] = "{8be4df61-93ca-11d2-aa0d-00e098032b8c}";
inline constexpr char BOOT_CURRENT_NAME[] = "BootCurrent";
inline constexpr char BOOT_NEXT_NAME[] = "BootNext";
inline constexpr char BOOT_ORDER_NAME[] = "BootOrder";
inline constexpr char OS_INDICATIONS_SUPPORTED_NAME[] = "OsIndicationsSupported";
inline constexpr char OS_INDICATIONS_NAME[] = "OsIndications";

inline constexpr uint32_t LOAD_OPTION_ACTIVE = 0x1;
// An entry of another category than LOAD_OPTION_CATEGORY_BOOT (0) is an application, such as
// the firmware's own setup screen, which the firmware never starts from BootOrder by itself.
inline constexpr uint32_t LOAD_OPTION_CATEGORY = 0x1F00;
inline constexpr uint64_t EFI_OS_INDICATIONS_BOOT_TO_FW_UI = 0x1;
// EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS
inline constexpr uint32_t GLOBAL_ATTRIBUTES = 0x7;

// EFI_LOAD_OPTION: UINT32 Attributes, UINT16 FilePathListLength, then the UCS-2 description.
inline constexpr size_t LOAD_OPTION_HEADER_SIZE = 6;
inline constexpr size_t BOOT_ORDER_CAPACITY = 256; // entries of BootOrder that are looked at
// BootOrder's entries and the two that BootCurrent and BootNext name.
inline constexpr size_t BOOT_ENTRY_CAPACITY = BOOT_ORDER_CAPACITY + 2;
inline constexpr size_t DESCRIPTION_CAPACITY = 64; // UCS-2 units kept of a description
// The largest value read of one variable; a longer one reads as unknown.
inline constexpr size_t BOOT_VALUE_CAPACITY = 4096;

// Room for the boot list as JSON: every entry with its description fully escaped, and BootOrder.
inline constexpr size_t BOOT_LIST_TEXT_CAPACITY =
    BOOT_ENTRY_CAPACITY * (48 + 6 * DESCRIPTION_CAPACITY) + 8 * BOOT_ORDER_CAPACITY + 1024;

// A load option taken apart in place: the description points into the value.
struct LoadOption {
    uint32_t attributes;
    uint16_t file_path_list_length;
    const uint8_t *description; // UCS-2 units, little-endian
    size_t description_units;   // up to its NUL, or to the value's end when it has none
};

// STATUS_CORRUPT for a value shorter than its header (nothing filled in), or whose description
// has no NUL or whose device paths run past the value (the rest filled in as far as it goes).
StatusCode decode_load_option(const uint8_t *value, size_t size, LoadOption *option);

enum ValueState {
    VALUE_ABSENT,
    VALUE_KNOWN,
    VALUE_UNKNOWN, // unreadable, or of a shape the firmware does not write
};

enum EntryState {
    ENTRY_UNREADABLE, // the store failed, or the value is too long to read
    ENTRY_CORRUPT,    // read, but no load option the firmware would start
    ENTRY_VALID,
};

struct BootEntry {
    uint16_t number;
    EntryState state;
    uint32_t attributes;
    bool description_known;
    uint16_t description[DESCRIPTION_CAPACITY];
    size_t description_units;
    bool names_boot_manager; // the whole description, cut or not, holds "Zarvex"
};

struct BootNumber {
    ValueState state;
    uint16_t value;
};

struct BootList {
    bool any; // one of BootCurrent, BootNext and BootOrder exists
    BootNumber current;
    BootNumber next_variable; // BootNext
    ValueState order_state;
    uint16_t order[BOOT_ORDER_CAPACITY];
    size_t order_count;
    // The entries read and found, in ascending number.
    BootEntry entries[BOOT_ENTRY_CAPACITY];
    size_t entry_count;
    ValueState setup_state; // OsIndicationsSupported
    bool setup_supported;

    // The next start: BootNext when its entry exists, else BootOrder's first active entry of
    // the boot category.
    bool next_known;
    uint16_t next;
    bool next_via_boot_next;
    bool next_through_manager; // the next start's entry is an active "Zarvex" one
    // The boot manager's entry: an active one whose description holds "Zarvex".
    bool manager_known;
    uint16_t manager;
    // Without an active one, an inactive "Zarvex" entry chosen by the same rule.
    bool inactive_manager_known;
    uint16_t inactive_manager;
};

// Reads the boot list through the variable store; `list` is large, so callers take it from
// the heap. Reads BootCurrent, BootNext, BootOrder, OsIndicationsSupported and the entries
// those name, nothing else.
void read_boot_list(BootList *list);

// The entry numbered `number` among those read and found, or null. Inline, so the reports
// that describe a boot list need nothing of the code that reads one.
inline const BootEntry *find_boot_entry(const BootList *list, uint16_t number)
{
    for (size_t i = 0; i < list->entry_count; i++) {
        if (list->entries[i].number == number)
            return &list->entries[i];
    }
    return nullptr;
}

// Sets (or, `set` false, clears) EFI_OS_INDICATIONS_BOOT_TO_FW_UI in OsIndications, keeping
// its other bits. `*changed` tells whether a write was needed. STATUS_NOT_SUPPORTED when
// setting it on a firmware whose OsIndicationsSupported lacks the bit.
StatusCode change_firmware_setup(bool set, bool *changed);
// Writes BootNext: 2 bytes, the entry number.
StatusCode write_boot_next(uint16_t number);
