// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The few C library functions the core calls, over the firmware's pool and console.
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "firmware.h"

extern "C" {

size_t strlen(const char *text)
{
    size_t length = 0;
    while (text[length] != 0)
        length++;
    return length;
}

char *strcpy(char *to, const char *from)
{
    char *at = to;
    while ((*at++ = *from++) != 0) {
    }
    return to;
}

char *strstr(const char *text, const char *part)
{
    if (*part == 0)
        return const_cast<char *>(text);
    for (; *text != 0; text++) {
        size_t i = 0;
        while (part[i] != 0 && text[i] == part[i])
            i++;
        if (part[i] == 0)
            return const_cast<char *>(text);
    }
    return nullptr;
}

int toupper(int c)
{
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}
int isspace(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int strncasecmp(const char *a, const char *b, size_t count)
{
    for (; count > 0; a++, b++, count--) {
        const int ca = toupper(static_cast<unsigned char>(*a));
        const int cb = toupper(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0)
            return ca - cb;
    }
    return 0;
}

int strcasecmp(const char *a, const char *b)
{
    return strncasecmp(a, b, SIZE_MAX);
}

static int digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

unsigned long strtoul(const char *text, char **end, int base)
{
    const char *at = text;
    while (isspace(static_cast<unsigned char>(*at)))
        at++;
    bool negative = false;
    if (*at == '+' || *at == '-')
        negative = *at++ == '-';
    const bool hex_prefix =
        at[0] == '0' && (at[1] == 'x' || at[1] == 'X') && digit_value(at[2]) < 16;
    if ((base == 0 || base == 16) && hex_prefix) {
        at += 2;
        base = 16;
    } else if (base == 0) {
        base = at[0] == '0' ? 8 : 10;
    }
    unsigned long value = 0;
    bool overflow = false;
    const char *digits = at;
    if (base >= 2 && base <= 36) {
        for (int d; (d = digit_value(*at)) < base; at++) {
            if (value > (~0ul - static_cast<unsigned long>(d)) / static_cast<unsigned long>(base))
                overflow = true;
            value = value * static_cast<unsigned long>(base) + static_cast<unsigned long>(d);
        }
    }
    if (end)
        *end = const_cast<char *>(at == digits ? text : at);
    if (overflow)
        return ~0ul;
    return negative ? 0ul - value : value;
}

void *malloc(size_t size)
{
    void *block = nullptr;
    if (gBS->AllocatePool(EfiLoaderData, size, &block) != EFI_SUCCESS)
        return nullptr;
    return block;
}

void free(void *block)
{
    if (block)
        gBS->FreePool(block);
}

// The core copies the version text and a request's code with memcpy; the compiler may also emit
// calls to it for struct copies.
void *memcpy(void *to, const void *from, size_t count)
{
    auto *d = static_cast<unsigned char *>(to);
    auto *s = static_cast<const unsigned char *>(from);
    while (count--)
        *d++ = *s++;
    return to;
}

// The core clears its buffers with memset; the compiler may also emit calls to it for zeroing.
void *memset(void *to, int value, size_t count)
{
    auto *d = static_cast<unsigned char *>(to);
    while (count--)
        *d++ = static_cast<unsigned char>(value);
    return to;
}

constexpr unsigned CONSOLE_LINE_UNITS = 128;

// Collects output bytes and hands them to the console in UCS-2 chunks.
struct ConsoleLine {
    CHAR16 units[CONSOLE_LINE_UNITS];
    unsigned used;
    int written;
};

static void flush_line(ConsoleLine *line)
{
    line->units[line->used] = 0;
    if (line->used > 0 && gST && gST->ConOut)
        gST->ConOut->OutputString(gST->ConOut, line->units);
    line->used = 0;
}

static void put_unit(ConsoleLine *line, CHAR16 unit)
{
    if (line->used + 1 >= CONSOLE_LINE_UNITS)
        flush_line(line);
    line->units[line->used++] = unit;
}

// The firmware console needs a carriage return before every line feed.
static void put_byte(ConsoleLine *line, char c)
{
    if (c == '\n')
        put_unit(line, u'\r');
    put_unit(line, static_cast<unsigned char>(c));
    line->written++;
}

static void put_text(ConsoleLine *line, const char *text)
{
    while (*text)
        put_byte(line, *text++);
}

static void put_number(ConsoleLine *line, unsigned long value, unsigned base)
{
    char digits[24];
    unsigned n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    while (n > 0)
        put_byte(line, digits[--n]);
}

int printf(const char *format, ...)
{
    ConsoleLine line{};
    va_list args;
    va_start(args, format);
    for (const char *at = format; *at; at++) {
        if (*at != '%') {
            put_byte(&line, *at);
            continue;
        }
        bool is_long = false;
        if (at[1] == 'l') {
            is_long = true;
            at++;
        }
        switch (*++at) {
        case 's':
            put_text(&line, va_arg(args, const char *));
            break;
        case 'c':
            put_byte(&line, static_cast<char>(va_arg(args, int)));
            break;
        case 'u':
        case 'x': {
            const unsigned long v = is_long ? va_arg(args, unsigned long) : va_arg(args, unsigned);
            put_number(&line, v, *at == 'x' ? 16 : 10);
            break;
        }
        case 'd': {
            const long v = is_long ? va_arg(args, long) : va_arg(args, int);
            unsigned long magnitude = static_cast<unsigned long>(v);
            if (v < 0) {
                put_byte(&line, '-');
                magnitude = 0ul - magnitude;
            }
            put_number(&line, magnitude, 10);
            break;
        }
        case '%':
            put_byte(&line, '%');
            break;
        default:
            if (*at == 0)
                at--;
            break;
        }
    }
    va_end(args);
    flush_line(&line);
    return line.written;
}

int puts(const char *text)
{
    return printf("%s\n", text);
}

} // extern "C"
