// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Reading the firmware's boot list through the variable store and deciding what starts next.
#include "boot_list.h"

#include <string.h>

#include "platform.h"

namespace {

uint16_t load_u16(const uint8_t *from)
{
    return static_cast<uint16_t>(from[0] | from[1] << 8);
}

uint64_t load_le(const uint8_t *from, size_t size)
{
    uint64_t value = 0;
    for (size_t i = size; i > 0; i--)
        value = value << 8 | from[i - 1];
    return value;
}

// "Boot" and four upper-case hex digits, as the firmware names its load options.
void form_entry_name(char (&name)[9], uint16_t number)
{
    memcpy(name, "Boot", 4);
    for (int i = 0; i < 4; i++)
        name[4 + i] = "0123456789ABCDEF"[(number >> (12 - 4 * i)) & 0xF];
    name[8] = '\0';
}

// VALUE_KNOWN with `*size` bytes in the scratch, VALUE_ABSENT, or VALUE_UNKNOWN when the store
// failed (or the value is longer than the scratch).
ValueState read_global(const char *name, uint8_t *scratch, size_t *size)
{
    *size = BOOT_VALUE_CAPACITY;
    const StatusCode status = read_variable(name, GLOBAL_GUID_TEXT, scratch, size, nullptr);
    if (status == STATUS_NOT_FOUND)
        return VALUE_ABSENT;
    return status == STATUS_SUCCESS && *size <= BOOT_VALUE_CAPACITY ? VALUE_KNOWN : VALUE_UNKNOWN;
}

// A UINT16 variable; any other length is no value the firmware writes.
BootNumber read_number(const char *name, uint8_t *scratch)
{
    size_t size = 0;
    BootNumber number{read_global(name, scratch, &size), 0};
    if (number.state == VALUE_KNOWN && size != 2)
        number.state = VALUE_UNKNOWN;
    if (number.state == VALUE_KNOWN)
        number.value = load_u16(scratch);
    return number;
}

void read_order(BootList *list, uint8_t *scratch)
{
    size_t size = 0;
    list->order_state = read_global(BOOT_ORDER_NAME, scratch, &size);
    if (list->order_state == VALUE_KNOWN && size % 2 != 0)
        list->order_state = VALUE_UNKNOWN;
    if (list->order_state != VALUE_KNOWN)
        return;
    for (size_t i = 0; i < size / 2 && list->order_count < BOOT_ORDER_CAPACITY; i++)
        list->order[list->order_count++] = load_u16(scratch + 2 * i);
}

// "Zarvex" in any letter case among `units` UCS-2 units.
bool holds_boot_manager_name(const uint8_t *units, size_t count)
{
    static constexpr char WORD[] = "zarvex";
    constexpr size_t length = sizeof WORD - 1;
    for (size_t start = 0; start + length <= count; start++) {
        size_t i = 0;
        while (i < length) {
            uint16_t unit = load_u16(units + 2 * (start + i));
            if (unit >= 'A' && unit <= 'Z')
                unit = static_cast<uint16_t>(unit - 'A' + 'a');
            if (unit != static_cast<uint8_t>(WORD[i]))
                break;
            i++;
        }
        if (i == length)
            return true;
    }
    return false;
}

void fill_entry(BootEntry *entry, const uint8_t *value, size_t size)
{
    LoadOption option;
    entry->state =
        decode_load_option(value, size, &option) == STATUS_SUCCESS ? ENTRY_VALID : ENTRY_CORRUPT;
    if (size < LOAD_OPTION_HEADER_SIZE)
        return;
    entry->attributes = option.attributes;
    entry->description_known = true;
    entry->description_units = option.description_units < DESCRIPTION_CAPACITY
                                   ? option.description_units
                                   : DESCRIPTION_CAPACITY;
    for (size_t i = 0; i < entry->description_units; i++)
        entry->description[i] = load_u16(option.description + 2 * i);
    entry->names_boot_manager =
        holds_boot_manager_name(option.description, option.description_units);
}

// Reads Boot#### once, keeping the entries in ascending number; an absent one is left out.
void read_entry(BootList *list, uint16_t number, uint8_t *scratch)
{
    size_t at = 0;
    while (at < list->entry_count && list->entries[at].number < number)
        at++;
    if ((at < list->entry_count && list->entries[at].number == number) ||
        list->entry_count == BOOT_ENTRY_CAPACITY)
        return;
    char name[9];
    form_entry_name(name, number);
    size_t size = 0;
    const ValueState state = read_global(name, scratch, &size);
    if (state == VALUE_ABSENT)
        return;
    // Shifted one by one: the UEFI program's small libc has no memmove.
    for (size_t i = list->entry_count; i > at; i--)
        list->entries[i] = list->entries[i - 1];
    list->entry_count++;
    BootEntry *entry = &list->entries[at];
    *entry = BootEntry{};
    entry->number = number;
    entry->state = ENTRY_UNREADABLE;
    if (state == VALUE_KNOWN)
        fill_entry(entry, scratch, size);
}

bool is_active(const BootEntry *entry)
{
    return entry->state == ENTRY_VALID && (entry->attributes & LOAD_OPTION_ACTIVE) != 0;
}

// The firmware takes BootNext when its entry exists, else the first active entry of BootOrder
// that is no application (OVMF puts its setup screen, UiApp, first).
// An entry it would have to judge that cannot be read leaves the next start unknown.
void decide_next_start(BootList *list)
{
    if (list->next_variable.state == VALUE_UNKNOWN)
        return;
    if (list->next_variable.state == VALUE_KNOWN) {
        const BootEntry *entry = find_boot_entry(list, list->next_variable.value);
        if (entry != nullptr) {
            if (entry->state != ENTRY_VALID)
                return;
            list->next_known = true;
            list->next = entry->number;
            list->next_via_boot_next = true;
            return;
        }
    }
    if (list->order_state != VALUE_KNOWN)
        return;
    for (size_t i = 0; i < list->order_count; i++) {
        const BootEntry *entry = find_boot_entry(list, list->order[i]);
        if (entry == nullptr)
            continue;
        if (entry->state != ENTRY_VALID)
            return;
        if (is_active(entry) && (entry->attributes & LOAD_OPTION_CATEGORY) == 0) {
            list->next_known = true;
            list->next = entry->number;
            return;
        }
    }
}

// The entry that started this system, else the first in BootOrder, else the lowest number.
bool choose_manager(const BootList *list, bool active, uint16_t *chosen)
{
    auto fits = [active](const BootEntry *entry) {
        return entry != nullptr && entry->state == ENTRY_VALID && is_active(entry) == active &&
               entry->names_boot_manager;
    };
    const BootEntry *found = nullptr;
    if (list->current.state == VALUE_KNOWN && fits(find_boot_entry(list, list->current.value)))
        found = find_boot_entry(list, list->current.value);
    for (size_t i = 0; found == nullptr && i < list->order_count; i++) {
        if (fits(find_boot_entry(list, list->order[i])))
            found = find_boot_entry(list, list->order[i]);
    }
    for (size_t i = 0; found == nullptr && i < list->entry_count; i++) {
        if (fits(&list->entries[i]))
            found = &list->entries[i];
    }
    if (found != nullptr)
        *chosen = found->number;
    return found != nullptr;
}

} // namespace

