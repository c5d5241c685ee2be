// quiplexu: writes a one-shot boot request for Zarvex UEFI and restarts Windows.
#include <stdlib.h>
#include <string.h>

#include "boot_request.h"
#include "bounded_format.h"
#include "entry.h"
#include "event_log.h"
#include "firmware_store.h"
#include "hibernation_monitor.h"
#include "messages.h"
#include "pass.h"
#include "restart.h"

EntryCalls entry_calls = {MessageBoxA, run_hibernation_monitor};

namespace {

constexpr size_t MESSAGE_TEXT_CAPACITY = 128;

HINSTANCE this_instance;
HINSTANCE previous_instance_of_this;
char usage_with_options[sizeof USAGE_TEXT_WINDOWS + sizeof TOOL_OPTIONS_TEXT];

void box(const char *text, const char *caption, UINT icon)
{
    entry_calls.message_box(nullptr, text, caption, MB_OK | icon);
}

void show_usage(const char *options_block)
{
    const char *text = USAGE_TEXT_WINDOWS;
    if (options_block != nullptr) {
        bounded_format(usage_with_options, sizeof usage_with_options, "%s%s", USAGE_TEXT_WINDOWS,
                       options_block);
        text = usage_with_options;
    }
    box(text, USAGE_CAPTION, MB_ICONWARNING);
}

void report_not_found(StatusCode)
{
    box(MESSAGE_NOT_FOUND, MESSAGE_CAPTION, MB_ICONWARNING);
}

void report_write_failure(StatusCode)
{
    const DWORD error = GetLastError();
    char *text = static_cast<char *>(malloc(MESSAGE_TEXT_CAPACITY));
    if (text == nullptr) {
        box(MESSAGE_CONFIGURE_FAILED, MESSAGE_CAPTION, MB_ICONWARNING);
        return;
    }
    bounded_format(text, MESSAGE_TEXT_CAPACITY, "%s (%Xh)", MESSAGE_CONFIGURE_FAILED,
                   static_cast<unsigned>(error));
    box(text, MESSAGE_CAPTION, MB_ICONWARNING);
    free(text);
}

// A script that redirected the output (quiplexu --status=json > s.json) gets the data there;
// a person who started the program without a console gets a box.
bool write_to_redirected_output(const char *text)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE ||
        GetFileType(output) == FILE_TYPE_UNKNOWN)
        return false;
    DWORD written = 0;
    const DWORD length = static_cast<DWORD>(strlen(text));
    return WriteFile(output, text, length, &written, nullptr) && written == length &&
           WriteFile(output, "\r\n", 2, &written, nullptr);
}

void show_message(const char *text, MessageKind kind)
{
    if (kind == MESSAGE_DATA && write_to_redirected_output(text))
        return;
    box(text, MESSAGE_CAPTION, kind == MESSAGE_FAILURE ? MB_ICONWARNING : MB_ICONINFORMATION);
}

bool start_monitor(const BootRequest *request)
{
    if (!selection_is_keyword(request, HIBERNATE_KEYWORD))
        return false;
    // Windows always passes a null previous instance; anything else ends the run at once.
    if (previous_instance_of_this == nullptr)
        entry_calls.run_monitor(this_instance);
    return true;
}

// No efivarfs hint here: a PC without firmware variables is a legacy BIOS, not a missing mount.
void report_failure(const char *text, StatusCode)
{
    box(text, MESSAGE_CAPTION, MB_ICONWARNING);
}

const FrontEnd FRONT_END = {
    .program_name = "quiplexu",
    .show_usage = show_usage,
    .report_not_found = report_not_found,
    .report_write_failure = report_write_failure,
    .report_failure = report_failure,
    .show_message = show_message,
    .restart = restart_system,
    .take_over = start_monitor,
    .take_over_keyword = HIBERNATE_KEYWORD,
    .force_closes_applications = true,
    .saved_request = nullptr,
    .record = record_event,
};

} // namespace

int run_quiplexu(HINSTANCE instance, HINSTANCE previous_instance, const char *command_text)
{
    enable_privilege("SeSystemEnvironmentPrivilege", true);
    this_instance = instance;
    previous_instance_of_this = previous_instance;
    return run_pass(command_text, &FRONT_END);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_text, int)
{
    return run_quiplexu(instance, previous_instance, command_text);
}
