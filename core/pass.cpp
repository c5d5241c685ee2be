// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The pass and the tool options: what happens is decided here, the front end only shows it.
#include "pass.h"

#include <stdlib.h>

#include "boot_list.h"
#include "boot_request.h"
#include "messages.h"
#include "request_report.h"
#include "sleep_guard.h"
#include "variable_store.h"

namespace {

// Large enough for any value the boot manager's reader accepts in practice (at least 1,024
// bytes), and its description with every byte escaped.
constexpr size_t STATUS_VALUE_CAPACITY = 2048;
constexpr size_t REPORT_CAPACITY = 6 * STATUS_VALUE_CAPACITY + 256 + BOOT_LIST_TEXT_CAPACITY;
constexpr size_t MESSAGE_CAPACITY = 256;
// A message and a command of 255 characters with every byte escaped, or a written request.
constexpr size_t AUDIT_TEXT_CAPACITY = MESSAGE_CAPACITY + 4 * COMMAND_CAPACITY + 64;

char message_text[MESSAGE_CAPACITY];

// A value read or made, and its description. Taken from the heap for each report: as static
// buffers they would put 14 KB of zeros into the UEFI image, whose loader keeps them in the file.
struct ReportSpace {
    uint8_t value[STATUS_VALUE_CAPACITY];
    char text[REPORT_CAPACITY];
    BootList boot_list;
};
static_assert(STATUS_VALUE_CAPACITY >= PAYLOAD_MAX_SIZE, "a dry run's payload fits the value");

// The texts one after the other in the message buffer, cut to fit.
const char *joined(const char *const *parts, size_t count)
{
    size_t length = 0;
    for (size_t i = 0; i < count; i++) {
        for (const char *part = parts[i]; *part != '\0' && length + 1 < sizeof message_text; part++)
            message_text[length++] = *part;
    }
    message_text[length] = '\0';
    return message_text;
}

// Room for one record of the audit trail, where the front end keeps one; null otherwise. From
// the heap, as a program without a trail (the UEFI Shell's) should not carry it in its image.
char *audit_space(const FrontEnd *front_end)
{
    return front_end->record == nullptr ? nullptr
                                        : static_cast<char *>(malloc(AUDIT_TEXT_CAPACITY));
}

// A run that meant to change the request failed: its message, the command and the status.
void record_failure(const FrontEnd *front_end, const char *message, const char *command,
                    StatusCode status)
{
    if (char *text = audit_space(front_end)) {
        format_failure_text(message, command, text, AUDIT_TEXT_CAPACITY);
        front_end->record(AUDIT_FAILED, text, status);
        free(text);
    }
}

// The restart that follows a request, as the dry run and the audit trail describe it.
DryRunReport what_follows(const BootRequest *request, const FrontEnd *front_end)
{
    DryRunReport report{};
    report.restart = !request->no_reboot;
    report.force = request->force;
    report.force_shown = front_end->force_closes_applications;
    return report;
}

// `boot_next`: the boot list whose boot manager's entry BootNext was set to, or null.
void record_written(const FrontEnd *front_end, const BootRequest *request, const uint8_t *payload,
                    size_t size, const BootList *boot_next)
{
    if (char *text = audit_space(front_end)) {
        RequestView view;
        decode_request(payload, size, &view);
        DryRunReport report = what_follows(request, front_end);
        report.request = &view;
        report.boot_next = boot_next;
        format_written_text(&report, text, AUDIT_TEXT_CAPACITY);
        front_end->record(AUDIT_WRITTEN, text, STATUS_SUCCESS);
        free(text);
    }
}

void record_change(const FrontEnd *front_end, AuditKind kind, const char *message)
{
    if (front_end->record != nullptr)
        front_end->record(kind, message, STATUS_SUCCESS);
}

int fail(const FrontEnd *front_end, const char *text, StatusCode status)
{
    front_end->report_failure(text, status);
    return static_cast<int>(status);
}

int refuse_command(const FrontEnd *front_end, const char *command)
{
    front_end->show_usage(nullptr);
    record_failure(front_end, MESSAGE_INVALID_COMMAND, command, STATUS_INVALID_PARAMETER);
    return STATUS_INVALID_PARAMETER;
}

int report_not_found(const FrontEnd *front_end, const char *command, StatusCode status)
{
    front_end->report_not_found(status);
    record_failure(front_end, MESSAGE_NOT_FOUND, command, status);
    return static_cast<int>(status);
}

int report_write_failure(const FrontEnd *front_end, const char *command, StatusCode status)
{
    front_end->report_write_failure(status);
    record_failure(front_end, MESSAGE_CONFIGURE_FAILED, command, status);
    return static_cast<int>(status);
}

// A change the firmware's own variables could not take: said and recorded, no platform hint.
int refuse_change(const FrontEnd *front_end, const char *message, const char *command,
                  StatusCode status)
{
    front_end->show_message(message, MESSAGE_FAILURE);
    record_failure(front_end, message, command, status);
    return static_cast<int>(status);
}

// --firmware-setup and --cancel-firmware-setup: bit 0 of OsIndications, the others kept.
int ask_firmware_setup(const FrontEnd *front_end, const BootRequest *request, bool set,
                       const char *command)
{
    bool changed = false;
    const StatusCode status = change_firmware_setup(set, &changed);
    if (status == STATUS_NOT_SUPPORTED && set)
        return refuse_change(front_end, MESSAGE_FIRMWARE_SETUP_UNSUPPORTED, command, status);
    if (status != STATUS_SUCCESS) {
        const char *text =
            set ? MESSAGE_FIRMWARE_SETUP_FAILED : MESSAGE_FIRMWARE_SETUP_CANCEL_FAILED;
        record_failure(front_end, text, command, status);
        return fail(front_end, text, status);
    }
    const char *text = set       ? MESSAGE_FIRMWARE_SETUP_SET
                       : changed ? MESSAGE_FIRMWARE_SETUP_CANCELLED
                                 : MESSAGE_FIRMWARE_SETUP_NONE;
    front_end->show_message(text, MESSAGE_INFORMATION);
    if (changed)
        record_change(front_end, AUDIT_WRITTEN, text);
    if (set && !request->no_reboot)
        front_end->restart(request->force);
    return STATUS_SUCCESS;
}

// The boot list for --boot-next, from the heap; null (and the run refused) when the boot
// manager's entry is unknown.
BootList *boot_list_for_boot_next(const FrontEnd *front_end, const char *command, int *status)
{
    BootList *list = static_cast<BootList *>(malloc(sizeof(BootList)));
    if (list == nullptr) {
        *status = STATUS_NO_MEMORY;
        return nullptr;
    }
    read_boot_list(list);
    if (list->manager_known)
        return list;
    free(list);
    *status = refuse_change(front_end, MESSAGE_BOOT_ENTRY_NOT_FOUND, command, STATUS_NOT_FOUND);
    return nullptr;
}

int show_version(const FrontEnd *front_end)
{
    const char *parts[] = {front_end->program_name, " ", VERSION_TEXT};
    front_end->show_message(joined(parts, 3), MESSAGE_INFORMATION);
    return STATUS_SUCCESS;
}

int report_status(const FrontEnd *front_end, bool json, ReportSpace *space)
{
    StatusReport report{};
    StatusCode status = probe_boot_manager();
    RequestView view;
    if (status == STATUS_SUCCESS || status == STATUS_NOT_FOUND) {
        report.boot_manager_known = true;
        report.boot_manager = status != STATUS_NOT_FOUND;
        size_t size = sizeof space->value;
        status = read_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, space->value, &size,
                               &report.attributes);
        if (status == STATUS_SUCCESS) {
            report.attributes_known = true;
            status = decode_request(space->value, size, &view);
            report.request = status == STATUS_SUCCESS ? &view : nullptr;
            report.corrupt = status == STATUS_CORRUPT;
            report.corrupt_size = size;
        } else if (status == STATUS_NOT_FOUND) {
            status = STATUS_SUCCESS;
        } else if (status == STATUS_CORRUPT) {
            report.corrupt = true; // a value too short for the store to hand over
        }
    }
    report.status = status;
    read_boot_list(&space->boot_list);
    report.firmware = &space->boot_list;
    report.program_name = front_end->program_name;
    if (json) {
        format_status_json(&report, space->text, sizeof space->text);
        front_end->show_message(space->text, MESSAGE_DATA);
        return static_cast<int>(status);
    }
    if (!report.boot_manager_known) {
        front_end->report_not_found(status);
        return static_cast<int>(status);
    }
    if (status != STATUS_SUCCESS && !report.corrupt)
        return fail(front_end, MESSAGE_READ_FAILED, status);
    format_status_text(&report, space->text, sizeof space->text);
    front_end->show_message(space->text,
                            status == STATUS_SUCCESS ? MESSAGE_INFORMATION : MESSAGE_FAILURE);
    return static_cast<int>(status);
}

