// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Fuzzes joining, parsing and resolving a command line, and the payload built from it.
#include <ctype.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "boot_list.h"
#include "boot_request.h"
#include "fuzz_support.h"
#include "pass.h"
#include "variable_store.h"

// Link-time stand-ins: the boot manager is always there, and "Quiplex" holds the last write.
namespace {

uint8_t stored[PAYLOAD_MAX_SIZE];
size_t stored_size;
int store_calls;

} // namespace

StatusCode read_variable(const char *name, const char *guid_text, void *buffer, size_t *size,
                         uint32_t *attributes)
{
    store_calls++;
    if (strcmp(guid_text, GLOBAL_GUID_TEXT) == 0)
        return STATUS_NOT_FOUND; // a firmware without a boot list

    const bool request = strcmp(name, REQUEST_VARIABLE_NAME) == 0;
    if (request && stored_size == 0)
        return STATUS_NOT_FOUND;
    const size_t length = request ? stored_size : 4;
    if (length > *size)
        return STATUS_BUFFER_TOO_SMALL;
    memcpy(buffer, request ? stored : reinterpret_cast<const uint8_t *>("Zv\1"), length);
    *size = length;
    if (attributes != nullptr)
        *attributes = REQUEST_ATTRIBUTES;
    return STATUS_SUCCESS;
}

StatusCode write_variable(const char *, const char *, const void *data, size_t size, uint32_t)
{
    store_calls++;
    check(size <= sizeof stored);
    memcpy(stored, data, size);
    stored_size = size;
    return STATUS_SUCCESS;
}

namespace {

constexpr int MAX_ARGUMENTS = 16;
char argument_storage[1024];
char command_text[COMMAND_CAPACITY];
char dry_run_text[JOINED_COMMAND_CAPACITY];
char shown[1024]; // the last data message

void show_message(const char *text, MessageKind kind)
{
    if (kind == MESSAGE_DATA)
        copy_input(shown, sizeof shown, reinterpret_cast<const uint8_t *>(text), strlen(text));
}
int records;
// A record of the audit trail, whatever the command, is printable ASCII in lines: nothing a
// terminal or a log reader would act on.
void record(AuditKind, const char *text, StatusCode)
{
    records++;
    for (; *text != '\0'; text++)
        check(*text == '\n' || (*text >= 0x20 && *text < 0x7F));
}

const FrontEnd FRONT_END = fuzz_front_end(show_message, record);

// What --dry-run=json describes equals what --status=json reads back after the same command.
void check_dry_run(int argc, char **argv, const BootRequest *request)
{
    char *dry_argv[MAX_ARGUMENTS + 2] = {argv[0], const_cast<char *>("--dry-run=json")};
    for (int i = 1; i < argc; i++)
        dry_argv[i + 1] = argv[i];
    memset(dry_run_text, 0, sizeof dry_run_text);
    join_arguments(dry_run_text, sizeof dry_run_text, argc + 1, dry_argv);
    const bool no_reboot = request->no_reboot, force = request->force;

    store_calls = 0;
    shown[0] = '\0';
    check(run_pass(dry_run_text, &FRONT_END) == 0 && store_calls == 0);
    char described[sizeof shown];
    memcpy(described, shown, sizeof shown);

    stored_size = 0;
    check(run_pass(command_text, &FRONT_END) == 0 && stored_size > 0);
    check(run_pass("--status=json", &FRONT_END) == 0);
    const char prefix[] = "{\"status\":0,\"boot_manager\":true,\"request\":";
    check(strncmp(shown, prefix, sizeof prefix - 1) == 0);
    const char *object = shown + sizeof prefix - 1;
    const char *firmware = strstr(object, ",\"firmware\":{");
    check(firmware != nullptr);
    const size_t object_length = static_cast<size_t>(firmware - object);
    check(strncmp(described, "{\"status\":0,\"request\":", 22) == 0);
    check(strncmp(described + 22, object, object_length) == 0);
    const char *then = described + 22 + object_length;
    check(strcmp(then, !no_reboot ? (force ? ",\"restart\":true,\"force\":true}"
                                           : ",\"restart\":true,\"force\":false}")
                                  : (force ? ",\"restart\":false,\"force\":true}"
                                           : ",\"restart\":false,\"force\":false}")) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input splits into arguments at NUL bytes, as an argument vector would arrive.
    size = copy_input(argument_storage, sizeof argument_storage, data, size);
    char *argv[MAX_ARGUMENTS + 1] = {const_cast<char *>("quiplex")};
    int argc = 1;
    for (size_t start = 0; start <= size && argc <= MAX_ARGUMENTS;) {
        argv[argc++] = argument_storage + start;
        start += strlen(argument_storage + start) + 1;
    }

    memset(command_text, 0, sizeof command_text);
    join_arguments(command_text, sizeof command_text, argc, argv);
    check(command_text[COMMAND_CAPACITY - 1] == '\0');

    BootRequest request;
    if (parse_boot_request(command_text, &request) != STATUS_SUCCESS) {
        // Refused with one record, or none when help or a dry run was asked for.
        const char *rest = nullptr;
        const bool reading = request.tool_option == TOOL_OPTION_HELP ||
                             take_dry_run_word(command_text, &rest) != DRY_RUN_NONE;
        // --boot-next before a request finds no boot manager's entry in this store.
        const bool boot_next = take_boot_next_word(rest, &rest);
        records = 0;
        const int status = run_pass(command_text, &FRONT_END);
        check(reading || status == STATUS_INVALID_PARAMETER ||
              (boot_next && status == STATUS_NOT_FOUND));
        check(records == (reading ? 0 : 1));
        return 0;
    }
    check(strlen(request.selection_text) <= SELECTION_CAPACITY - 1);
    check(strlen(request.run_file) <= RUN_FILE_CAPACITY - 1);
    check(request.selection_text[0] != ' ');
    // A typed switch never becomes part of a name that would be written and restarted into.
    if (request.tool_option == TOOL_OPTION_NONE) {
        for (const char *c = request.selection_text; *c != '\0'; c++) {
            const bool word_start = c == request.selection_text || c[-1] == ' ' || c[-1] == '\t';
            check(!(word_start && c[0] == '-' &&
                    (isalpha(static_cast<unsigned char>(c[1])) || c[1] == '-' || c[1] == '?')));
        }
    } else {
        return 0;
    }
    resolve_selection(&request);

    uint8_t payload[PAYLOAD_MAX_SIZE];
    const size_t length = payload_size(&request);
    check(length >= PAYLOAD_FIXED_SIZE && length <= PAYLOAD_MAX_SIZE);
    fill_payload(&request, payload);
    check(payload[length - 1] == '\0');
    uint32_t code = 0;
    memcpy(&code, payload, sizeof code);
    check(code == request.selection_code);

    // The request is parsed again from the same text inside the passes.
    const BootRequest parsed = request;
    check_dry_run(argc, argv, &parsed);
    return 0;
}
