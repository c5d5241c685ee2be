// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Fake firmware, shutdown and service functions placed in the optional-function table and seams.
#include "fake_firmware.h"

#include <gtest/gtest.h>
#include <string.h>

#include "firmware_store.h"
#include "guard_service.h"
#include "power_guard.h"
#include "privileges.h"
#include "restart.h"

FakeFirmware fake;

namespace {

FakeVariable *find(const char *name)
{
    for (FakeVariable &v : fake.variables)
        if (v.present && strcmp(v.name, name) == 0)
            return &v;
    return nullptr;
}

DWORD WINAPI read_ex(LPCSTR name, LPCSTR, PVOID buffer, DWORD capacity, PDWORD attributes)
{
    fake.last_attributes_place = attributes;
    fake.last_attributes_place_seen = true;
    if (fake.read_count < 8)
        fake.read_capacities[fake.read_count] = capacity;
    ++fake.read_count;
    if (fake.forced_error != 0) {
        SetLastError(fake.forced_error);
        return 0;
    }
    FakeVariable *v = find(name);
    if (v == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    if (capacity < v->size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, v->data, v->size);
    if (attributes != nullptr)
        *attributes = 7;
    return v->size;
}

DWORD WINAPI read_plain(LPCSTR name, LPCSTR guid, PVOID buffer, DWORD capacity)
{
    const DWORD result = read_ex(name, guid, buffer, capacity, nullptr);
    fake.last_attributes_place_seen = false;
    return result;
}

BOOL WINAPI write_ex(LPCSTR name, LPCSTR, PVOID data, DWORD size, DWORD attributes)
{
    if (fake.forced_error != 0 || fake.write_error != 0) {
        SetLastError(fake.forced_error != 0 ? fake.forced_error : fake.write_error);
        return FALSE;
    }
    if (fake.write_count < 16) {
        FakeWrite &w = fake.writes[fake.write_count];
        strcpy(w.name, name);
        memcpy(w.data, data ? data : "", size);
        w.size = size;
        w.attributes = attributes;
    }
    ++fake.write_count;
    if (size == 0) {
        if (FakeVariable *v = find(name))
            v->present = false;
    } else {
        fake_set_variable(name, data, size);
    }
    return TRUE;
}

BOOL WINAPI write_plain(LPCSTR name, LPCSTR guid, PVOID data, DWORD size)
{
    return write_ex(name, guid, data, size, 0xFFFFFFFF);
}

BOOL shutdown_result()
{
    if (fake.shutdown_error == 0)
        return TRUE;
    SetLastError(fake.shutdown_error);
    return FALSE;
}

BOOL WINAPI shutdown_ex(LPSTR machine, LPSTR message, DWORD timeout, BOOL force, BOOL reboot,
                        DWORD reason)
{
    ++fake.shutdown_calls;
    fake.last_force = force;
    fake.last_reboot = reboot;
    fake.last_reason = reason;
    fake.last_timeout = timeout;
    if (machine != nullptr || message != nullptr)
        fake.last_reboot = 99;
    return shutdown_result();
}

BOOL WINAPI shutdown_plain(LPSTR machine, LPSTR message, DWORD timeout, BOOL force, BOOL reboot)
{
    ++fake.plain_shutdown_calls;
    fake.last_force = force;
    fake.last_reboot = (machine || message) ? 99 : reboot;
    fake.last_timeout = timeout;
    return shutdown_result();
}

VOID WINAPI fake_sleep(DWORD milliseconds)
{
    ++fake.sleeps;
    fake.slept_milliseconds += milliseconds;
}

BOOL WINAPI fake_exit_windows(UINT flags, DWORD reason)
{
    ++fake.exit_windows_calls;
    fake.exit_windows_flags = flags;
    fake.last_reason = reason;
    return TRUE;
}

// Handles are the fake's own addresses, told apart by their offset.
SC_HANDLE fake_handle(unsigned which)
{
    return reinterpret_cast<SC_HANDLE>(reinterpret_cast<char *>(&fake) + which);
}

SC_HANDLE WINAPI open_manager(LPCSTR machine, LPCSTR database, DWORD access)
{
    if (machine != nullptr || database != nullptr || access != SC_MANAGER_CONNECT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (fake.service_manager_error != 0) {
        SetLastError(fake.service_manager_error);
        return nullptr;
    }
    ++fake.service_handles_open;
    return fake_handle(1);
}

SC_HANDLE WINAPI open_service(SC_HANDLE manager, LPCSTR name, DWORD access)
{
    if (manager != fake_handle(1) || strcmp(name, "QuiplexGuard") != 0 ||
        access != SERVICE_QUERY_STATUS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (fake.guard_service_state == 0) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    ++fake.service_handles_open;
    return fake_handle(2);
}

BOOL WINAPI query_status(SC_HANDLE service, LPSERVICE_STATUS status)
{
    ++fake.service_queries;
    if (service != fake_handle(2) || fake.query_fails) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *status = SERVICE_STATUS{};
    status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status->dwCurrentState = fake.guard_service_state;
    return TRUE;
}

BOOL WINAPI close_handle(SC_HANDLE handle)
{
    if (handle != fake_handle(1) && handle != fake_handle(2)) {
        ADD_FAILURE() << "closed a handle the fake never gave";
        return FALSE;
    }
    --fake.service_handles_open;
    return TRUE;
}

HANDLE status_reported;

SERVICE_STATUS_HANDLE WINAPI register_handler(LPCSTR name, LPHANDLER_FUNCTION_EX handler,
                                              LPVOID context)
{
    EXPECT_STREQ(name, "QuiplexGuard");
    EXPECT_EQ(context, nullptr);
    fake.registered_handler = handler;
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(fake_handle(3));
}

BOOL WINAPI set_status(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status)
{
    EXPECT_EQ(handle, reinterpret_cast<SERVICE_STATUS_HANDLE>(fake_handle(3)));
    if (fake.status_count < 8)
        fake.statuses[fake.status_count] = *status;
    ++fake.status_count;
    SetEvent(status_reported);
    return TRUE;
}

void record(AuditKind kind, const char *text, StatusCode status)
{
    if (fake.record_count < 8) {
        FakeRecord &r = fake.records[fake.record_count];
        r.kind = kind;
        strncpy(r.text, text, sizeof r.text - 1);
        r.status = status;
    }
    ++fake.record_count;
}

HANDLE WINAPI create_event(LPSECURITY_ATTRIBUTES security, BOOL manual_reset, BOOL initially_set,
                           LPCSTR name)
{
    if (fake.stop_event_refused) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateEventA(security, manual_reset, initially_set, name);
}

BOOL WINAPI open_token(HANDLE process, DWORD access, PHANDLE token)
{
    ++fake.token_opens;
    fake.token_access = access;
    fake.own_process = process == GetCurrentProcess();
    if (fake.token_refusal == REFUSE_OPEN) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return OpenProcessToken(process, access, token);
}

BOOL WINAPI look_up_privilege(LPCSTR system, LPCSTR name, PLUID luid)
{
    EXPECT_EQ(system, nullptr);
    strncat(fake.privilege_log, name, sizeof fake.privilege_log - strlen(fake.privilege_log) - 3);
    if (fake.token_refusal == REFUSE_LOOKUP) {
        SetLastError(ERROR_NO_SUCH_PRIVILEGE);
        return FALSE;
    }
    return LookupPrivilegeValueA(system, name, luid);
}

BOOL WINAPI adjust_token(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES state, DWORD length,
                         PTOKEN_PRIVILEGES previous, PDWORD returned_length)
{
    EXPECT_FALSE(disable_all);
    ++fake.adjustments;
    fake.adjusted = *state;
    fake.adjusted_length = length;
    fake.previous_asked = previous != nullptr;
    fake.returned_length_asked = returned_length != nullptr;
    strcat(fake.privilege_log,
           state->Privileges[0].Attributes == SE_PRIVILEGE_ENABLED ? "+ " : "- ");
    if (fake.token_refusal == REFUSE_ADJUST) {
        SetLastError(ERROR_NOT_ALL_ASSIGNED);
        return FALSE;
    }
    const BOOL adjusted =
        AdjustTokenPrivileges(token, disable_all, state, length, previous, returned_length);
    if (previous != nullptr && fake.reported_previous_count >= 0)
        previous->PrivilegeCount = static_cast<DWORD>(fake.reported_previous_count);
    return adjusted;
}

BOOL WINAPI close_token(HANDLE object)
{
    ++fake.token_closes;
    return CloseHandle(object);
}

} // namespace

void install_fakes(bool ex_variants, bool plain_variants, bool ex_shutdown, bool plain_shutdown)
{
    fake = FakeFirmware{};
    optional_functions.get_firmware_variable_ex = ex_variants ? read_ex : nullptr;
    optional_functions.set_firmware_variable_ex = ex_variants ? write_ex : nullptr;
    optional_functions.get_firmware_variable = plain_variants ? read_plain : nullptr;
    optional_functions.set_firmware_variable = plain_variants ? write_plain : nullptr;
    optional_functions.initiate_shutdown_ex = ex_shutdown ? shutdown_ex : nullptr;
    optional_functions.initiate_shutdown = plain_shutdown ? shutdown_plain : nullptr;
    restart_calls.sleep = fake_sleep;
    restart_calls.exit_windows_ex = fake_exit_windows;
    service_query_calls = {open_manager, open_service, query_status, close_handle};
    service_calls = {register_handler, set_status, record, create_event};
    privilege_calls = {open_token, look_up_privilege, adjust_token, close_token};
    fake.reported_previous_count = -1;
    if (status_reported == nullptr)
        status_reported = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ResetEvent(status_reported);
}

HANDLE fake_status_reported()
{
    return status_reported;
}

void fake_set_variable(const char *name, const void *data, DWORD size)
{
    FakeVariable *v = find(name);
    for (FakeVariable &slot : fake.variables)
        if (v == nullptr && !slot.present)
            v = &slot;
    strcpy(v->name, name);
    memcpy(v->data, data, size);
    v->size = size;
    v->present = true;
}

const FakeVariable *fake_variable(const char *name)
{
    return find(name);
}

void fake_delete_variable(const char *name)
{
    if (FakeVariable *v = find(name))
        v->present = false;
}
