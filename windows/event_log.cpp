// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// record_event: the audit trail and the unattended failures in the Application event log.
#include "event_log.h"

#include "bounded_format.h"
#include "event_messages.h"

EventLogCalls event_log_calls = {RegisterEventSourceA, ReportEventA, DeregisterEventSource};

namespace {

struct EventRow {
    AuditKind kind;
    WORD type;
    DWORD event_id; // with the severity bits, as the message table holds it
};

constexpr EventRow EVENT_ROWS[] = {
    {AUDIT_WRITTEN, EVENTLOG_INFORMATION_TYPE, EVENT_REQUEST_WRITTEN},
    {AUDIT_CANCELLED, EVENTLOG_INFORMATION_TYPE, EVENT_REQUEST_CANCELLED},
    {AUDIT_SLEEP_GUARD, EVENTLOG_INFORMATION_TYPE, EVENT_SLEEP_GUARD},
    {AUDIT_FAILED, EVENTLOG_ERROR_TYPE, EVENT_RUN_FAILED},
};

char event_text[EVENT_TEXT_CAPACITY];
char status_text[sizeof "4294967295"]; // any unsigned in decimal
// A TOKEN_USER and the largest SID it can point at.
alignas(TOKEN_USER) unsigned char token_user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];

// Event Viewer shows a bare "\n" in an insertion string as nothing at all.
const char *with_windows_line_breaks(const char *text)
{
    size_t length = 0;
    for (; *text != '\0'; text++) {
        const bool line_break = *text == '\n';
        if (length + (line_break ? 2 : 1) >= sizeof event_text)
            break;
        if (line_break)
            event_text[length++] = '\r';
        event_text[length++] = *text;
    }
    event_text[length] = '\0';
    return event_text;
}

// The account the run belongs to, so that the event answers who set the next start.
PSID process_user()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    DWORD length;
    const BOOL known =
        GetTokenInformation(token, TokenUser, token_user, sizeof token_user, &length);
    CloseHandle(token);
    return known ? reinterpret_cast<TOKEN_USER *>(token_user)->User.Sid : nullptr;
}

} // namespace

void record_event(AuditKind kind, const char *text, StatusCode status)
{
    const EventRow *row = nullptr;
    for (const EventRow &candidate : EVENT_ROWS)
        if (candidate.kind == kind)
            row = &candidate;
    if (row == nullptr)
        return;
    // The caller may still want the error of the step that failed (quiplexu shows it).
    const DWORD last_error = GetLastError();
    HANDLE source = event_log_calls.register_event_source(nullptr, EVENT_SOURCE_NAME);
    if (source != nullptr) {
        bounded_format(status_text, sizeof status_text, "%u", static_cast<unsigned>(status));
        LPCSTR strings[] = {with_windows_line_breaks(text != nullptr ? text : ""), status_text};
        event_log_calls.report_event(source, row->type, 0, row->event_id, process_user(), 2, 0,
                                     strings, nullptr);
        event_log_calls.deregister_event_source(source);
    }
    SetLastError(last_error);
}
