// Fuzzes joining, parsing and resolving a command line, and the payload built from it.
#include <ctype.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "boot_request.h"
#include "fuzz_support.h"
#include "variable_store.h"

// Link-time stand-ins: the fuzzer only builds payloads, it never reaches a store.
StatusCode read_variable(const char *, const char *, void *, size_t *, uint32_t *)
{
    return STATUS_NOT_SUPPORTED;
}

StatusCode write_variable(const char *, const char *, const void *, size_t, uint32_t)
{
    return STATUS_NOT_SUPPORTED;
}

namespace {

constexpr int MAX_ARGUMENTS = 16;
char argument_storage[1024];
char command_text[COMMAND_CAPACITY];

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
    if (parse_boot_request(command_text, &request) != STATUS_SUCCESS)
        return 0;
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
    return 0;
}
