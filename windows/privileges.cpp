// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The one place that opens the process token and adjusts a privilege in it.
#include "privileges.h"

PrivilegeCalls privilege_calls = {OpenProcessToken, LookupPrivilegeValueA, AdjustTokenPrivileges,
                                  CloseHandle};

bool adjust_privilege(const char *privilege, bool enable, TOKEN_PRIVILEGES *previous)
{
    const PrivilegeCalls &c = privilege_calls;
    HANDLE token;
    if (!c.open_process_token(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES wanted = {};
    bool adjusted = false;
    if (c.lookup_privilege_value(nullptr, privilege, &wanted.Privileges[0].Luid)) {
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
        DWORD previous_length;
        adjusted = c.adjust_token_privileges(token, FALSE, &wanted, previous ? sizeof *previous : 0,
                                             previous, previous ? &previous_length : nullptr);
    }
    c.close_handle(token);
    return adjusted;
}

static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one privilege entry");
