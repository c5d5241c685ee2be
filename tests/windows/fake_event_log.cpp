// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Fake event-log functions that capture what record_event reports.
#include "fake_event_log.h"

#include <stdio.h>

#include "event_log.h"

CapturedEvents captured;

namespace {

HANDLE WINAPI fake_register(LPCSTR server, LPCSTR source)
{
    captured.calls.push_back(std::string("register ") + source + (server ? " remote" : ""));
    if (captured.refuse_register) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return FAKE_EVENT_SOURCE;
}

BOOL WINAPI fake_report(HANDLE source, WORD type, WORD category, DWORD event_id, PSID user,
                        WORD string_count, DWORD data_size, LPCSTR *strings, LPVOID)
{
    captured.calls.push_back("report");
    captured.reported_to = source;
    captured.type = type;
    captured.category = category;
    captured.event_id = event_id;
    captured.user_valid = user != nullptr && IsValidSid(user);
    captured.strings.clear();
    for (WORD i = 0; i < string_count; i++)
        captured.strings.push_back(strings[i]);
    captured.data_size = data_size;
    char head[64];
    snprintf(head, sizeof head, "%s %08lX:",
             type == EVENTLOG_ERROR_TYPE         ? "error"
             : type == EVENTLOG_INFORMATION_TYPE ? "information"
                                                 : "other",
             event_id);
    std::string event = head;
    for (const std::string &text : captured.strings)
        event += (event.back() == ':' ? " " : " | ") + text;
    captured.events.push_back(event);
    if (captured.refuse_report) {
        SetLastError(ERROR_LOG_FILE_FULL);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI fake_deregister(HANDLE source)
{
    captured.calls.push_back("deregister");
    captured.deregistered = source;
    return TRUE;
}

} // namespace

void install_event_fakes()
{
    captured = CapturedEvents{};
    event_log_calls = {fake_register, fake_report, fake_deregister};
}
