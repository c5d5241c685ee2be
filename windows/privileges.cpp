// The one place that opens the process token and adjusts a privilege in it.
#include "privileges.h"

bool adjust_privilege(const char *privilege, bool enable, TOKEN_PRIVILEGES *previous)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES wanted = {};
    bool adjusted = false;
    if (LookupPrivilegeValueA(nullptr, privilege, &wanted.Privileges[0].Luid)) {
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
        DWORD previous_length = 0;
        adjusted = AdjustTokenPrivileges(token, FALSE, &wanted, previous ? sizeof *previous : 0,
                                         previous, previous ? &previous_length : nullptr);
    }
    CloseHandle(token);
    return adjusted;
}

static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one privilege entry");
