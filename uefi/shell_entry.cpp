// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The application entry: start-up steps, then the program with the Shell's arguments joined.
#include <stdlib.h>

#include "startup.h"

EFI_HANDLE gImageHandle;
EFI_SYSTEM_TABLE *gST;
EFI_BOOT_SERVICES *gBS;
EFI_RUNTIME_SERVICES *gRT;

int run_program(const char *command_text);

// gnu-efi's crt0 calls this with the System V convention after relocating the image.
extern "C" EFI_STATUS efi_main(EFI_HANDLE image, EFI_SYSTEM_TABLE *system_table)
{
    check_firmware_revision(system_table);
    system_table->BootServices->SetWatchdogTimer(0, 0, 0, nullptr);
    gImageHandle = image;
    gST = system_table;
    gBS = system_table->BootServices;
    gRT = system_table->RuntimeServices;
    use_largest_text_mode(gST->ConOut);
    return static_cast<EFI_STATUS>(run_program(collect_command()));
}
