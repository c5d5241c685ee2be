// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The recording front end: every report the pass makes lands in `recorded`.
#include "recording_front_end.h"

#include "messages.h"
#include "pass.h"

Recorded recorded;
const char *recorded_program_name = "quiplextest";
const char *recorded_refused_keyword = nullptr;

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

// Failures read as the console programs print them, hint line included.
void report_failure(const char *text, StatusCode status)
{
    const char *hint = probe_failure_hint(status);
    recorded.messages.push_back(std::string("failure: ") + text +
                                (hint == nullptr ? "" : std::string("\n") + hint));
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

void record(AuditKind kind, const char *text, StatusCode status)
{
    static const char *const KINDS[] = {"written: ", "cancelled: ", "sleep guard: ", "failed "};
    std::string line = KINDS[kind];
    if (kind == AUDIT_FAILED)
        line += std::to_string(status) + ": ";
    else if (status != STATUS_SUCCESS)
        line += "(status " + std::to_string(status) + ") ";
    recorded.records.push_back(line + text);
}

} // namespace

int run_recorded_pass(const char *command, const SavedRequestCalls *saved,
                      bool (*take_over)(const BootRequest *), const char *take_over_keyword,
                      bool force_closes_applications)
{
    recorded = Recorded{};
    const FrontEnd front_end = {
        .program_name = recorded_program_name,
        .show_usage = show_usage,
        .report_not_found = report_not_found,
        .report_write_failure = report_write_failure,
        .report_failure = report_failure,
        .show_message = show_message,
        .restart = restart,
        .take_over = take_over,
        .take_over_keyword = take_over_keyword,
        .refused_keyword = recorded_refused_keyword,
        .force_closes_applications = force_closes_applications,
        .saved_request = saved,
        .record = record,
    };
    return run_pass(command, &front_end);
}
