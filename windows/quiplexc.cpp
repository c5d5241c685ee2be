// quiplexc: quiplexu's pass for prompts and scripts, each text a line on standard output.
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

int main()
{
    return run_windows_program(command_line_tail(GetCommandLineA()), &QUIPLEXC);
}
