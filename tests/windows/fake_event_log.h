// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Fake event-log functions in the event_log_calls seam: each call and event captured.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

inline HANDLE const FAKE_EVENT_SOURCE = reinterpret_cast<HANDLE>(0x5ca1e);

struct CapturedEvents {
    std::vector<std::string> calls;  // "register NAME", "report", "deregister"
    std::vector<std::string> events; // "information 40000001: TEXT | STATUS" (or "error ...")
    // The last report's fields.
    WORD type;
    WORD category;
    DWORD event_id;
    bool user_valid;
    std::vector<std::string> strings;
    DWORD data_size;
    HANDLE reported_to;
    HANDLE deregistered;
    // Set by a test: the call fails.
    bool refuse_register;
    bool refuse_report;
};

extern CapturedEvents captured;

// Clears `captured` and puts the fakes into event_log_calls.
void install_event_fakes();
