// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// quiplexefi: writes a one-shot boot request for Zarvex UEFI and resets the machine warm.
#include "console_front_end.h"
#include "firmware.h"

namespace {

// File system drivers may still hold written data; flush each volume before the reset.
void flush_all_volumes()
{
    UINTN count;
    EFI_HANDLE *handles = nullptr;
    if (gBS->LocateHandleBuffer(ByProtocol, &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID, nullptr, &count,
                                &handles) != EFI_SUCCESS)
        return;
    for (UINTN i = 0; i < count; i++) {
        EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *volume = nullptr;
        if (gBS->OpenProtocol(handles[i], &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID,
                              reinterpret_cast<void **>(&volume), gImageHandle, nullptr,
                              EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL) != EFI_SUCCESS)
            continue;
        EFI_FILE_PROTOCOL *root = nullptr;
        if (volume->OpenVolume(volume, &root) == EFI_SUCCESS && root) {
            root->Flush(root);
            root->Close(root);
        }
        gBS->CloseProtocol(handles[i], &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID, gImageHandle,
                           nullptr);
    }
    gBS->FreePool(handles);
}

} // namespace

void restart_system(bool)
{
    flush_all_volumes();
    gRT->ResetSystem(EfiResetWarm, EFI_SUCCESS, 0, nullptr);
}

int run_program(const char *command_text)
{
    static const ConsoleProgram program = {"quiplexefi", nullptr, nullptr};
    return run_console_command(command_text, &program);
}