int show_status(const FrontEnd *front_end, bool json)
{
    ReportSpace *space = static_cast<ReportSpace *>(malloc(sizeof(ReportSpace)));
    if (space == nullptr)
        return STATUS_NO_MEMORY;
    const int status = report_status(front_end, json, space);
    free(space);
    return status;
}

int cancel_request(const FrontEnd *front_end, const char *command)
{
    // Asked first, so that a run that finds nothing pending writes nothing.
    StatusCode status = probe_variable(REQUEST_VARIABLE_NAME);
    if (status != STATUS_NOT_FOUND)
        status = delete_request();
    if (status == STATUS_NOT_FOUND) {
        front_end->show_message(MESSAGE_NONE_PENDING, MESSAGE_INFORMATION);
        return STATUS_SUCCESS;
    }
    if (status != STATUS_SUCCESS) {
        record_failure(front_end, MESSAGE_CANCEL_FAILED, command, status);
        return fail(front_end, MESSAGE_CANCEL_FAILED, status);
    }
    front_end->show_message(MESSAGE_CANCELLED, MESSAGE_INFORMATION);
    record_change(front_end, AUDIT_CANCELLED, MESSAGE_CANCELLED);
    return STATUS_SUCCESS;
}

int guard_sleep(const FrontEnd *front_end, bool suspend, const char *command)
{
    if (suspend) {
        const StatusCode probe = probe_boot_manager();
        if (probe != STATUS_SUCCESS)
            return report_not_found(front_end, command, probe);
    }
    const SleepResult result = suspend ? suspend_request(front_end->saved_request)
                                       : resume_request(front_end->saved_request);
    if (result.outcome == SLEEP_WRITE_FAILED)
        return report_write_failure(front_end, command, result.status);
    const char *text = sleep_text(result.outcome).message;
    const bool failed = result.status != STATUS_SUCCESS;
    front_end->show_message(text, failed ? MESSAGE_FAILURE : MESSAGE_INFORMATION);
    if (failed)
        record_failure(front_end, text, command, result.status);
    else if (result.changed)
        record_change(front_end, AUDIT_SLEEP_GUARD, text);
    return static_cast<int>(result.status);
}

