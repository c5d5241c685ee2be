// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The Application event log: one event for each change of the pending request and each failure.
#pragma once

#include <windows.h>

#include "platform.h"

// The event-log functions, replaceable so that tests capture the events (Wine's are stubs).
struct EventLogCalls {
    HANDLE(WINAPI *register_event_source)(LPCSTR server, LPCSTR source);
    BOOL(WINAPI *report_event)(HANDLE source, WORD type, WORD category, DWORD event_id, PSID user,
                               WORD string_count, DWORD data_size, LPCSTR *strings, LPVOID data);
    BOOL(WINAPI *deregister_event_source)(HANDLE source);
};

extern EventLogCalls event_log_calls;

// The source the MSI registers, with the programs' message table as its EventMessageFile.
inline constexpr char EVENT_SOURCE_NAME[] = "Quiplex UEFI";
// Room for an event's text once its line breaks are "\r\n"; a longer text is cut.
inline constexpr size_t EVENT_TEXT_CAPACITY = 8192;

// Reports one event as the process's user: information for a change, an error (the text and
// the status) for a failure. Nothing it meets, not even a missing source, reaches the caller:
// it returns nothing and leaves the thread's last-error value as it found it.
void record_event(AuditKind kind, const char *text, StatusCode status);
