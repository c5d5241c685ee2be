// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// bounded_format over the platform's vsnprintf.
#include "bounded_format.h"

#include <stdarg.h>
#include <stdio.h>

int bounded_format(char *buffer, size_t capacity, const char *format, ...)
{
    if (capacity == 0)
        return -1;
    va_list arguments;
    va_start(arguments, format);
    const int reported = vsnprintf(buffer, capacity, format, arguments);
    va_end(arguments);
    buffer[capacity - 1] = '\0';
    // Compared unsigned, so a negative report counts as not fitting.
    return static_cast<size_t>(reported) < capacity ? reported : -1;
}
