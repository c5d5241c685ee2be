// The sleep guard's suspend and resume steps, shared by the tray monitor and the service.
#include "power_guard.h"

#include <stdlib.h>

ServiceQueryCalls service_query_calls = {OpenSCManagerA, OpenServiceA, QueryServiceStatus,
                                         CloseServiceHandle};

SleepResult guard_suspend(PowerGuard *guard)
{
    SleepOutcome outcome = SLEEP_KEPT;
    // A second suspend keeps the first copy: reading now would see our own /Current rewrite.
    if (!guard->suspended) {
        // A guard that holds no suspend is all zero, so nothing read leaves the size at 0.
        guard->saved_request = copy_pending_request(&guard->saved_request_size);
        guard->suspended = true;
        outcome = guard->saved_request != nullptr ? SLEEP_SAVED : SLEEP_NOTHING_SAVED;
    }
    const StatusCode status =
        write_suspend_request(guard->saved_request, guard->saved_request_size);
    return {status == STATUS_SUCCESS ? outcome : SLEEP_WRITE_FAILED, status};
}

SleepResult guard_resume(PowerGuard *guard)
{
    if (!guard->suspended)
        return {SLEEP_NOTHING_TO_DO, STATUS_SUCCESS};
    const SleepOutcome outcome = guard->saved_request != nullptr ? SLEEP_PUT_BACK : SLEEP_DELETED;
    const StatusCode status = write_resume_request(guard->saved_request, guard->saved_request_size);
    free(guard->saved_request);
    *guard = PowerGuard{};
    return {status == STATUS_SUCCESS ? outcome : SLEEP_WRITE_FAILED, status};
}

bool guard_service_running()
{
    SC_HANDLE manager = service_query_calls.open_sc_manager(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return false;
    bool running = false;
    SC_HANDLE service =
        service_query_calls.open_service(manager, GUARD_SERVICE_NAME, SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        SERVICE_STATUS status = {};
        running = service_query_calls.query_service_status(service, &status) &&
                  status.dwCurrentState == SERVICE_RUNNING;
        service_query_calls.close_service_handle(service);
    }
    service_query_calls.close_service_handle(manager);
    return running;
}
