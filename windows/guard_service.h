// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The hibernation guard as the Windows service QuiplexGuard, driven by the service manager.
#pragma once

#include <windows.h>

#include "messages.h"
#include "platform.h"

// The service manager's side and the event log, replaceable so that tests drive the service
// without a service manager.
struct ServiceCalls {
    SERVICE_STATUS_HANDLE(WINAPI *register_handler)
    (LPCSTR name, LPHANDLER_FUNCTION_EX handler, LPVOID context);
    BOOL(WINAPI *set_status)(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status);
    // One record in the Application event log (record_event); null records nothing.
    void (*record)(AuditKind kind, const char *text, StatusCode status);
    // The event a stop control sets, which the service's main waits for.
    HANDLE(WINAPI *create_event)
    (LPSECURITY_ATTRIBUTES security, BOOL manual_reset, BOOL initially_set, LPCSTR name);
};

extern ServiceCalls service_calls;

inline constexpr DWORD GUARD_SERVICE_CONTROLS =
    SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT;

// What the service records besides the sleep guard's own texts (core/messages.h).
inline constexpr char RECORD_PROBE_FAILED[] =
    "Suspend: unable to tell whether Zarvex UEFI is installed; the request was left alone.";
inline constexpr char RECORD_PRIVILEGE_FAILED[] =
    "Unable to enable SeSystemEnvironmentPrivilege; the firmware may refuse every change.";

// What quiplexguard.exe says when a person starts it.
inline constexpr char GUARD_PROGRAM_ALONE_TEXT[] =
    "quiplexguard.exe is the program of the service QuiplexGuard (Quiplex hibernation guard),\n"
    "which the service manager starts. To see it: sc query QuiplexGuard\n";

// The service's entry, named in the dispatch table: reports running, then waits for a stop or
// shutdown control and reports stopped with exit code 0.
void WINAPI guard_service_main(DWORD argc, LPSTR *argv);

// The control handler guard_service_main registers; called on the dispatcher's thread.
DWORD WINAPI guard_service_control(DWORD control, DWORD event_type, LPVOID event_data,
                                   LPVOID context);
