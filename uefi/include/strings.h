// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// strcasecmp and strncasecmp for the UEFI build's small C library.
#pragma once
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
int strcasecmp(const char *a, const char *b);
int strncasecmp(const char *a, const char *b, size_t count);
#ifdef __cplusplus
}
#endif
