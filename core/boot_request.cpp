// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The command-line grammar shared by every program; all state lives in three static buffers.
#include "boot_request.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace {

char command_buffer[COMMAND_CAPACITY];
char selection_buffer[SELECTION_CAPACITY];
char run_file_buffer[RUN_FILE_CAPACITY];

struct Keyword {
    const char *text;
    SelectionCode code;
};

constexpr Keyword KEYWORDS[] = {
    {"/CURRENT", SELECTION_CURRENT},
    {"/NEXT", SELECTION_NEXT},
    {"/SHUTDOWN", SELECTION_SHUTDOWN},
    {"/NONE", SELECTION_NONE},
};

// A person asking for help must get the usage text, never a request written for an item
// named "--help" followed by a restart.
constexpr const char *HELP_REQUESTS[] = {"-h", "--help", "-?", "/?", "/help"};

struct OptionWord {
    const char *text;
    ToolOption option;
};

constexpr OptionWord TOOL_OPTIONS[] = {
    {"--help", TOOL_OPTION_HELP},
    {"-h", TOOL_OPTION_HELP},
    {"-?", TOOL_OPTION_HELP},
    {"--version", TOOL_OPTION_VERSION},
    {"--status", TOOL_OPTION_STATUS},
    {"--status=json", TOOL_OPTION_STATUS_JSON},
    {"--cancel", TOOL_OPTION_CANCEL},
    {"--suspend", TOOL_OPTION_SUSPEND},
    {"--resume", TOOL_OPTION_RESUME},
    {"--firmware-setup", TOOL_OPTION_FIRMWARE_SETUP},
    {"--cancel-firmware-setup", TOOL_OPTION_CANCEL_FIRMWARE_SETUP},
};

// Copies at most capacity - 1 characters and always terminates; cutting is intended here.
void copy_bounded(char *to, const char *from, size_t capacity)
{
    size_t i = 0;
    // cppcheck reads from as one character long; the loop stops at its terminator first.
    for (; i + 1 < capacity && from[i] != '\0'; i++) // cppcheck-suppress arrayIndexOutOfBoundsCond
        to[i] = from[i];
    to[i] = '\0';
}

void upper_case_ascii(char *text)
{
    for (; *text != '\0'; text++)
        *text = static_cast<char>(toupper(static_cast<unsigned char>(*text)));
}

