// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// read_variable/write_variable over the firmware's GetVariable and SetVariable.
#include "runtime_store.h"

#include <stdlib.h>
#include <string.h>

#include "guid_text.h"
#include "variable_store.h"

int32_t active_code_page = CODE_PAGE_AUTO;

namespace {

const StatusMapping EFI_STATUS_TABLE[] = {
    {EFI_SUCCESS, STATUS_SUCCESS},
    {EFI_WARN_UNKNOWN_GLYPH, STATUS_UNKNOWN_GLYPH},
    {EFI_WARN_DELETE_FAILURE, STATUS_DELETE_FAILURE},
    {EFI_WARN_WRITE_FAILURE, STATUS_WRITE_FAULT},
    {EFI_WARN_BUFFER_TOO_SMALL, STATUS_BUFFER_TOO_SMALL},
    {EFI_WARN_STALE_DATA, STATUS_STALE_DATA},
    {EFI_LOAD_ERROR, STATUS_READ_FAULT},
    {EFI_INVALID_PARAMETER, STATUS_INVALID_PARAMETER},
    {EFI_UNSUPPORTED, STATUS_NOT_SUPPORTED},
    {EFI_BAD_BUFFER_SIZE, STATUS_BAD_BUFFER_SIZE},
    {EFI_BUFFER_TOO_SMALL, STATUS_BUFFER_TOO_SMALL},
    {EFI_NOT_READY, STATUS_NOT_READY},
    {EFI_DEVICE_ERROR, STATUS_DEVICE_ERROR},
    {EFI_WRITE_PROTECTED, STATUS_ACCESS_DENIED},
    {EFI_OUT_OF_RESOURCES, STATUS_NO_MEMORY},
    {EFI_VOLUME_CORRUPTED, STATUS_CORRUPT},
    {EFI_VOLUME_FULL, STATUS_VOLUME_FULL},
    {EFI_MEDIA_CHANGED, STATUS_MEDIA_CHANGED},
    {EFI_NOT_FOUND, STATUS_NOT_FOUND},
    {EFI_ACCESS_DENIED, STATUS_ACCESS_DENIED},
    {EFI_NO_RESPONSE, STATUS_NO_RESPONSE},
    {EFI_NO_MAPPING, STATUS_INCOMPATIBLE},
    {EFI_TIMEOUT, STATUS_TIMEOUT},
    {EFI_ALREADY_STARTED, STATUS_ALREADY_STARTED},
    {EFI_INCOMPATIBLE_VERSION, STATUS_INCOMPATIBLE},
    {EFI_SECURITY_VIOLATION, STATUS_ACCESS_DENIED},
    {EFI_CRC_ERROR, STATUS_CORRUPT},
    {EFI_END_OF_MEDIA, STATUS_END_OF_MEDIA},
    {EFI_END_OF_FILE, STATUS_END_OF_MEDIA},
    {EFI_INVALID_LANGUAGE, STATUS_INCOMPATIBLE},
    {EFI_COMPROMISED_DATA, STATUS_CORRUPT},
    // Errors 100 to 106 carry no UEFI name; some firmware reports time-outs with them.
    {efi_error(100), STATUS_TIMEOUT},
    {efi_error(101), STATUS_TIMEOUT},
    {efi_error(102), STATUS_TIMEOUT},
    {efi_error(103), STATUS_TIMEOUT},
    {efi_error(104), STATUS_NO_RESPONSE},
    {efi_error(105), STATUS_NO_RESPONSE},
    {efi_error(106), STATUS_NO_RESPONSE},
};

// Continuation bytes announced by a lead byte, or 0 when `byte` does not lead a sequence.
unsigned continuation_count(uint8_t byte)
{
    if ((byte & 0xE0) == 0xC0)
        return 1;
    if ((byte & 0xF0) == 0xE0)
        return 2;
    if ((byte & 0xF8) == 0xF0)
        return 3;
    if ((byte & 0xFC) == 0xF8)
        return 4;
    if ((byte & 0xFE) == 0xFC)
        return 5;
    return 0;
}

bool continuations_follow(const uint8_t *lead, unsigned count)
{
    for (unsigned i = 1; i <= count; i++)
        if ((lead[i] & 0xC0) != 0x80)
            return false;
    return true;
}

const uint32_t SHORTEST_CODE_POINT[] = {0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};

// Counts the units (without the terminator) when `out` is null, else fills at most `capacity`
// units (at least 1), the terminator included, and gives the units stored.
size_t decode_utf8(const uint8_t *text, CHAR16 *out, size_t capacity)
{
    size_t units = 0;
    auto put = [&](uint32_t unit) {
        if (out)
            out[units] = static_cast<CHAR16>(unit);
        units++;
    };
    const uint8_t *at = text;
    while (!out || units < capacity) {
        const uint8_t byte = *at;
        const unsigned count = continuation_count(byte);
        if (count == 0 || !continuations_follow(at, count)) {
            // ASCII, a stray continuation byte, 0xFE/0xFF or a broken sequence stands for itself.
            put(byte);
            if (byte == 0)
                break;
            at++;
            continue;
        }
        // The lead byte's payload: five bits in a two-byte form, one fewer for each further byte.
        uint32_t code_point = byte & (0x1Fu >> (count - 1));
        for (unsigned i = 1; i <= count; i++)
            code_point = (code_point << 6) | (at[i] & 0x3Fu);
        at += count + 1;
        if (code_point < SHORTEST_CODE_POINT[count] || code_point > 0x10FFFF) {
            put(0xFFFD);
        } else if (code_point >= 0x10000) {
            if (out && capacity - units == 1) {
                units++; // no room for the pair: the terminator takes the last unit
                break;
            }
            put(0xD800 + ((code_point - 0x10000) >> 10));
            put(0xDC00 + (code_point & 0x3FF));
        } else {
            put(code_point);
        }
    }
    if (!out)
        return units - 1; // the terminator is not counted
    out[units - 1] = 0;   // a text cut at `capacity` ends in the terminator as well
    return units;
}

void widen_bytes(const uint8_t *text, CHAR16 *out)
{
    size_t i = 0;
    for (; text[i] != 0; i++)
        out[i] = text[i];
    out[i] = 0;
}

} // namespace

