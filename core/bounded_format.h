// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// A vsnprintf wrapper that always terminates and reports truncation as -1 (hosted builds only).
#pragma once

#include <stddef.h>

// -1 for a capacity of 0 or when the text did not fit; otherwise its length.
int bounded_format(char *buffer, size_t capacity, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
