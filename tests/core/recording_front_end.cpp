// The recording front end: every report the pass makes lands in `recorded`.
#include "recording_front_end.h"

#include "pass.h"

Recorded recorded;
const char *recorded_program_name = "quiplextest";

namespace {

void show_usage(const char *options_block)
{
    recorded.usages++;
    recorded.options_block = options_block == nullptr ? "" : options_block;
}

void report_not_found(StatusCode status)
{
    recorded.not_found.push_back(status);
}

void report_write_failure(StatusCode status)
{
    recorded.write_failures.push_back(status);
}

void show_message(const char *text, MessageKind kind)
{
    static const char *const KINDS[] = {"info: ", "failure: ", "data: "};
    recorded.messages.push_back(std::string(KINDS[kind]) + text);
}

void restart(bool force)
{
    recorded.restarts.push_back(force);
}

} // namespace

int run_recorded_pass(const char *command, const SavedRequestCalls *saved,
                      bool (*take_over)(const BootRequest *))
{
    recorded = Recorded{};
    const FrontEnd front_end = {
        recorded_program_name, show_usage, report_not_found, report_write_failure,
        show_message,          restart,    take_over,        saved};
    return run_pass(command, &front_end);
}