int run_tool_option(const BootRequest *request, const FrontEnd *front_end, const char *command)
{
    const ToolOption option = request->tool_option;
    switch (option) {
    case TOOL_OPTION_VERSION:
        return show_version(front_end);
    case TOOL_OPTION_STATUS:
    case TOOL_OPTION_STATUS_JSON:
        return show_status(front_end, option == TOOL_OPTION_STATUS_JSON);
    case TOOL_OPTION_CANCEL:
        return cancel_request(front_end, command);
    case TOOL_OPTION_SUSPEND:
    case TOOL_OPTION_RESUME:
        if (front_end->saved_request != nullptr)
            return guard_sleep(front_end, option == TOOL_OPTION_SUSPEND, command);
        break;
    case TOOL_OPTION_FIRMWARE_SETUP:
    case TOOL_OPTION_CANCEL_FIRMWARE_SETUP:
        return ask_firmware_setup(front_end, request, option == TOOL_OPTION_FIRMWARE_SETUP,
                                  command);
    default:
        break;
    }
    return refuse_command(front_end, command);
}

// What the request would write and what would follow; reads and writes nothing.
// With --boot-next it reads the boot list, to name the entry BootNext would get.
int describe_dry_run(BootRequest *request, DryRun mode, bool boot_next, const FrontEnd *front_end,
                     ReportSpace *space)
{
    DryRunReport report = what_follows(request, front_end);
    if (boot_next) {
        read_boot_list(&space->boot_list);
        report.boot_next = &space->boot_list;
        if (!space->boot_list.manager_known) {
            report.status = STATUS_NOT_FOUND;
            if (mode != DRY_RUN_JSON) {
                front_end->show_message(MESSAGE_BOOT_ENTRY_NOT_FOUND, MESSAGE_FAILURE);
                return STATUS_NOT_FOUND;
            }
        }
    }
    report.monitor = front_end->take_over_keyword != nullptr &&
                     selection_is_keyword(request, front_end->take_over_keyword);
    RequestView view;
    if (!report.monitor && report.status == STATUS_SUCCESS) {
        resolve_selection(request);
        fill_payload(request, space->value);
        decode_request(space->value, payload_size(request), &view);
        report.request = &view;
    }
    if (mode == DRY_RUN_JSON) {
        format_dry_run_json(&report, space->text, sizeof space->text);
        front_end->show_message(space->text, MESSAGE_DATA);
    } else {
        format_dry_run_text(&report, space->text, sizeof space->text);
        front_end->show_message(space->text, MESSAGE_INFORMATION);
    }
    return static_cast<int>(report.status);
}

