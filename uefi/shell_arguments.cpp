// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The Shell's arguments, joined as UTF-8 straight into the command text the grammar reads.
#include "console_front_end.h"
#include "startup.h"

namespace {

char command_text[CONSOLE_COMMAND_CAPACITY];

// Encodes the code point at *text (a surrogate pair is one) as UTF-8 into `bytes` (room for
// four) and steps past it.
size_t next_utf8(const CHAR16 **text, uint8_t *bytes)
{
    const CHAR16 *at = *text;
    uint32_t code_point = *at++;
    if (code_point >= 0xD800 && code_point < 0xDC00 && *at >= 0xDC00 && *at < 0xE000)
        code_point = 0x10000 + ((code_point - 0xD800) << 10) + (*at++ - 0xDC00);
    *text = at;
    if (code_point < 0x80) {
        bytes[0] = static_cast<uint8_t>(code_point);
        return 1;
    }
    if (code_point < 0x800) {
        bytes[0] = static_cast<uint8_t>(0xC0 | (code_point >> 6));
        bytes[1] = static_cast<uint8_t>(0x80 | (code_point & 0x3F));
        return 2;
    }
    if (code_point < 0x10000) {
        bytes[0] = static_cast<uint8_t>(0xE0 | (code_point >> 12));
        bytes[1] = static_cast<uint8_t>(0x80 | ((code_point >> 6) & 0x3F));
        bytes[2] = static_cast<uint8_t>(0x80 | (code_point & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<uint8_t>(0xF0 | (code_point >> 18));
    bytes[1] = static_cast<uint8_t>(0x80 | ((code_point >> 12) & 0x3F));
    bytes[2] = static_cast<uint8_t>(0x80 | ((code_point >> 6) & 0x3F));
    bytes[3] = static_cast<uint8_t>(0x80 | (code_point & 0x3F));
    return 4;
}

// The UTF-8 bytes of Shell argument `index` that fit in `room`, made one code point at a time.
size_t copy_utf8(const void *words, size_t index, char *to, size_t room)
{
    const CHAR16 *argument = static_cast<CHAR16 *const *>(words)[index];
    uint8_t bytes[4];
    size_t made = 0;
    size_t taken = 0;
    size_t copied = 0;
    while (copied < room) {
        if (taken == made) {
            if (argument == nullptr || *argument == 0)
                break;
            made = next_utf8(&argument, bytes);
            taken = 0;
        }
        to[copied++] = static_cast<char>(bytes[taken++]);
    }
    return copied;
}

} // namespace

void join_ucs2_arguments(char *buffer, size_t capacity, UINTN argc, CHAR16 *const *argv)
{
    join_words(buffer, capacity, argc > 1 ? argc - 1 : 0, argv + 1, copy_utf8);
}

const char *collect_command()
{
    EFI_SHELL_PARAMETERS_PROTOCOL *parameters = nullptr;
    if (gBS->OpenProtocol(gImageHandle, &EFI_SHELL_PARAMETERS_PROTOCOL_GUID,
                          reinterpret_cast<void **>(&parameters), gImageHandle, nullptr,
                          EFI_OPEN_PROTOCOL_GET_PROTOCOL) == EFI_SUCCESS &&
        parameters)
        join_ucs2_arguments(command_text, sizeof command_text, parameters->Argc, parameters->Argv);
    return command_text;
}
