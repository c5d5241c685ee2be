// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// strtoul and the pool-backed heap of the UEFI build's small C library.
#pragma once
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
unsigned long strtoul(const char *text, char **end, int base);
void *malloc(size_t size);
void free(void *block);
#ifdef __cplusplus
}
#endif
