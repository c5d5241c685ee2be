// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// quiplexc: quiplexu's pass for prompts and scripts, each text a line on standard output.
#include "boot_request.h"
#include "front_end.h"
#include "messages.h"

namespace {

constexpr char ADMINISTRATOR_HINT[] = "Run quiplexc from an administrator prompt: Windows lets "
                                      "only administrators use firmware variables.";

bool output_lost;

void show(const char *text, TextRole)
{
    if (!write_line_to(STD_OUTPUT_HANDLE, text))
        output_lost = true;
}

// Started with nowhere to write (a task without redirection), its failures go to the event log.
bool nobody_sees()
{
    return output_lost;
}

const WindowsProgram QUIPLEXC = {
    .name = "quiplexc",
    .usage_text = USAGE_TEXT_CONSOLE,
    .show = show,
    .access_denied_hint = ADMINISTRATOR_HINT,
    .take_over = nullptr,
    .take_over_keyword = nullptr,
    .refused_keyword = HIBERNATE_KEYWORD,
    .unseen = nobody_sees,
};

} // namespace

// The arguments as the C runtime splits the command line (quotes and backslashes as every console
// program reads them), joined with single blanks exactly as quiplexlnx joins its own.
int main(int argc, char **argv)
{
    static char command_text[JOINED_COMMAND_CAPACITY];
    join_arguments(command_text, sizeof command_text, argc, argv);
    return run_windows_program(command_text, &QUIPLEXC);
}
