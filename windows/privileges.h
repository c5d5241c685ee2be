// Switching one privilege of the process token on or off.
#pragma once

#include <windows.h>

// Enables or disables `privilege` in the process token. With `previous`, Windows records there
// what the call changed (PrivilegeCount 0: nothing); without it, no record is asked for. False
// when the token cannot be opened, the name is unknown or the adjustment fails.
bool adjust_privilege(const char *privilege, bool enable, TOKEN_PRIVILEGES *previous);
