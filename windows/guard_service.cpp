// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The service QuiplexGuard: the sleep guard on the service manager's power events.
#include "guard_service.h"

#include "event_log.h"
#include "firmware_store.h"
#include "power_guard.h"
#include "sleep_guard.h"
#include "variable_store.h"

ServiceCalls service_calls = {RegisterServiceCtrlHandlerExA, SetServiceStatus, record_event,
                              CreateEventA};

namespace {

SERVICE_STATUS_HANDLE status_handle;
HANDLE stop_event;
// Touched only on the dispatcher's thread, where every control arrives one after the other.
PowerGuard guard;

void record(AuditKind kind, const char *text, StatusCode status)
{
    if (service_calls.record != nullptr)
        service_calls.record(kind, text, status);
}

// Each change the guard made, and each it could not make, with the one text for its step.
void record_result(SleepStep step, SleepResult result)
{
    const char *text = sleep_text(result.outcome).events[step];
    if (text == nullptr)
        return;
    if (result.status != STATUS_SUCCESS)
        record(AUDIT_FAILED, text, result.status);
    else if (result.changed)
        record(AUDIT_SLEEP_GUARD, text, STATUS_SUCCESS);
}

void report(DWORD state, DWORD controls, DWORD exit_code = NO_ERROR)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = controls;
    status.dwWin32ExitCode = exit_code;
    // The guard starts and stops without lengthy work; the hint only has to be non-zero.
    status.dwWaitHint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 1000 : 0;
    service_calls.set_status(status_handle, &status);
}

void on_suspend()
{
    // Without the boot manager nothing reads "Quiplex"; the firmware is left as it is.
    const StatusCode probe = probe_boot_manager();
    if (probe != STATUS_SUCCESS) {
        if (probe != STATUS_NOT_FOUND && probe != STATUS_NOT_SUPPORTED)
            record(AUDIT_FAILED, RECORD_PROBE_FAILED, probe);
        return;
    }
    record_result(SLEEP_STEP_SUSPEND, suspend_request(saved_in(&guard)));
}

} // namespace

DWORD WINAPI guard_service_control(DWORD control, DWORD event_type, LPVOID, LPVOID)
{
    switch (control) {
    case SERVICE_CONTROL_POWEREVENT:
        if (event_type == PBT_APMSUSPEND)
            on_suspend();
        else if (event_type == PBT_APMRESUMEAUTOMATIC)
            record_result(SLEEP_STEP_RESUME, resume_request(saved_in(&guard)));
        return NO_ERROR;
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        // A stop between a suspend and its resume must not take the saved request with it.
        record_result(SLEEP_STEP_STOP, resume_request(saved_in(&guard)));
        report(SERVICE_STOP_PENDING, 0);
        SetEvent(stop_event);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI guard_service_main(DWORD, LPSTR *)
{
    status_handle =
        service_calls.register_handler(GUARD_SERVICE_NAME, guard_service_control, nullptr);
    if (status_handle == nullptr)
        return;
    report(SERVICE_START_PENDING, 0);
    stop_event = service_calls.create_event(nullptr, TRUE, FALSE, nullptr);
    if (stop_event == nullptr) {
        report(SERVICE_STOPPED, 0, GetLastError());
        return;
    }
    if (enable_privilege("SeSystemEnvironmentPrivilege", true) == ERROR_FUNCTION_FAILED)
        record(AUDIT_FAILED, RECORD_PRIVILEGE_FAILED, STATUS_ACCESS_DENIED);
    report(SERVICE_RUNNING, GUARD_SERVICE_CONTROLS);
    WaitForSingleObject(stop_event, INFINITE);
    CloseHandle(stop_event);
    stop_event = nullptr;
    report(SERVICE_STOPPED, 0);
}

static_assert(SERVICE_CONTROL_POWEREVENT == 13 && SERVICE_ACCEPT_POWEREVENT == 0x40);
static_assert(GUARD_SERVICE_CONTROLS == 0x45, "stop, shutdown and power events");
