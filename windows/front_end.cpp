// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The Windows front end: one set of reports, shown by each program in its own way.
#include "front_end.h"

#include <stdlib.h>
#include <string.h>

#include "bounded_format.h"
#include "event_log.h"
#include "firmware_store.h"
#include "messages.h"
#include "pass.h"
#include "request_report.h"

namespace {

constexpr size_t MESSAGE_TEXT_CAPACITY = 128;
// A failure's message and the command, kept for the event log until the run's end.
constexpr size_t FAILURE_RECORD_CAPACITY = 4096;

const WindowsProgram *program;
const char *command;
char usage_with_options[sizeof USAGE_TEXT_WINDOWS + sizeof TOOL_OPTIONS_TEXT];
char unrecorded_failure[FAILURE_RECORD_CAPACITY];
bool failure_recorded;
StatusCode take_over_status;

static_assert(sizeof USAGE_TEXT_WINDOWS >= sizeof USAGE_TEXT_CONSOLE, "either usage text fits");

// A failure the pass does not record itself (a reading run's) is only kept: if the run ends in
// a failure with no event and nobody saw the text, this one goes to the event log.
void note_failure(const char *text)
{
    format_failure_text(text, command, unrecorded_failure, sizeof unrecorded_failure);
}

void show_failure(const char *text, StatusCode status)
{
    program->show(text, TEXT_WARNING);
    if (status == STATUS_ACCESS_DENIED && program->access_denied_hint != nullptr)
        program->show(program->access_denied_hint, TEXT_WARNING);
    note_failure(text);
}

void show_usage(const char *options_block)
{
    const char *text = program->usage_text;
    if (options_block != nullptr) {
        bounded_format(usage_with_options, sizeof usage_with_options, "%s%s", text, options_block);
        text = usage_with_options;
    }
    program->show(text, TEXT_USAGE);
}

void report_not_found(StatusCode status)
{
    show_failure(MESSAGE_NOT_FOUND, status);
}

// The Windows error of the failed write names the cause better than the status alone.
void report_write_failure(StatusCode status)
{
    const DWORD error = GetLastError();
    char *text = static_cast<char *>(malloc(MESSAGE_TEXT_CAPACITY));
    if (text == nullptr) {
        show_failure(MESSAGE_CONFIGURE_FAILED, status);
        return;
    }
    bounded_format(text, MESSAGE_TEXT_CAPACITY, "%s (%Xh)", MESSAGE_CONFIGURE_FAILED,
                   static_cast<unsigned>(error));
    show_failure(text, status);
    free(text);
}

// No efivarfs hint here: a PC without firmware variables is a legacy BIOS, not a missing mount.
void report_failure(const char *text, StatusCode status)
{
    show_failure(text, status);
}

void show_message(const char *text, MessageKind kind)
{
    constexpr TextRole ROLES[] = {TEXT_ANSWER, TEXT_WARNING, TEXT_DATA};
    program->show(text, ROLES[kind]);
    if (kind == MESSAGE_FAILURE)
        note_failure(text);
}

bool take_over(const BootRequest *request)
{
    return program->take_over(request, &take_over_status);
}

void record(AuditKind kind, const char *text, StatusCode status)
{
    if (kind == AUDIT_FAILED)
        failure_recorded = true;
    record_event(kind, text, status);
}

} // namespace

void report_windows_failure(const char *text, StatusCode status)
{
    show_failure(text, status);
}

int run_windows_program(const char *command_text, const WindowsProgram *windows_program)
{
    enable_privilege("SeSystemEnvironmentPrivilege", true);
    program = windows_program;
    command = command_text;
    unrecorded_failure[0] = '\0';
    failure_recorded = false;
    take_over_status = STATUS_SUCCESS;
    const FrontEnd front_end = {
        .program_name = program->name,
        .show_usage = show_usage,
        .report_not_found = report_not_found,
        .report_write_failure = report_write_failure,
        .report_failure = report_failure,
        .show_message = show_message,
        .restart = restart_system,
        .take_over = program->take_over != nullptr ? take_over : nullptr,
        .take_over_keyword = program->take_over_keyword,
        .refused_keyword = program->refused_keyword,
        .force_closes_applications = true,
        .saved_request = nullptr,
        .record = record,
    };
    int status = run_pass(command_text, &front_end);
    if (status == STATUS_SUCCESS)
        status = static_cast<int>(take_over_status);
    if (status != STATUS_SUCCESS && !failure_recorded && unrecorded_failure[0] != '\0' &&
        program->unseen != nullptr && program->unseen())
        record_event(AUDIT_FAILED, unrecorded_failure, static_cast<StatusCode>(status));
    return status;
}

const char *command_line_tail(const char *command_line)
{
    // The runtime's rule: the name ends at a control character or blank outside quotes.
    const unsigned char *at = reinterpret_cast<const unsigned char *>(command_line);
    for (bool quoted = false; *at > ' ' || (*at != '\0' && quoted); at++) {
        if (*at == '"')
            quoted = !quoted;
    }
    while (*at != '\0' && *at <= ' ')
        at++;
    return reinterpret_cast<const char *>(at);
}

bool write_line_to(DWORD standard_handle, const char *text)
{
    HANDLE output = GetStdHandle(standard_handle);
    if (output == nullptr || output == INVALID_HANDLE_VALUE ||
        GetFileType(output) == FILE_TYPE_UNKNOWN)
        return false;
    // Each line ends in "\r\n", as Windows tools write them; the texts hold bare "\n".
    for (;;) {
        const char *end = strchr(text, '\n');
        const DWORD length = static_cast<DWORD>(end != nullptr ? end - text : strlen(text));
        DWORD written;
        if (!WriteFile(output, text, length, &written, nullptr) || written != length ||
            !WriteFile(output, "\r\n", 2, &written, nullptr))
            return false;
        if (end == nullptr)
            return true;
        text = end + 1;
    }
}
