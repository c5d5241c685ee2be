// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// quiplexlnx: writes a one-shot boot request for Zarvex UEFI through efivarfs and reboots.
#include <unistd.h>

#include "console_front_end.h"
#include "saved_request_files.h"
#include "syslog_trail.h"

void restart_system(bool)
{
    sync();
    execlp("/sbin/reboot", "/sbin/reboot", static_cast<char *>(nullptr));
}

int main(int argc, char **argv)
{
    static const ConsoleProgram program = {"quiplexlnx", &SAVED_REQUEST_FILES, record_in_syslog};
    return run_console_program(argc, argv, &program);
}
