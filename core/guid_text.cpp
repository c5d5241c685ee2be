// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// GUID text validation and parsing, walking the template and the text side by side.
#include "guid_text.h"

#include <ctype.h>
#include <stdlib.h>

namespace {

bool is_template_digit(char t)
{
    return t == 'd' || t == 'w' || t == 'h';
}

bool is_hex_digit(char c)
{
    const int u = toupper(static_cast<unsigned char>(c));
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F');
}

unsigned hex_value(char c)
{
    const int u = toupper(static_cast<unsigned char>(c));
    return u <= '9' ? static_cast<unsigned>(u - '0') : static_cast<unsigned>(u - 'A' + 10);
}

} // namespace

bool guid_text_is_valid(const char *text)
{
    if (text == nullptr)
        return false;
    for (unsigned i = 0;; i++) {
        const char t = GUID_TEMPLATE[i];
        if (is_template_digit(t)) {
            if (!is_hex_digit(text[i]))
                return false;
        } else if (t != text[i]) {
            return false;
        } else if (t == '\0') {
            return true;
        }
    }
}

bool parse_guid_text(const char *text, uint8_t out[GUID_BYTES])
{
    if (!guid_text_is_valid(text))
        return false;
    unsigned pos = 0;
    unsigned byte = 0;
    while (GUID_TEMPLATE[pos] != '\0') {
        const char t = GUID_TEMPLATE[pos];
        if (t == 'd' || t == 'w') {
            // The run ends at the following '-', so strtoul reads exactly its digits.
            const unsigned width = t == 'd' ? 4 : 2;
            unsigned long value = strtoul(text + pos, nullptr, 16);
            for (unsigned k = 0; k < width; k++) {
                out[byte++] = static_cast<uint8_t>(value & 0xFF);
                value >>= 8;
            }
            pos += width * 2;
        } else if (t == 'h') {
            out[byte++] =
                static_cast<uint8_t>(hex_value(text[pos]) << 4 | hex_value(text[pos + 1]));
            pos += 2;
        } else {
            pos += 1;
        }
    }
    return true;
}
