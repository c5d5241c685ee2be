// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The console programs' reports: usage text, probe failure with its hint, messages, restart.
#include "console_front_end.h"

#include <stdio.h>

#include "boot_request.h"
#include "messages.h"
#include "pass.h"

namespace {

char command_text[CONSOLE_COMMAND_CAPACITY];

// The usage text ends without a newline, as scripts that compare it expect.
void show_usage(const char *options_block)
{
    printf("%s", USAGE_TEXT_CONSOLE);
    if (options_block != nullptr)
        printf("%s\n", options_block);
}

void report_not_found(StatusCode status)
{
    puts(MESSAGE_NOT_FOUND);
    if (const char *hint = probe_failure_hint(status))
        puts(hint);
}

void report_write_failure(StatusCode)
{
    puts(MESSAGE_CONFIGURE_FAILED);
}

// The hint lines name efivarfs, which only the console programs' users can act on.
void report_failure(const char *text, StatusCode status)
{
    puts(text);
    if (const char *hint = probe_failure_hint(status))
        puts(hint);
}

void show_message(const char *text, MessageKind)
{
    puts(text);
}

} // namespace

int run_console_program(int argc, char **argv, const ConsoleProgram *program)
{
    join_arguments(command_text, sizeof command_text, argc, argv);
    return run_console_command(command_text, program);
}

int run_console_command(const char *command, const ConsoleProgram *program)
{
    const FrontEnd front_end = {
        .program_name = program->name,
        .show_usage = show_usage,
        .report_not_found = report_not_found,
        .report_write_failure = report_write_failure,
        .report_failure = report_failure,
        .show_message = show_message,
        .restart = restart_system,
        .take_over = nullptr,
        .take_over_keyword = nullptr,
        .refused_keyword = nullptr,
        .force_closes_applications = false,
        .saved_request = program->saved_request,
        .record = program->record,
    };
    return run_pass(command, &front_end);
}
