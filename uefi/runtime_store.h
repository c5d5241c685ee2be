// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The UEFI runtime-services variable store's helpers: status table and UCS-2 name conversion.
#pragma once
#include <stdint.h>

#include "firmware.h"
#include "status.h"

inline constexpr int32_t CODE_PAGE_AUTO = -1;
inline constexpr int32_t CODE_PAGE_UTF8 = 65001;

// How to_ucs2_alloc reads 8-bit text; CODE_PAGE_AUTO for the whole run.
extern int32_t active_code_page;

StatusCode map_efi_status(EFI_STATUS status);

// True when `text` holds at least one complete UTF-8 multi-byte sequence.
bool text_is_utf8(const char *text);

// Decodes UTF-8 into `out`, at most `capacity` units, always ending with a 0 unit when
// capacity > 0; gives the units stored, the 0 unit included.
size_t utf8_to_ucs2(const char *text, CHAR16 *out, size_t capacity);

// A NUL-terminated UCS-2 copy of `text` from malloc, or null when allocation fails.
CHAR16 *to_ucs2_alloc(int32_t code_page, const char *text);
