// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The sleep guard: while the machine sleeps, a pending request reads /Current (boot the running
// system); on resume the request that was pending comes back.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform.h"

inline constexpr size_t SAVED_REQUEST_STEP = 64;
inline constexpr size_t SAVED_REQUEST_LIMIT = 256;
inline constexpr size_t SAVED_REQUEST_MINIMUM = 4; // the code alone

enum SleepOutcome {
    SLEEP_SAVED,         // a copy was saved and the request now reads /Current
    SLEEP_NOTHING_SAVED, // no copy (none pending, too long or unreadable): /Current alone
    SLEEP_KEPT,          // an earlier suspend's copy was kept, /Current written again
    SLEEP_PUT_BACK,      // the saved copy is back in "Quiplex"
    SLEEP_DELETED,       // none was pending before the suspend: "Quiplex" deleted
    SLEEP_NOTHING_TO_DO, // resume without a saved state
    SLEEP_COPY_CORRUPT,  // the saved copy is not 4 to 256 bytes: not written back
    SLEEP_SAVE_FAILED,   // the saved state could not be read, written or removed
    SLEEP_WRITE_FAILED,  // the variable store refused the write
};

struct SleepResult {
    SleepOutcome outcome;
    StatusCode status;
    // "Quiplex" was rewritten or deleted: a change for the audit trail. False for a resume that
    // found nothing left to delete.
    bool changed = false;
};

// The guard's two halves, with the saved state kept by `calls`. At suspend the copy is taken
// from the first one on (a second suspend keeps it) and "Quiplex" is made to read /Current; the
// caller probes for the boot manager first. At resume the copy goes back, or "Quiplex" is deleted
// when none was pending.
SleepResult suspend_request(const SavedRequestCalls *calls);
SleepResult resume_request(const SavedRequestCalls *calls);

// The step of a guard a result comes from: the Windows service also resumes when it is stopped.
enum SleepStep { SLEEP_STEP_SUSPEND, SLEEP_STEP_RESUME, SLEEP_STEP_STOP, SLEEP_STEP_COUNT };

// What each program says of a result.
struct SleepText {
    SleepOutcome outcome;
    // What quiplexlnx --suspend and --resume print; null where the pass reports the write failure.
    const char *message;
    const char *events[SLEEP_STEP_COUNT]; // what the Windows guard service records; null: nothing
};

const SleepText &sleep_text(SleepOutcome outcome);
