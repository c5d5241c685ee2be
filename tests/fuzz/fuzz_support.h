// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// What the fuzz targets share: a crash-on-failure check and a NUL-terminated copy of the input.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "platform.h"

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

// A strict recursive-descent check of the JSON this program writes (objects, arrays,
// strings, unsigned numbers, true, false, null); gives the position after the value or null.
inline const char *json_value(const char *at);

inline const char *json_string(const char *at)
{
    if (*at++ != '"')
        return nullptr;
    for (; *at != '"'; at++) {
        const unsigned char c = static_cast<unsigned char>(*at);
        if (c < 0x20 || c > 0x7E)
            return nullptr;
        if (c != '\\')
            continue;
        at++;
        if (*at == 'u') {
            for (int i = 1; i <= 4; i++) {
                if (!strchr("0123456789ABCDEFabcdef", at[i]) || at[i] == '\0')
                    return nullptr;
            }
            at += 4;
        } else if (!strchr("\"\\/bfnrt", *at) || *at == '\0') {
            return nullptr;
        }
    }
    return at + 1;
}

inline const char *json_object(const char *at)
{
    if (*at++ != '{')
        return nullptr;
    if (*at == '}')
        return at + 1;
    for (;;) {
        if ((at = json_string(at)) == nullptr || *at++ != ':' || (at = json_value(at)) == nullptr)
            return nullptr;
        if (*at == '}')
            return at + 1;
        if (*at++ != ',')
            return nullptr;
    }
}

// An array of values, as BootOrder's entries appear.
inline const char *json_array(const char *at)
{
    if (*at++ != '[')
        return nullptr;
    if (*at == ']')
        return at + 1;
    for (;;) {
        if ((at = json_value(at)) == nullptr)
            return nullptr;
        if (*at == ']')
            return at + 1;
        if (*at++ != ',')
            return nullptr;
    }
}

inline const char *json_value(const char *at)
{
    if (*at == '{')
        return json_object(at);
    if (*at == '[')
        return json_array(at);
    if (*at == '"')
        return json_string(at);
    const char *const words[] = {"true", "false", "null"};
    for (const char *word : words) {
        if (strncmp(at, word, strlen(word)) == 0)
            return at + strlen(word);
    }
    const char *start = at;
    while (*at >= '0' && *at <= '9')
        at++;
    return at == start ? nullptr : at;
}

// A front end that shows nothing: `show` checks each message, `record` each audit record (may
// be null), and the reports and the restart do nothing.
inline FrontEnd fuzz_front_end(void (*show)(const char *, MessageKind),
                               void (*record)(AuditKind, const char *, StatusCode))
{
    return {
        .program_name = "quiplexfuzz",
        .show_usage = [](const char *) {},
        .report_not_found = [](StatusCode) {},
        .report_write_failure = [](StatusCode) {},
        .report_failure = [](const char *, StatusCode) {},
        .show_message = show,
        .restart = [](bool) {},
        .take_over = nullptr,
        .take_over_keyword = nullptr,
        .refused_keyword = nullptr,
        .force_closes_applications = false,
        .saved_request = nullptr,
        .record = record,
    };
}
