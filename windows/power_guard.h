// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The sleep guard's saved state in memory, shared by the tray monitor and the service.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "sleep_guard.h"

inline constexpr char GUARD_SERVICE_NAME[] = "QuiplexGuard";

// What one guard holds from a suspend to the following resume: the sleep guard's saved state.
struct PowerGuard {
    uint8_t saved_request[SAVED_REQUEST_LIMIT]; // "Quiplex" as the first suspend found it
    size_t saved_request_size;                  // 0 when none was pending
    bool suspended;    // this guard rewrote the request and owes the resume its write back
    bool none_pending; // nothing was pending at the first suspend
};

// The saved-copy seam over `guard`, for the core's suspend_request and resume_request until the
// next call. A resume lets the copy go even when its write failed: the next suspend takes a fresh
// one.
const SavedRequestCalls *saved_in(PowerGuard *guard);

// The service manager calls that tell whether the service runs, replaceable for tests.
struct ServiceQueryCalls {
    SC_HANDLE(WINAPI *open_sc_manager)(LPCSTR machine, LPCSTR database, DWORD access);
    SC_HANDLE(WINAPI *open_service)(SC_HANDLE manager, LPCSTR name, DWORD access);
    BOOL(WINAPI *query_service_status)(SC_HANDLE service, LPSERVICE_STATUS status);
    BOOL(WINAPI *close_service_handle)(SC_HANDLE handle);
};

extern ServiceQueryCalls service_query_calls;

// True when the service QuiplexGuard is running and so guards every sleep itself. Anything the
// service manager cannot answer counts as not running: then the monitor guards.
bool guard_service_running();
