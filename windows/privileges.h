// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Switching one privilege of the process token on or off.
#pragma once

#include <windows.h>

// The token calls, replaceable so that tests see what is asked and can make each one fail.
struct PrivilegeCalls {
    BOOL(WINAPI *open_process_token)(HANDLE process, DWORD access, PHANDLE token);
    BOOL(WINAPI *lookup_privilege_value)(LPCSTR system, LPCSTR name, PLUID luid);
    BOOL(WINAPI *adjust_token_privileges)(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES state,
                                          DWORD length, PTOKEN_PRIVILEGES previous,
                                          PDWORD returned_length);
    BOOL(WINAPI *close_handle)(HANDLE object);
};

extern PrivilegeCalls privilege_calls;

// Enables or disables `privilege` in the process token. With `previous`, Windows records there
// what the call changed (PrivilegeCount 0: nothing); without it, no record is asked for. False
// when the token cannot be opened, the name is unknown or the adjustment fails.
bool adjust_privilege(const char *privilege, bool enable, TOKEN_PRIVILEGES *previous);