size_t utf8_to_ucs2(const char *text, CHAR16 *out, size_t capacity)
{
    if (capacity == 0)
        return 0;
    return decode_utf8(reinterpret_cast<const uint8_t *>(text), out, capacity);
}

StatusCode map_efi_status(EFI_STATUS status)
{
    return map_status(EFI_STATUS_TABLE, status, STATUS_READ_FAILED);
}

bool text_is_utf8(const char *text)
{
    for (const uint8_t *at = reinterpret_cast<const uint8_t *>(text); *at != 0; at++) {
        const unsigned count = continuation_count(*at);
        if (count != 0 && continuations_follow(at, count))
            return true;
    }
    return false;
}

CHAR16 *to_ucs2_alloc(int32_t code_page, const char *text)
{
    const char *source = text ? text : "";
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(source);
    const bool utf8 =
        code_page == CODE_PAGE_UTF8 || (code_page == CODE_PAGE_AUTO && text_is_utf8(source));
    // A text has at least as many bytes as units, so the size below cannot overflow.
    const size_t units = utf8 ? decode_utf8(bytes, nullptr, SIZE_MAX) : strlen(source);
    CHAR16 *name = static_cast<CHAR16 *>(malloc((units + 1) * sizeof(CHAR16)));
    if (!name)
        return nullptr;
    if (utf8)
        decode_utf8(bytes, name, units + 1);
    else
        widen_bytes(bytes, name);
    return name;
}

// Converts the name and parses the GUID text for the firmware; the caller frees the name
// after a success, and nothing is left allocated after a failure.
static StatusCode firmware_arguments(const char *name, const char *guid_text, CHAR16 **ucs2_name,
                                     EFI_GUID *vendor)
{
    *ucs2_name = to_ucs2_alloc(active_code_page, name);
    if (!*ucs2_name)
        return STATUS_NO_MEMORY;
    if (!parse_guid_text(guid_text, vendor->bytes)) {
        free(*ucs2_name);
        *ucs2_name = nullptr;
        return STATUS_INVALID_PARAMETER;
    }
    return STATUS_SUCCESS;
}

StatusCode read_variable(const char *name, const char *guid_text, void *buffer, size_t *size,
                         uint32_t *attributes)
{
    if (!name || !guid_text || !guid_text_is_valid(guid_text))
        return STATUS_INVALID_PARAMETER;
    CHAR16 *ucs2_name = nullptr;
    EFI_GUID vendor;
    const StatusCode prepared = firmware_arguments(name, guid_text, &ucs2_name, &vendor);
    if (prepared != STATUS_SUCCESS)
        return prepared;
    UINTN data_size = *size;
    const EFI_STATUS status = gRT->GetVariable(ucs2_name, &vendor, attributes, &data_size, buffer);
    free(ucs2_name);
    if (!efi_is_error(status)) {
        *size = data_size;
        return STATUS_SUCCESS;
    }
    *size = 0;
    return map_efi_status(status);
}

StatusCode write_variable(const char *name, const char *guid_text, const void *data, size_t size,
                          uint32_t attributes)
{
    CHAR16 *ucs2_name = nullptr;
    EFI_GUID vendor;
    const StatusCode prepared = firmware_arguments(name, guid_text, &ucs2_name, &vendor);
    if (prepared != STATUS_SUCCESS)
        return prepared;
    const EFI_STATUS status = gRT->SetVariable(ucs2_name, &vendor, attributes, size, data);
    free(ucs2_name);
    return efi_is_error(status) ? map_efi_status(status) : STATUS_SUCCESS;
}
