// The sleep guard's suspend and resume steps, shared by the tray monitor and the service.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "sleep_guard.h"

inline constexpr char GUARD_SERVICE_NAME[] = "QuiplexGuard";

// What one guard holds from a suspend to the following resume.
struct PowerGuard {
    uint8_t *saved_request; // heap copy of "Quiplex" from the first suspend; null: none pending
    size_t saved_request_size;
    bool suspended; // this guard rewrote the request and owes the resume its write back
};

// At suspend: the first one takes the copy, every one writes the request reading /Current.
// SLEEP_SAVED, SLEEP_NOTHING_SAVED or SLEEP_KEPT, or SLEEP_WRITE_FAILED with the store's status;
// the copy is kept either way, for the resume.
SleepResult guard_suspend(PowerGuard *guard);
// At resume: the copy back, or the variable deleted when none was pending; nothing when this
// guard did not handle a suspend. The copy is released whatever the write's result.
SleepResult guard_resume(PowerGuard *guard);

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
