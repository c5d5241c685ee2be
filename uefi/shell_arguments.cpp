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

} // namespace

// Step for step the core's join_arguments, reading each argument's UTF-8 bytes as they are made.
void join_ucs2_arguments(char *buffer, size_t capacity, UINTN argc, CHAR16 *const *argv)
{
    if (capacity == 0)
        return;
    size_t room = capacity - 1;
    size_t length = 0;
    for (UINTN i = 1; i < argc; i++) {
        const CHAR16 *argument = argv[i] == nullptr ? u"" : argv[i];
        uint8_t bytes[4];
        size_t made = 0;
        size_t taken = 0;
        size_t copied = 0;
        while (copied < room) {
            if (taken == made) {
                if (*argument == 0)
                    break;
                made = next_utf8(&argument, bytes);
                taken = 0;
            }
            buffer[length + copied++] = static_cast<char>(bytes[taken++]);
        }
        length += copied;
        buffer[length] = '\0';
        room -= copied;
        if (i == argc - 1 || room == 0)
            return;
        buffer[length++] = ' ';
        buffer[length] = '\0';
        room -= 1;
        if (room == 0)
            return;
    }
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
