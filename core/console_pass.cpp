// The console programs' front end: usage text, probe report with its hint, request, restart.
#include "console_pass.h"

#include <stdio.h>

#include "boot_request.h"
#include "messages.h"
#include "variable_store.h"

namespace {

char command_text[COMMAND_CAPACITY];

} // namespace

int run_console_pass(int argc, char **argv)
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
