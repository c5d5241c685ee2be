// The front end shared by the two console programs (Linux, UEFI Shell): all output on stdout.
#pragma once

#include "platform.h"

struct ConsoleProgram {
    const char *name;                       // for --version
    const SavedRequestCalls *saved_request; // null where there is no sleep guard
};

// Joins the arguments with single blanks and runs the pass; gives the exit status.
int run_console_program(int argc, char **argv, const ConsoleProgram *program);
