// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Console output of the UEFI build's small C library.
#pragma once
#ifdef __cplusplus
extern "C" {
#endif
int printf(const char *format, ...) __attribute__((format(__printf__, 1, 2)));
int puts(const char *text);
#ifdef __cplusplus
}
#endif