// A dry run of anything but a boot request is an invalid command; JSON says so as data.
int refuse_dry_run(DryRun mode, const FrontEnd *front_end, ReportSpace *space)
{
    if (mode == DRY_RUN_JSON) {
        DryRunReport report{};
        report.status = STATUS_INVALID_PARAMETER;
        format_dry_run_json(&report, space->text, sizeof space->text);
        front_end->show_message(space->text, MESSAGE_DATA);
    } else {
        front_end->show_usage(nullptr);
    }
    return STATUS_INVALID_PARAMETER;
}

} // namespace

int run_pass(const char *command_text, const FrontEnd *front_end)
{
    const char *typed = nullptr; // the command as typed, for the audit trail
    const DryRun dry_run = take_dry_run_word(command_text, &typed);
    const char *command = nullptr;
    const bool boot_next = take_boot_next_word(typed, &command);
    BootRequest request;
    StatusCode parsed = parse_boot_request(command, &request);
    if (parsed == STATUS_SUCCESS && front_end->refused_keyword != nullptr &&
        request.tool_option == TOOL_OPTION_NONE &&
        selection_is_keyword(&request, front_end->refused_keyword))
        parsed = STATUS_INVALID_PARAMETER;
    // BootNext follows a request written here, never a tool option or the monitor's later one.
    if (parsed == STATUS_SUCCESS && boot_next &&
        (request.tool_option != TOOL_OPTION_NONE ||
         (front_end->take_over_keyword != nullptr &&
          selection_is_keyword(&request, front_end->take_over_keyword))))
        parsed = STATUS_INVALID_PARAMETER;
    if (dry_run != DRY_RUN_NONE) {
        ReportSpace *space = static_cast<ReportSpace *>(malloc(sizeof(ReportSpace)));
        if (space == nullptr)
            return STATUS_NO_MEMORY;
        const int status = parsed != STATUS_SUCCESS || request.tool_option != TOOL_OPTION_NONE
                               ? refuse_dry_run(dry_run, front_end, space)
                               : describe_dry_run(&request, dry_run, boot_next, front_end, space);
        free(space);
        return status;
    }
    if (parsed != STATUS_SUCCESS) {
        const bool help = request.tool_option == TOOL_OPTION_HELP && !boot_next;
        const char *options = front_end->saved_request != nullptr
                                  ? TOOL_OPTIONS_TEXT_WITH_SLEEP_GUARD
                                  : TOOL_OPTIONS_TEXT;
        if (help) {
            front_end->show_usage(options);
            return STATUS_INVALID_PARAMETER;
        }
        return refuse_command(front_end, typed);
    }
    if (request.tool_option != TOOL_OPTION_NONE)
        return run_tool_option(&request, front_end, command);

    const StatusCode probe = probe_boot_manager();
    if (probe != STATUS_SUCCESS)
        return report_not_found(front_end, typed, probe);
    if (front_end->take_over != nullptr && front_end->take_over(&request))
        return STATUS_SUCCESS;
    int refused = STATUS_SUCCESS;
    BootList *list = boot_next ? boot_list_for_boot_next(front_end, typed, &refused) : nullptr;
    if (refused != STATUS_SUCCESS)
        return refused;
    resolve_selection(&request);

    const size_t size = payload_size(&request);
    uint8_t *payload = static_cast<uint8_t *>(malloc(size));
    if (payload == nullptr) {
        free(list);
        return STATUS_NO_MEMORY;
    }
    fill_payload(&request, payload);
    const StatusCode written =
        write_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, payload, size, REQUEST_ATTRIBUTES);
    // BootNext only after the request is there, so the start it causes always finds one.
    const StatusCode next_written =
        written == STATUS_SUCCESS && list != nullptr ? write_boot_next(list->manager) : written;
    if (written == STATUS_SUCCESS)
        record_written(front_end, &request, payload, size,
                       next_written == STATUS_SUCCESS ? list : nullptr);
    free(payload);
    free(list);
    if (written != STATUS_SUCCESS)
        return report_write_failure(front_end, typed, written);
    if (next_written != STATUS_SUCCESS) {
        record_failure(front_end, MESSAGE_BOOT_NEXT_FAILED, typed, next_written);
        return fail(front_end, MESSAGE_BOOT_NEXT_FAILED, next_written);
    }
    if (!request.no_reboot)
        front_end->restart(request.force);
    return STATUS_SUCCESS;
}