StatusCode decode_load_option(const uint8_t *value, size_t size, LoadOption *option)
{
    *option = LoadOption{};
    if (size < LOAD_OPTION_HEADER_SIZE)
        return STATUS_CORRUPT;
    option->attributes = static_cast<uint32_t>(load_le(value, 4));
    option->file_path_list_length = load_u16(value + 4);
    option->description = value + LOAD_OPTION_HEADER_SIZE;
    const size_t room = (size - LOAD_OPTION_HEADER_SIZE) / 2;
    size_t units = 0;
    while (units < room && load_u16(option->description + 2 * units) != 0)
        units++;
    option->description_units = units;
    if (units == room)
        return STATUS_CORRUPT; // no NUL before the value ends
    const size_t paths_at = LOAD_OPTION_HEADER_SIZE + 2 * units + 2;
    return option->file_path_list_length > size - paths_at ? STATUS_CORRUPT : STATUS_SUCCESS;
}

void read_boot_list(BootList *list)
{
    *list = BootList{};
    uint8_t scratch[BOOT_VALUE_CAPACITY];
    list->current = read_number(BOOT_CURRENT_NAME, scratch);
    list->next_variable = read_number(BOOT_NEXT_NAME, scratch);
    read_order(list, scratch);
    list->any = list->current.state != VALUE_ABSENT || list->next_variable.state != VALUE_ABSENT ||
                list->order_state != VALUE_ABSENT;
    size_t size = 0;
    list->setup_state = read_global(OS_INDICATIONS_SUPPORTED_NAME, scratch, &size);
    if (list->setup_state == VALUE_KNOWN && size != 8)
        list->setup_state = VALUE_UNKNOWN;
    list->setup_supported = list->setup_state == VALUE_KNOWN &&
                            (load_le(scratch, 8) & EFI_OS_INDICATIONS_BOOT_TO_FW_UI) != 0;

    if (list->current.state == VALUE_KNOWN)
        read_entry(list, list->current.value, scratch);
    if (list->next_variable.state == VALUE_KNOWN)
        read_entry(list, list->next_variable.value, scratch);
    for (size_t i = 0; i < list->order_count; i++)
        read_entry(list, list->order[i], scratch);

    decide_next_start(list);
    const BootEntry *next = list->next_known ? find_boot_entry(list, list->next) : nullptr;
    list->next_through_manager = next != nullptr && is_active(next) && next->names_boot_manager;
    list->manager_known = choose_manager(list, true, &list->manager);
    if (!list->manager_known)
        list->inactive_manager_known = choose_manager(list, false, &list->inactive_manager);
}

