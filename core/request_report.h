// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Reading a stored "Quiplex" value as the boot manager will, and describing it as text or JSON.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "status.h"

struct BootList;

enum RequestKind {
    REQUEST_ITEM,    // an item number
    REQUEST_KEYWORD, // /Current, /Next, /Shutdown or /None
    REQUEST_NAME,
    REQUEST_HOT_KEY, // "&" and one character
};

// A stored value read by the boot manager's rule: a 4-byte code, then texts that end at their
// NUL or at the value's end. The texts point into the value.
struct RequestView {
    uint32_t code;
    RequestKind kind;
    const char *keyword; // "/Current" ... for REQUEST_KEYWORD, else null
    const uint8_t *selection;
    size_t selection_length;
    const uint8_t *run_file;
    size_t run_file_length;
    size_t size;
};

// STATUS_CORRUPT for a value shorter than the 4-byte code.
StatusCode decode_request(const uint8_t *value, size_t size, RequestView *view);

// What --status found. `request` is null when none is pending; `corrupt` is set (and `request`
// null) when the stored value is too short to be a request, with `size` bytes when known.
struct StatusReport {
    StatusCode status; // 0, or why the report is incomplete
    bool boot_manager_known;
    bool boot_manager;
    const RequestView *request;
    bool corrupt;
    size_t corrupt_size;
    bool attributes_known;
    uint32_t attributes;
    // The firmware's boot list; null when it was not read (JSON: every member null).
    const BootList *firmware;
    const char *program_name; // named in the warning's advice
};

// Both write a NUL-terminated text into `out` (cut, still terminated, when it does not fit) and
// escape every byte outside printable ASCII, so a crafted variable cannot drive a terminal.
// Where the firmware has a boot list, the text ends in a line on it and, when the next start
// does not go through Zarvex UEFI, a warning.
void format_status_text(const StatusReport *report, char *out, size_t capacity);
// One line of JSON. Stored bytes outside printable ASCII appear as \u00NN: each code point of a
// text stands for one stored byte, whether or not the bytes were UTF-8.
void format_status_json(const StatusReport *report, char *out, size_t capacity);

// What --dry-run found: the request the command would write and what the program would then do.
struct DryRunReport {
    StatusCode status;          // 0, or 61 for a command that is no boot request
    const RequestView *request; // null with a nonzero status or when the monitor would start
    bool monitor;               // the command starts the hibernation monitor instead
    bool restart;
    bool force;
    bool force_shown; // the text names /force only where it changes the restart (Windows)
    // Set for --boot-next: BootNext is then set to the boot manager's entry, when known.
    const BootList *boot_next;
};

// The same escaping and limits as the status descriptions; the request object of the JSON has
// exactly the fields of --status=json's, attributes those of every request written.
void format_dry_run_text(const DryRunReport *report, char *out, size_t capacity);
void format_dry_run_json(const DryRunReport *report, char *out, size_t capacity);

// The audit record of a written request: the request as --status shows it ("Pending request:
// ..."), then what follows as the dry run says it.
void format_written_text(const DryRunReport *report, char *out, size_t capacity);
// The audit record of a failed run: its message, then the command as typed, escaped as the
// status text escapes stored bytes.
void format_failure_text(const char *message, const char *command, char *out, size_t capacity);
