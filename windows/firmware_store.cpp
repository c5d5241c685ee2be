// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// read_variable/write_variable over the Windows firmware-environment functions.
#include "firmware_store.h"

#include "guid_text.h"
#include "privileges.h"
#include "variable_store.h"

OptionalFunctions optional_functions;

namespace {

const StatusMapping READ_ERRORS[] = {
    {ERROR_INSUFFICIENT_BUFFER, STATUS_BUFFER_TOO_SMALL},
    {ERROR_ENVVAR_NOT_FOUND, STATUS_NOT_FOUND},
    {ERROR_PRIVILEGE_NOT_HELD, STATUS_ACCESS_DENIED},
    {ERROR_INVALID_FUNCTION, STATUS_NOT_SUPPORTED},
    {ERROR_INVALID_PARAMETER, STATUS_READ_FAILED},
};

const StatusMapping WRITE_ERRORS[] = {
    {ERROR_INSUFFICIENT_BUFFER, STATUS_WRITE_FAILED},
    {ERROR_ENVVAR_NOT_FOUND, STATUS_WRITE_FAILED},
    {ERROR_PRIVILEGE_NOT_HELD, STATUS_ACCESS_DENIED},
    {ERROR_INVALID_FUNCTION, STATUS_NOT_SUPPORTED},
    {ERROR_INVALID_PARAMETER, STATUS_WRITE_FAILED},
};

// The plain write cannot carry attributes, so only the defaults (0) or exactly ours may pass.
constexpr uint32_t PLAIN_WRITE_ATTRIBUTES = REQUEST_ATTRIBUTES;

FARPROC look_up(const char *module, const char *function)
{
    HMODULE handle = GetModuleHandleA(module);
    return handle ? GetProcAddress(handle, function) : nullptr;
}

template <typename Function> void resolve(Function *slot, const char *module, const char *name)
{
    *slot = reinterpret_cast<Function>(reinterpret_cast<void *>(look_up(module, name)));
}

// A C-style constructor: the table must be filled before WinMain, with no global object. The
// first priority a program may use, so that any later start-up code finds the table filled.
__attribute__((constructor(101))) void resolve_at_start_up()
{
    resolve_optional_functions();
}

} // namespace

void resolve_optional_functions()
{
    resolve(&optional_functions.get_firmware_variable_ex, "kernel32",
            "GetFirmwareEnvironmentVariableExA");
    resolve(&optional_functions.get_firmware_variable, "kernel32",
            "GetFirmwareEnvironmentVariableA");
    resolve(&optional_functions.set_firmware_variable_ex, "kernel32",
            "SetFirmwareEnvironmentVariableExA");
    resolve(&optional_functions.set_firmware_variable, "kernel32",
            "SetFirmwareEnvironmentVariableA");
    resolve(&optional_functions.initiate_shutdown_ex, "advapi32", "InitiateSystemShutdownExA");
    resolve(&optional_functions.initiate_shutdown, "advapi32", "InitiateSystemShutdownA");
}

StatusCode read_variable(const char *name, const char *guid_text, void *buffer, size_t *size,
                         uint32_t *attributes)
{
    if (name == nullptr || !guid_text_is_valid(guid_text))
        return STATUS_INVALID_PARAMETER;
    const OptionalFunctions &f = optional_functions;
    if (f.get_firmware_variable_ex == nullptr && f.get_firmware_variable == nullptr) {
        *size = 0;
        return STATUS_NOT_SUPPORTED;
    }
    const DWORD capacity = static_cast<DWORD>(*size);
    DWORD stored;
    if (f.get_firmware_variable_ex != nullptr) {
        stored = f.get_firmware_variable_ex(name, guid_text, buffer, capacity,
                                            reinterpret_cast<PDWORD>(attributes));
    } else {
        stored = f.get_firmware_variable(name, guid_text, buffer, capacity);
        if (attributes != nullptr)
            *attributes = 0;
    }
    *size = stored;
    if (stored != 0)
        return STATUS_SUCCESS;
    return map_status(READ_ERRORS, GetLastError(), STATUS_READ_FAILED);
}

StatusCode write_variable(const char *name, const char *guid_text, const void *data, size_t size,
                          uint32_t attributes)
{
    const OptionalFunctions &f = optional_functions;
    void *bytes = const_cast<void *>(data);
    BOOL written;
    if (f.set_firmware_variable_ex != nullptr) {
        written = f.set_firmware_variable_ex(name, guid_text, bytes, static_cast<DWORD>(size),
                                             attributes);
    } else if (f.set_firmware_variable != nullptr) {
        if (attributes != 0 && attributes != PLAIN_WRITE_ATTRIBUTES) {
            SetLastError(ERROR_INVALID_PARAMETER);
            written = FALSE;
        } else {
            written = f.set_firmware_variable(name, guid_text, bytes, static_cast<DWORD>(size));
        }
    } else {
        return STATUS_NOT_SUPPORTED;
    }
    if (written)
        return STATUS_SUCCESS;
    return map_status(WRITE_ERRORS, GetLastError(), STATUS_WRITE_FAILED);
}

DWORD enable_privilege(const char *privilege, bool enable)
{
    TOKEN_PRIVILEGES previous = {};
    if (!adjust_privilege(privilege, enable, &previous))
        return ERROR_FUNCTION_FAILED;
    return previous.PrivilegeCount == 0 ? ERROR_ALREADY_INITIALIZED : ERROR_SUCCESS;
}

static_assert(sizeof(DWORD) == 4, "Windows takes 32-bit sizes and attributes");
