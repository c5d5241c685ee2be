// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The front end shared by the two console programs (Linux, UEFI Shell): all output on stdout.
#pragma once

#include "boot_request.h"
#include "platform.h"

// What a console program's arguments are joined into, with room for a leading --dry-run word; a
// front end that joins them itself (the UEFI Shell program) uses the same capacity.
inline constexpr size_t CONSOLE_COMMAND_CAPACITY = JOINED_COMMAND_CAPACITY;

struct ConsoleProgram {
    const char *name;                       // for --version
    const SavedRequestCalls *saved_request; // null where there is no sleep guard
    // The audit trail (syslog on Linux); null where there is none.
    void (*record)(AuditKind kind, const char *text, StatusCode status);
};

// Joins the arguments with single blanks and runs the pass; gives the exit status.
int run_console_program(int argc, char **argv, const ConsoleProgram *program);

// Runs the pass on arguments already joined (at most CONSOLE_COMMAND_CAPACITY bytes with the
// NUL); gives the exit status.
int run_console_command(const char *command, const ConsoleProgram *program);
