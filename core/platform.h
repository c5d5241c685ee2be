// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// What a platform supplies to the core: everything a fourth program would have to write.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "status.h"

struct BootRequest;

// The variable store, one per platform, chosen by CMake at link time. Names are 8-bit text,
// the GUID is registry-form text with braces. `size` holds the buffer's capacity on entry and
// the bytes stored on success (left as it was when the platform was never asked); `attributes`
// may be null.
StatusCode read_variable(const char *name, const char *guid_text, void *buffer, size_t *size,
                         uint32_t *attributes);
// A `size` of 0 deletes the variable.
StatusCode write_variable(const char *name, const char *guid_text, const void *data, size_t size,
                          uint32_t attributes);

// Starts restarting the machine; returns only when the restart could not be started (or, on
// Windows, once the asynchronous request was handed over). `force` matters only on Windows.
void restart_system(bool force);

// How a message reaches the user; the console programs print them all alike.
enum MessageKind {
    MESSAGE_INFORMATION, // an answer to a tool option
    MESSAGE_FAILURE,     // something failed; the exit status says what
    MESSAGE_DATA,        // machine-readable output (JSON) meant for a script
};

// Where the sleep guard keeps its copy of "Quiplex" from a suspend to the resume: files under /run
// on Linux, where the two are separate runs; memory in the Windows guards. Each call returns a
// status only.
struct SavedRequestCalls {
    // STATUS_NOT_FOUND when nothing is saved, STATUS_CORRUPT for a copy no request can be put back
    // from (one of more than `capacity` bytes included). Otherwise `*none_pending` tells a record
    // that no request was pending from a saved copy of `*size` bytes, now in `buffer`.
    StatusCode (*load)(uint8_t *buffer, size_t capacity, size_t *size, bool *none_pending);
    // Saves `copy` (null: the record that no request was pending), replacing nothing on failure.
    StatusCode (*save)(const uint8_t *copy, size_t size);
    StatusCode (*remove)();
    // After a resume whose write failed: true lets the copy go, so that the next suspend takes a
    // fresh one (the Windows guards); false keeps it for another resume (quiplexlnx --resume).
    bool forget_after_failed_resume = false;
};

// What the audit trail (Windows event log, syslog) records: each change of the pending request,
// and why a run that meant to change it failed. Reading runs (--status, --dry-run, --version,
// help) record nothing.
enum AuditKind {
    AUDIT_WRITTEN,     // a boot request was written; the text is the request and what follows
    AUDIT_CANCELLED,   // the pending request was deleted
    AUDIT_SLEEP_GUARD, // the sleep guard rewrote the request or put it back
    AUDIT_FAILED,      // the run failed: the text is its message, the status its exit status
};

// What each front end supplies to the pass: its reports and its way of restarting. The core
// decides what happens; these only show it.
struct FrontEnd {
    const char *program_name; // for --version
    // The usage text; `options_block` is null for an invalid command and the tool options'
    // text after an explicit request for help.
    void (*show_usage)(const char *options_block);
    void (*report_not_found)(StatusCode status);
    void (*report_write_failure)(StatusCode status);
    // A tool option that failed with `status`: the front end adds what fits its platform.
    void (*report_failure)(const char *text, StatusCode status);
    void (*show_message)(const char *text, MessageKind kind);
    void (*restart)(bool force);
    // Called after the presence probe, before the selection is resolved; true when the front
    // end took the run over (Windows: the hibernation monitor). May be null.
    bool (*take_over)(const BootRequest *request);
    // The selection keyword `take_over` claims, so --dry-run can tell without starting it.
    const char *take_over_keyword;
    // A selection keyword that is an invalid command here, as a name would be taken for what
    // another program of the family means by it (quiplexc: the monitor's); may be null.
    const char *refused_keyword;
    bool force_closes_applications; // /force changes how the restart treats applications
    // The sleep guard's saved copy; null where the program has no --suspend and --resume.
    const SavedRequestCalls *saved_request;
    // Adds one record to the platform's audit trail; may be null. Lines end in '\n' between
    // them, none after the last. Whatever happens there never changes the run's output or status.
    void (*record)(AuditKind kind, const char *text, StatusCode status);
};
