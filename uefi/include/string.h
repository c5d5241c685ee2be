// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The string functions of the UEFI build's small C library.
#pragma once
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
size_t strlen(const char *text);
char *strcpy(char *to, const char *from);
char *strstr(const char *text, const char *part);
void *memcpy(void *to, const void *from, size_t count);
void *memset(void *to, int value, size_t count);
#ifdef __cplusplus
}
#endif
