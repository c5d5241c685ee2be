// What the fuzz targets share: a crash-on-failure check and a NUL-terminated copy of the input.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

inline void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// Copies at most capacity - 1 input bytes and a NUL; gives the number copied.
inline size_t copy_input(char *to, size_t capacity, const uint8_t *data, size_t size)
{
    if (size >= capacity)
        size = capacity - 1;
    memcpy(to, data, size);
    to[size] = '\0';
    return size;
}
