// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// GUID text in registry form: validation against the template and parsing to EFI_GUID bytes.
#pragma once

#include <stdint.h>

// 'd' is a digit of the 32-bit run, 'w' of a 16-bit run, 'h' of a byte pair.
inline constexpr char GUID_TEMPLATE[] = "{dddddddd-wwww-wwww-hhhh-hhhhhhhhhhhh}";
inline constexpr unsigned GUID_TEXT_LENGTH = sizeof(GUID_TEMPLATE) - 1;
static_assert(GUID_TEXT_LENGTH == 38, "registry-form GUID text is 38 characters");

inline constexpr unsigned GUID_BYTES = 16;

bool guid_text_is_valid(const char *text);

// Fills the 16-byte EFI_GUID layout (Data1 and Data2/Data3 little-endian, Data4 in text
// order). Leaves `out` untouched and answers false for text that fails validation.
bool parse_guid_text(const char *text, uint8_t out[GUID_BYTES]);
