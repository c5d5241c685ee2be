// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Fuzzes the load-option decoder and the boot list behind --status: whatever the firmware's
// variables hold must give printable text and valid JSON, never a read past a value.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "boot_list.h"
#include "fuzz_support.h"
#include "pass.h"
#include "variable_store.h"

namespace {

// The input: BootCurrent's and BootNext's sizes and bytes (up to 3 each), BootOrder's length
// and bytes, then the value every Boot#### holds.
const uint8_t *input;
size_t input_size;

struct Slice {
    const uint8_t *data;
    size_t size;
    bool present;
};

Slice take(size_t *at, size_t limit)
{
    if (*at >= input_size)
        return {nullptr, 0, false};
    const size_t wanted = input[(*at)++] % (limit + 2);
    if (wanted == limit + 1)
        return {nullptr, 0, false}; // absent
    const size_t size = wanted < input_size - *at ? wanted : input_size - *at;
    const Slice slice = {input + *at, size, true};
    *at += size;
    return slice;
}

Slice variable_of(const char *name)
{
    size_t at = 0;
    const Slice current = take(&at, 3);
    const Slice next = take(&at, 3);
    const Slice order = take(&at, 600);
    if (strcmp(name, BOOT_CURRENT_NAME) == 0)
        return current;
    if (strcmp(name, BOOT_NEXT_NAME) == 0)
        return next;
    if (strcmp(name, BOOT_ORDER_NAME) == 0)
        return order;
    if (strncmp(name, "Boot", 4) == 0)
        return {input + (at < input_size ? at : input_size), at < input_size ? input_size - at : 0,
                true};
    return {nullptr, 0, false};
}

void show_message(const char *text, MessageKind kind)
{
    for (const char *c = text; *c != '\0'; c++)
        check(*c == '\n' || (*c >= 0x20 && *c <= 0x7E));
    if (kind == MESSAGE_DATA) {
        const char *end = json_object(text);
        check(end != nullptr && *end == '\0');
    }
}

const FrontEnd FRONT_END = fuzz_front_end(show_message, nullptr);

} // namespace

// Each value is handed over as an exact-size heap copy, so AddressSanitizer sees a read past it.
StatusCode read_variable(const char *name, const char *guid_text, void *buffer, size_t *size,
                         uint32_t *)
{
    if (strcmp(guid_text, GLOBAL_GUID_TEXT) != 0)
        return STATUS_NOT_FOUND; // no Zarvex UEFI, no request: the boot list alone
    const Slice slice = variable_of(name);
    if (!slice.present)
        return STATUS_NOT_FOUND;
    if (slice.size > *size)
        return STATUS_BUFFER_TOO_SMALL;
    memcpy(buffer, slice.data, slice.size);
    *size = slice.size;
    return STATUS_SUCCESS;
}

StatusCode write_variable(const char *, const char *, const void *, size_t, uint32_t)
{
    check(false); // --status never writes
    return STATUS_WRITE_FAILED;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint8_t *value = static_cast<uint8_t *>(malloc(size == 0 ? 1 : size));
    memcpy(value, data, size);
    LoadOption option;
    if (decode_load_option(value, size, &option) == STATUS_SUCCESS) {
        check(LOAD_OPTION_HEADER_SIZE + 2 * option.description_units + 2 +
                  option.file_path_list_length <=
              size);
    } else if (size >= LOAD_OPTION_HEADER_SIZE) {
        check(LOAD_OPTION_HEADER_SIZE + 2 * option.description_units <= size);
    }

    input = value;
    input_size = size;
    run_pass("--status=json", &FRONT_END);
    run_pass("--status", &FRONT_END);
    free(value);
    return 0;
}
