// The application entry: start-up steps, then main with the Shell's arguments as UTF-8.
#include <stdlib.h>

#include "startup.h"

EFI_HANDLE gImageHandle;
EFI_SYSTEM_TABLE *gST;
EFI_BOOT_SERVICES *gBS;
EFI_RUNTIME_SERVICES *gRT;

int main(int argc, char **argv);

namespace {

inline constexpr int MAX_ARGUMENTS = 64;
inline constexpr size_t ARGUMENT_BYTES = 1024;

char argument_text[MAX_ARGUMENTS][ARGUMENT_BYTES];
char *argument_vector[MAX_ARGUMENTS + 1];

int collect_arguments()
{
    EFI_SHELL_PARAMETERS_PROTOCOL *parameters = nullptr;
    if (gBS->OpenProtocol(gImageHandle, &EFI_SHELL_PARAMETERS_PROTOCOL_GUID,
                          reinterpret_cast<void **>(&parameters), gImageHandle, nullptr,
                          EFI_OPEN_PROTOCOL_GET_PROTOCOL) != EFI_SUCCESS ||
        !parameters)
        return 0;
    int argc = 0;
    for (UINTN i = 0; i < parameters->Argc && argc < MAX_ARGUMENTS; i++) {
        ucs2_to_utf8(parameters->Argv[i], argument_text[argc], ARGUMENT_BYTES);
        argument_vector[argc] = argument_text[argc];
        argc++;
    }
    argument_vector[argc] = nullptr;
    return argc;
}

} // namespace

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
    const int argc = collect_arguments();
    return static_cast<EFI_STATUS>(main(argc, argument_vector));
}
