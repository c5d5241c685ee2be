// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Fuzzes GUID text validation and parsing against a plain re-reading of the same text.
#include <ctype.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz_support.h"
#include "guid_text.h"

namespace {

char text[64];

unsigned nibble(char c)
{
    return isdigit(static_cast<unsigned char>(c))
               ? unsigned(c - '0')
               : unsigned(toupper(static_cast<unsigned char>(c)) - 'A' + 10);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    copy_input(text, sizeof text, data, size);

    uint8_t guid[GUID_BYTES];
    memset(guid, 0xA5, sizeof guid);
    const bool valid = guid_text_is_valid(text);
    check(parse_guid_text(text, guid) == valid);
    if (!valid) {
        for (uint8_t b : guid)
            check(b == 0xA5);
        return 0;
    }
    check(strlen(text) == GUID_TEXT_LENGTH && text[0] == '{' && text[37] == '}');
    // Data1 and Data2/Data3 are little-endian; Data4 follows text order.
    static const int digit_of_byte[GUID_BYTES] = {7,  5,  3,  1,  12, 10, 17, 15,
                                                  20, 22, 25, 27, 29, 31, 33, 35};
    for (unsigned i = 0; i < GUID_BYTES; i++) {
        const int at = digit_of_byte[i];
        check(guid[i] == (nibble(text[at]) << 4 | nibble(text[at + 1])));
    }
    return 0;
}
