// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The command-line grammar: joining arguments, taking the command text apart, selection codes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "status.h"

inline constexpr size_t COMMAND_CAPACITY = 256;  // 255 characters and a NUL
inline constexpr size_t SELECTION_CAPACITY = 51; // 50 characters and a NUL
inline constexpr size_t RUN_FILE_CAPACITY = 64;  // 63 characters and a NUL
// Room for "--dry-run=json" and its blank in front of a command: a front end that joins
// arguments joins into this many bytes, so the command after the word keeps its 255 characters.
inline constexpr size_t DRY_RUN_WORD_ROOM = 15;
// The same for "--boot-next" and its blank, which may follow the dry-run word.
inline constexpr size_t BOOT_NEXT_WORD_ROOM = 12;
inline constexpr size_t JOINED_COMMAND_CAPACITY =
    COMMAND_CAPACITY + DRY_RUN_WORD_ROOM + BOOT_NEXT_WORD_ROOM;

typedef uint32_t SelectionCode;

inline constexpr SelectionCode SELECTION_CURRENT = 0xFFFB;
inline constexpr SelectionCode SELECTION_NONE = 0xFFFC;
inline constexpr SelectionCode SELECTION_SHUTDOWN = 0xFFFD;
inline constexpr SelectionCode SELECTION_NEXT = 0xFFFE;
inline constexpr SelectionCode SELECTION_NAME = 0xFFFF;

// A word of the command text that starts with "-" and a letter, "-" or "?" asks the tool itself
// for something; it is never part of a boot item's name.
enum ToolOption {
    TOOL_OPTION_NONE, // an ordinary boot request
    TOOL_OPTION_HELP,
    TOOL_OPTION_VERSION,
    TOOL_OPTION_STATUS,
    TOOL_OPTION_STATUS_JSON,
    TOOL_OPTION_CANCEL,
    TOOL_OPTION_SUSPEND,
    TOOL_OPTION_RESUME,
    TOOL_OPTION_FIRMWARE_SETUP,
    TOOL_OPTION_CANCEL_FIRMWARE_SETUP,
    TOOL_OPTION_UNKNOWN, // an option word that is no tool option, or one beside a selection
};

// A first word that asks what the rest of the command would write, without doing it.
enum DryRun {
    DRY_RUN_NONE,
    DRY_RUN_TEXT, // --dry-run
    DRY_RUN_JSON, // --dry-run=json
};

// The parsed command. The two texts point into the core's static buffers, so a request
// stays valid until the next parse_boot_request.
struct BootRequest {
    SelectionCode selection_code;
    unsigned long number; // the item number read from the text, 0 for a name or keyword
    char *selection_text; // at most 50 characters; emptied by resolve_selection for codes
    char *run_file;       // at most 63 characters; empty when "/run=" is absent
    bool no_reboot;
    bool force;
    ToolOption tool_option; // when set, the command is that option and nothing else
};

// Copies the bytes of word `index` of `words` that fit in `room` bytes at `to`; how many it copied.
typedef size_t (*CopyWord)(const void *words, size_t index, char *to, size_t room);

// Joins `count` words with single blanks into `buffer`, at most capacity - 1 characters; the
// last byte of the buffer is never written. Writes nothing for no word. Each platform's
// arguments reach it through their own `copy` (the UEFI Shell's are UCS-2).
void join_words(char *buffer, size_t capacity, size_t count, const void *words, CopyWord copy);

// join_words over argv[1..argc-1]; a null argument is an empty word.
void join_arguments(char *buffer, size_t capacity, int argc, char **argv);

// When the first word of `command_text` is --dry-run or --dry-run=json (any letter case), gives
// that mode and points `*command` past the word and its one separating blank, so the rest is
// taken apart as if the word had never been typed; otherwise DRY_RUN_NONE and the whole text.
DryRun take_dry_run_word(const char *command_text, const char **command);

// The same for a first word --boot-next (any letter case): true when it is there.
bool take_boot_next_word(const char *command_text, const char **command);

// Takes `command_text` apart into `request`. STATUS_INVALID_PARAMETER when the command
// selects nothing, asks for help (tool_option TOOL_OPTION_HELP) or holds an option word that is
// not a tool option standing alone: the caller shows the usage text. A tool option standing
// alone gives STATUS_SUCCESS with tool_option set.
StatusCode parse_boot_request(const char *command_text, BootRequest *request);

// True when the selection is exactly `keyword` in any letter case ("/HIBERNATE" on Windows).
bool selection_is_keyword(const BootRequest *request, const char *keyword);

// Turns the number or keyword into the selection code; call after the presence probe.
void resolve_selection(BootRequest *request);
