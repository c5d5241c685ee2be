// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// ASCII character classes for the UEFI build's small C library.
#pragma once
#ifdef __cplusplus
extern "C" {
#endif
int toupper(int c);
int isspace(int c);
#ifdef __cplusplus
}
#endif
