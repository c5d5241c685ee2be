// The Shell's arguments, converted to UTF-8 for main and the command-line grammar.
#include "boot_request.h"
#include "startup.h"

namespace {

// The joined command text holds 255 characters, and every argument after the first takes at
// least its separating blank, so no argument beyond the program name and 256 more can matter;
// none can contribute more than 255 characters either.
inline constexpr int MAX_ARGUMENTS = 1 + COMMAND_CAPACITY;
inline constexpr size_t ARGUMENT_BYTES = COMMAND_CAPACITY;

char argument_text[MAX_ARGUMENTS][ARGUMENT_BYTES];
char *argument_vector[MAX_ARGUMENTS + 1];

} // namespace

int collect_arguments(char ***argv)
{
    *argv = argument_vector;
    argument_vector[0] = nullptr;
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
