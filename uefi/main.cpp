// quiplexefi: writes a one-shot boot request for Zarvex UEFI and resets the machine warm.
#include <stdio.h>

#include "boot_request.h"
#include "firmware.h"
#include "messages.h"
#include "variable_store.h"

namespace {

char command_text[COMMAND_CAPACITY];

// File system drivers may still hold written data; flush each volume before the reset.
void flush_all_volumes()
{
    UINTN count = 0;
    EFI_HANDLE *handles = nullptr;
    if (gBS->LocateHandleBuffer(ByProtocol, &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID, nullptr,
                                &count, &handles) != EFI_SUCCESS)
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

void restart_system()
{
    flush_all_volumes();
    gRT->ResetSystem(EfiResetWarm, EFI_SUCCESS, 0, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    join_arguments(command_text, sizeof command_text, argc, argv);
    BootRequest request;
    if (parse_boot_request(command_text, &request) != STATUS_SUCCESS) {
        printf("%s", USAGE_TEXT_CONSOLE);
        return STATUS_INVALID_PARAMETER;
    }
    const StatusCode probe = probe_boot_manager();
    if (probe != STATUS_SUCCESS) {
        puts(MESSAGE_NOT_FOUND);
        if (const char *hint = probe_failure_hint(probe))
            puts(hint);
        return static_cast<int>(probe);
    }
    resolve_selection(&request);
    bool payload_allocated = false;
    const StatusCode written = write_boot_request(&request, &payload_allocated);
    if (!payload_allocated)
        return static_cast<int>(written);
    if (written != STATUS_SUCCESS) {
        puts(MESSAGE_CONFIGURE_FAILED);
        return static_cast<int>(written);
    }
    if (!request.no_reboot)
        restart_system();
    return STATUS_SUCCESS;
}
