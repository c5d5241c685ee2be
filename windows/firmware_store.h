// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The Windows optional-function table, the privilege switch and the firmware-variable store.
#pragma once

#include <windows.h>

typedef DWORD(WINAPI *GetFirmwareEnvironmentVariableExAFunction)(LPCSTR, LPCSTR, PVOID, DWORD,
                                                                 PDWORD);
typedef DWORD(WINAPI *GetFirmwareEnvironmentVariableAFunction)(LPCSTR, LPCSTR, PVOID, DWORD);
typedef BOOL(WINAPI *SetFirmwareEnvironmentVariableExAFunction)(LPCSTR, LPCSTR, PVOID, DWORD,
                                                                DWORD);
typedef BOOL(WINAPI *SetFirmwareEnvironmentVariableAFunction)(LPCSTR, LPCSTR, PVOID, DWORD);
typedef BOOL(WINAPI *InitiateSystemShutdownExAFunction)(LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD);
typedef BOOL(WINAPI *InitiateSystemShutdownAFunction)(LPSTR, LPSTR, DWORD, BOOL, BOOL);

// Functions older Windows versions lack, looked up by name; null when absent.
struct OptionalFunctions {
    GetFirmwareEnvironmentVariableExAFunction get_firmware_variable_ex;
    GetFirmwareEnvironmentVariableAFunction get_firmware_variable;
    SetFirmwareEnvironmentVariableExAFunction set_firmware_variable_ex;
    SetFirmwareEnvironmentVariableAFunction set_firmware_variable;
    InitiateSystemShutdownExAFunction initiate_shutdown_ex;
    InitiateSystemShutdownAFunction initiate_shutdown;
};

extern OptionalFunctions optional_functions;

// Fills optional_functions; runs once during static initialisation, before WinMain.
void resolve_optional_functions();

// Enables or disables `privilege` in the process token: 0, ERROR_ALREADY_INITIALIZED (nothing
// changed) or ERROR_FUNCTION_FAILED.
DWORD enable_privilege(const char *privilege, bool enable);
