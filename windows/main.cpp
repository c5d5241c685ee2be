// quiplexu: writes a one-shot boot request for Zarvex UEFI and restarts Windows.
#include <stdlib.h>

#include "bounded_format.h"
#include "entry.h"
#include "firmware_store.h"
#include "hibernation_monitor.h"
#include "messages.h"
#include "restart.h"
#include "variable_store.h"

EntryCalls entry_calls = {MessageBoxA, run_hibernation_monitor};

namespace {

constexpr size_t MESSAGE_TEXT_CAPACITY = 128;

void warn(const char *text, const char *caption)
{
    entry_calls.message_box(nullptr, text, caption, MB_OK | MB_ICONWARNING);
}

void report_write_failure()
{
    const DWORD error = GetLastError();
    char *text = static_cast<char *>(malloc(MESSAGE_TEXT_CAPACITY));
    if (text == nullptr) {
        warn(MESSAGE_CONFIGURE_FAILED, MESSAGE_CAPTION);
        return;
    }
    bounded_format(text, MESSAGE_TEXT_CAPACITY, "%s (%Xh)", MESSAGE_CONFIGURE_FAILED,
                   static_cast<unsigned>(error));
    warn(text, MESSAGE_CAPTION);
    free(text);
}

} // namespace

int run_quiplexu(HINSTANCE instance, HINSTANCE previous_instance, const char *command_text)
{
    enable_privilege("SeSystemEnvironmentPrivilege", true);
    BootRequest request;
    if (parse_boot_request(command_text, &request) != STATUS_SUCCESS) {
        warn(USAGE_TEXT_WINDOWS, USAGE_CAPTION);
        return STATUS_INVALID_PARAMETER;
    }
    const StatusCode probe = probe_boot_manager();
    if (probe != STATUS_SUCCESS) {
        warn(MESSAGE_NOT_FOUND, MESSAGE_CAPTION);
        return static_cast<int>(probe);
    }
    if (selection_is_keyword(&request, HIBERNATE_KEYWORD)) {
        if (previous_instance == nullptr)
            entry_calls.run_monitor(instance);
        return STATUS_SUCCESS;
    }
    resolve_selection(&request);
    bool payload_allocated = false;
    const StatusCode written = write_boot_request(&request, &payload_allocated);
    if (!payload_allocated)
        return static_cast<int>(written);
    if (written != STATUS_SUCCESS) {
        report_write_failure();
        return static_cast<int>(written);
    }
    if (!request.no_reboot)
        restart_system(request.force);
    return STATUS_SUCCESS;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_text, int)
{
    return run_quiplexu(instance, previous_instance, command_text);
}