// Shifts the text over its leading blanks and ends it after its last non-blank.
void trim_blanks(char *text)
{
    const char *from = text;
    while (*from == ' ')
        from++;
    char *kept_end = text;
    for (char *to = text; *from != '\0'; from++) {
        *to++ = *from;
        if (*from != ' ')
            kept_end = to;
    }
    *kept_end = '\0';
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool starts_option_word(const char *word)
{
    const char next = word[1];
    return word[0] == '-' && ((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z') ||
                              next == '-' || next == '?');
}

bool has_option_word(const char *text)
{
    for (size_t i = 0; text[i] != '\0'; i++) {
        if ((i == 0 || is_blank(text[i - 1])) && starts_option_word(text + i))
            return true;
    }
    return false;
}

// The first `length` characters of `text` (none of them NUL) are `word`, ignoring case.
bool matches_ignoring_case(const char *text, size_t length, const char *word)
{
    // A shorter word differs at its NUL, so word[length] is read only within the word.
    return strncasecmp(text, word, length) == 0 && word[length] == '\0';
}

// With an option word in the command, the whole command must be one tool option: a typed
// switch beside a selection ("2 -n") must never become part of a name and restart the machine.
ToolOption tool_option_of(const char *command)
{
    if (!has_option_word(command))
        return TOOL_OPTION_NONE;
    while (*command == ' ')
        command++;
    // The option word is a non-blank, so the backward walk stops before the start.
    const char *end = command + strlen(command);
    while (*(end - 1) == ' ')
        end--;
    for (const OptionWord &word : TOOL_OPTIONS) {
        if (matches_ignoring_case(command, static_cast<size_t>(end - command), word.text))
            return word.option;
    }
    return TOOL_OPTION_UNKNOWN;
}

struct DryRunWord {
    const char *text;
    DryRun mode;
};

constexpr DryRunWord DRY_RUN_WORDS[] = {
    {"--dry-run", DRY_RUN_TEXT},
    {"--dry-run=json", DRY_RUN_JSON},
};
static_assert(sizeof "--dry-run=json" == DRY_RUN_WORD_ROOM, "the longest word and its blank");

constexpr char BOOT_NEXT_WORD[] = "--boot-next";
static_assert(sizeof BOOT_NEXT_WORD == BOOT_NEXT_WORD_ROOM, "the word and its blank");

bool is_help_request(const char *selection)
{
    for (const char *help : HELP_REQUESTS) {
        if (strcasecmp(selection, help) == 0)
            return true;
    }
    return false;
}

} // namespace

void join_words(char *buffer, size_t capacity, size_t count, const void *words, CopyWord copy)
{
    if (capacity == 0)
        return;
    size_t room = capacity - 1;
    size_t length = 0;
    for (size_t i = 0; i < count; i++) {
        const size_t copied = copy(words, i, buffer + length, room);
        length += copied;
        buffer[length] = '\0';
        room -= copied;
        if (i == count - 1 || room == 0)
            return;
        buffer[length++] = ' ';
        buffer[length] = '\0';
        room -= 1;
        if (room == 0)
            return;
    }
}

void join_arguments(char *buffer, size_t capacity, int argc, char **argv)
{
    auto copy = [](const void *words, size_t index, char *to, size_t room) {
        const char *word = static_cast<char *const *>(words)[index];
        size_t copied = 0;
        for (; word != nullptr && copied < room && word[copied] != '\0'; copied++)
            to[copied] = word[copied];
        return copied;
    };
    join_words(buffer, capacity, argc > 1 ? static_cast<size_t>(argc - 1) : 0, argv + 1, copy);
}

namespace {

// The first word of `text` past its blanks, and its length.
const char *first_word(const char *text, size_t *length)
{
    while (is_blank(*text))
        text++;
    const char *end = text;
    while (*end != '\0' && !is_blank(*end))
        end++;
    *length = static_cast<size_t>(end - text);
    return text;
}

// Past the word and its one separating blank.
const char *after_word(const char *word, size_t length)
{
    return word[length] == '\0' ? word + length : word + length + 1;
}

} // namespace

DryRun take_dry_run_word(const char *command_text, const char **command)
{
    *command = command_text == nullptr ? "" : command_text;
    size_t length = 0;
    const char *word = first_word(*command, &length);
    for (const DryRunWord &dry_run : DRY_RUN_WORDS) {
        if (matches_ignoring_case(word, length, dry_run.text)) {
            *command = after_word(word, length);
            return dry_run.mode;
        }
    }
    return DRY_RUN_NONE;
}

bool take_boot_next_word(const char *command_text, const char **command)
{
    *command = command_text == nullptr ? "" : command_text;
    size_t length = 0;
    const char *word = first_word(*command, &length);
    if (!matches_ignoring_case(word, length, BOOT_NEXT_WORD))
        return false;
    *command = after_word(word, length);
    return true;
}

StatusCode parse_boot_request(const char *command_text, BootRequest *request)
{
    // The command buffer is recopied below; the other two must read empty on every early return.
    memset(selection_buffer, 0, sizeof selection_buffer);
    memset(run_file_buffer, 0, sizeof run_file_buffer);
    *request = BootRequest{};
    request->selection_text = selection_buffer;
    request->run_file = run_file_buffer;
    if (command_text == nullptr)
        command_text = "";

    copy_bounded(command_buffer, command_text, COMMAND_CAPACITY);
    upper_case_ascii(command_buffer);
    char *const no_reboot_at = strstr(command_buffer, "/NOREBOOT");
    char *const force_at = strstr(command_buffer, "/FORCE");
    char *const run_at = strstr(command_buffer, "/RUN=");
    request->no_reboot = no_reboot_at != nullptr;
    request->force = force_at != nullptr;

    // The positions found in the upper-case copy index the recopied text as well, which
    // keeps the letter case of the name and the run file as typed.
    copy_bounded(command_buffer, command_text, COMMAND_CAPACITY);
    if (no_reboot_at != nullptr)
        *no_reboot_at = '\0';
    if (force_at != nullptr)
        *force_at = '\0';
    if (run_at != nullptr) {
        copy_bounded(run_file_buffer, run_at + 5, RUN_FILE_CAPACITY);
        *run_at = '\0';
    }

    char *end = nullptr;
    unsigned long number = strtoul(command_buffer, &end, 10);
    while (*end == ' ')
        end++;
    if (*end != '/' && *end != '\0')
        number = 0;
    if (*end == '\0' && number == 0)
        return STATUS_INVALID_PARAMETER;
    request->number = number;

    copy_bounded(selection_buffer, command_buffer, SELECTION_CAPACITY);
    trim_blanks(selection_buffer);
    const ToolOption option =
        is_help_request(selection_buffer) ? TOOL_OPTION_HELP : tool_option_of(command_buffer);
    request->tool_option = option;
    return option == TOOL_OPTION_HELP || option == TOOL_OPTION_UNKNOWN ? STATUS_INVALID_PARAMETER
                                                                       : STATUS_SUCCESS;
}

bool selection_is_keyword(const BootRequest *request, const char *keyword)
{
    return strcasecmp(request->selection_text, keyword) == 0;
}

void resolve_selection(BootRequest *request)
{
    if (request->number != 0) {
        request->selection_code = static_cast<SelectionCode>(request->number);
        if (request->number != SELECTION_NAME)
            request->selection_text[0] = '\0';
        return;
    }
    request->selection_code = SELECTION_NAME;
    for (const Keyword &keyword : KEYWORDS) {
        if (selection_is_keyword(request, keyword.text)) {
            request->selection_code = keyword.code;
            request->selection_text[0] = '\0';
            return;
        }
    }
}
