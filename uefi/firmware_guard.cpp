// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Start-up checks and console set-up that need nothing but the firmware's tables.
#include "startup.h"

namespace {

inline constexpr uint32_t OLDEST_SUPPORTED_REVISION = 0x0002000A; // UEFI 2.1

CHAR16 *put_decimal(CHAR16 *at, unsigned value)
{
    CHAR16 digits[10];
    unsigned n = 0;
    do {
        digits[n++] = static_cast<CHAR16>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        *at++ = digits[--n];
    return at;
}

} // namespace

void check_firmware_revision(EFI_SYSTEM_TABLE *system_table)
{
    const uint32_t revision = system_table->Hdr.Revision;
    if (revision >= OLDEST_SUPPORTED_REVISION)
        return;
    const unsigned major = revision >> 16;
    const unsigned minor = revision & 0xFFFF;
    CHAR16 version[32];
    CHAR16 *at = version;
    *at++ = u' ';
    at = put_decimal(at, major);
    *at++ = u'.';
    at = put_decimal(at, minor / 10);
    if (minor % 10 != 0) {
        *at++ = u'.';
        at = put_decimal(at, minor % 10);
    }
    *at++ = u' ';
    *at = 0;
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *console = system_table->ConOut;
    console->OutputString(console, u"System UEFI Version");
    console->OutputString(console, version);
    console->OutputString(console, u"is not supported.\r\n\nUEFI Version 2.1 or later is "
                                   u"required.\r\n\nSystem Halted - Press R to reset the system.");
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL *keyboard = system_table->ConIn;
    for (;;) {
        UINTN index;
        system_table->BootServices->WaitForEvent(1, &keyboard->WaitForKey, &index);
        EFI_INPUT_KEY key;
        if (keyboard->ReadKeyStroke(keyboard, &key) != EFI_SUCCESS)
            continue;
        if (key.UnicodeChar == u'R' || key.UnicodeChar == u'r')
            system_table->RuntimeServices->ResetSystem(EfiResetCold, EFI_SUCCESS, 0, nullptr);
    }
}

void use_largest_text_mode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *console)
{
    UINTN best_mode = 0;
    UINTN best_sum = 0;
    bool any = false;
    const int32_t modes = console->Mode ? console->Mode->MaxMode : 0;
    for (int32_t mode = 0; mode < modes; mode++) {
        UINTN columns, rows;
        if (console->QueryMode(console, static_cast<UINTN>(mode), &columns, &rows) != EFI_SUCCESS)
            continue;
        if (!any || columns + rows > best_sum) {
            best_mode = static_cast<UINTN>(mode);
            best_sum = columns + rows;
            any = true;
        }
    }
    console->SetMode(console, best_mode);
    console->ClearScreen(console);
    console->EnableCursor(console, 1);
}
