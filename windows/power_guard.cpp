// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The sleep guard's saved state in memory for the tray monitor and the service, and whether the
// service runs.
#include "power_guard.h"

#include <string.h>

ServiceQueryCalls service_query_calls = {OpenSCManagerA, OpenServiceA, QueryServiceStatus,
                                         CloseServiceHandle};

namespace {

// The guard whose copy the calls below keep, named by the last saved_in.
PowerGuard *held;

StatusCode load(uint8_t *buffer, size_t capacity, size_t *size, bool *none_pending)
{
    if (!held->suspended)
        return STATUS_NOT_FOUND;
    if (held->saved_request_size > capacity)
        return STATUS_CORRUPT;
    *none_pending = held->none_pending;
    *size = held->saved_request_size;
    memcpy(buffer, held->saved_request, *size);
    return STATUS_SUCCESS;
}

// The core copies at most SAVED_REQUEST_LIMIT bytes, which the guard always has room for.
StatusCode save(const uint8_t *copy, size_t size)
{
    held->suspended = true;
    held->none_pending = copy == nullptr;
    held->saved_request_size = copy == nullptr ? 0 : size;
    if (copy != nullptr)
        memcpy(held->saved_request, copy, size);
    return STATUS_SUCCESS;
}

StatusCode forget()
{
    *held = PowerGuard{};
    return STATUS_SUCCESS;
}

constexpr SavedRequestCalls IN_MEMORY = {
    .load = load, .save = save, .remove = forget, .forget_after_failed_resume = true};

} // namespace

const SavedRequestCalls *saved_in(PowerGuard *guard)
{
    held = guard;
    return &IN_MEMORY;
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