StatusCode change_firmware_setup(bool set, bool *changed)
{
    *changed = false;
    uint8_t value[8] = {};
    size_t size = sizeof value;
    if (set) {
        StatusCode status =
            read_variable(OS_INDICATIONS_SUPPORTED_NAME, GLOBAL_GUID_TEXT, value, &size, nullptr);
        if (status == STATUS_NOT_FOUND || status == STATUS_BUFFER_TOO_SMALL ||
            (status == STATUS_SUCCESS &&
             (size != 8 || (load_le(value, 8) & EFI_OS_INDICATIONS_BOOT_TO_FW_UI) == 0)))
            return STATUS_NOT_SUPPORTED;
        if (status != STATUS_SUCCESS)
            return status;
    }
    memset(value, 0, sizeof value);
    size = sizeof value;
    StatusCode status = read_variable(OS_INDICATIONS_NAME, GLOBAL_GUID_TEXT, value, &size, nullptr);
    const bool absent = status == STATUS_NOT_FOUND;
    if (status != STATUS_SUCCESS && !absent)
        return status;
    const uint64_t before = absent ? 0 : load_le(value, size < 8 ? size : 8);
    const uint64_t after = set ? before | EFI_OS_INDICATIONS_BOOT_TO_FW_UI
                               : before & ~EFI_OS_INDICATIONS_BOOT_TO_FW_UI;
    if (after == before)
        return STATUS_SUCCESS;
    for (int i = 0; i < 8; i++)
        value[i] = static_cast<uint8_t>(after >> (8 * i));
    *changed = true;
    return write_variable(OS_INDICATIONS_NAME, GLOBAL_GUID_TEXT, value, sizeof value,
                          GLOBAL_ATTRIBUTES);
}

StatusCode write_boot_next(uint16_t number)
{
    const uint8_t value[2] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)};
    return write_variable(BOOT_NEXT_NAME, GLOBAL_GUID_TEXT, value, sizeof value, GLOBAL_ATTRIBUTES);
}
