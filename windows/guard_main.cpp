// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// quiplexguard: the program of the service QuiplexGuard, started by the service manager alone.
#include <stdio.h>
#include <string.h>

#include "guard_service.h"
#include "power_guard.h"
#include "status.h"

int main()
{
    char name[sizeof GUARD_SERVICE_NAME];
    memcpy(name, GUARD_SERVICE_NAME, sizeof name);
    const SERVICE_TABLE_ENTRYA services[] = {{name, guard_service_main}, {nullptr, nullptr}};
    // Returns once the service has stopped; fails at once when a person started the program.
    if (StartServiceCtrlDispatcherA(services))
        return STATUS_SUCCESS;
    // Nothing is left to tell if the console is gone too.
    (void)fputs(GUARD_PROGRAM_ALONE_TEXT, stdout);
    return STATUS_INVALID_PARAMETER;
}
