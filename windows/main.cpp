// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// quiplexu: writes a one-shot boot request for Zarvex UEFI and restarts Windows.
#include "boot_request.h"
#include "entry.h"
#include "hibernation_monitor.h"
#include "messages.h"
#include "power_guard.h"

EntryCalls entry_calls = {MessageBoxA, run_hibernation_monitor, GetProcessWindowStation,
                          GetUserObjectInformationA};

namespace {

HINSTANCE this_instance;
HINSTANCE previous_instance_of_this;
bool station_visible;

void box(const char *text, const char *caption, UINT icon)
{
    entry_calls.message_box(nullptr, text, caption, MB_OK | icon);
}

// A box where nobody can see it never returns, so there every text goes to whichever output
// was redirected: standard output, else standard error, else nowhere (the event log keeps the
// failures). On a desktop, data that a script redirected (--status=json > s.json) goes there.
void show(const char *text, TextRole role)
{
    if (!station_visible) {
        if (!write_line_to(STD_OUTPUT_HANDLE, text))
            write_line_to(STD_ERROR_HANDLE, text);
        return;
    }
    if (role == TEXT_DATA && write_line_to(STD_OUTPUT_HANDLE, text))
        return;
    const bool answer = role == TEXT_ANSWER || role == TEXT_DATA;
    box(text, role == TEXT_USAGE ? USAGE_CAPTION : MESSAGE_CAPTION,
        answer ? MB_ICONINFORMATION : MB_ICONWARNING);
}

bool start_monitor(const BootRequest *request, StatusCode *status)
{
    if (!selection_is_keyword(request, HIBERNATE_KEYWORD))
        return false;
    // The tray needs a desktop; a monitor nobody can end would only wait for ever.
    if (!station_visible) {
        *status = MONITOR_UNSEEN_STATUS;
        report_windows_failure(MESSAGE_MONITOR_NEEDS_DESKTOP, *status);
        return true;
    }
    // Windows always passes a null previous instance; anything else ends the run at once.
    if (previous_instance_of_this != nullptr)
        return true;
    // Two guards on one sleep would lose the pending request (the second saves the first's
    // /Current rewrite and puts that back at resume).
    if (guard_service_running())
        box(MESSAGE_GUARD_SERVICE_RUNNING, MESSAGE_CAPTION, MB_ICONINFORMATION);
    else
        entry_calls.run_monitor(this_instance);
    return true;
}

bool nobody_sees()
{
    return !station_visible;
}

const WindowsProgram QUIPLEXU = {
    .name = "quiplexu",
    .usage_text = USAGE_TEXT_WINDOWS,
    .show = show,
    .access_denied_hint = nullptr,
    .take_over = start_monitor,
    .take_over_keyword = HIBERNATE_KEYWORD,
    .refused_keyword = nullptr,
    .unseen = nobody_sees,
};

} // namespace

bool window_station_visible()
{
    HWINSTA station = entry_calls.get_process_window_station();
    USEROBJECTFLAGS flags = {};
    DWORD needed;
    return station != nullptr &&
           entry_calls.get_user_object_information(station, UOI_FLAGS, &flags, sizeof flags,
                                                   &needed) &&
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

int run_quiplexu(HINSTANCE instance, HINSTANCE previous_instance, const char *command_text)
{
    this_instance = instance;
    previous_instance_of_this = previous_instance;
    station_visible = window_station_visible();
    return run_windows_program(command_text, &QUIPLEXU);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_text, int)
{
    return run_quiplexu(instance, previous_instance, command_text);
}

static_assert(sizeof(USEROBJECTFLAGS) == 12, "the UOI_FLAGS record Windows fills");
