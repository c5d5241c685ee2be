// The service QuiplexGuard: the sleep guard on the service manager's power events.
#include "guard_service.h"

#include "event_log.h"
#include "firmware_store.h"
#include "power_guard.h"
#include "variable_store.h"

ServiceCalls service_calls = {RegisterServiceCtrlHandlerExA, SetServiceStatus, record_event,
                              CreateEventA};

namespace {

SERVICE_STATUS_HANDLE status_handle;
HANDLE stop_event;
// Touched only on the dispatcher's thread, where every control arrives one after the other.
PowerGuard guard;

struct OutcomeRecord {
    SleepOutcome outcome;
    const char *text;
};

constexpr OutcomeRecord SUSPEND_RECORDS[] = {
    {SLEEP_SAVED, RECORD_SUSPEND_SAVED},
    {SLEEP_NOTHING_SAVED, RECORD_SUSPEND_NOTHING_SAVED},
    {SLEEP_KEPT, RECORD_SUSPEND_KEPT},
};

constexpr OutcomeRecord RESUME_RECORDS[] = {
    {SLEEP_PUT_BACK, RECORD_RESUME_PUT_BACK},
    {SLEEP_DELETED, RECORD_RESUME_DELETED},
};

constexpr OutcomeRecord STOP_RECORDS[] = {
    {SLEEP_PUT_BACK, RECORD_STOP_PUT_BACK},
    {SLEEP_DELETED, RECORD_STOP_DELETED},
};

void record(AuditKind kind, const char *text, StatusCode status)
{
    if (service_calls.record != nullptr)
        service_calls.record(kind, text, status);
}

template <size_t N> void record_outcome(const OutcomeRecord (&records)[N], SleepResult result)
{
    for (const OutcomeRecord &row : records) {
        if (row.outcome == result.outcome)
            record(AUDIT_SLEEP_GUARD, row.text, result.status);
    }
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
    const SleepResult result = guard_suspend(&guard);
    if (result.outcome == SLEEP_WRITE_FAILED)
        record(AUDIT_FAILED, RECORD_SUSPEND_FAILED, result.status);
    record_outcome(SUSPEND_RECORDS, result);
}

template <size_t N> void on_resume(const OutcomeRecord (&records)[N])
{
    const bool deleting = guard.suspended && guard.saved_request == nullptr;
    const SleepResult result = guard_resume(&guard);
    if (result.outcome == SLEEP_WRITE_FAILED) {
        // Windows fails the delete of an absent variable: then the suspend's write had failed
        // and there is nothing to undo.
        if (!deleting || probe_variable(REQUEST_VARIABLE_NAME) != STATUS_NOT_FOUND)
            record(AUDIT_FAILED, RECORD_RESUME_FAILED, result.status);
        return;
    }
    record_outcome(records, result);
}

} // namespace

DWORD WINAPI guard_service_control(DWORD control, DWORD event_type, LPVOID, LPVOID)
{
    switch (control) {
    case SERVICE_CONTROL_POWEREVENT:
        if (event_type == PBT_APMSUSPEND)
            on_suspend();
        else if (event_type == PBT_APMRESUMEAUTOMATIC)
            on_resume(RESUME_RECORDS);
        return NO_ERROR;
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        // A stop between a suspend and its resume must not take the saved request with it.
        on_resume(STOP_RECORDS);
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
