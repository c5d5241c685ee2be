// The sleep guard: while the machine sleeps, a pending request reads /Current (boot the running
// system); on resume the request that was pending comes back.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform.h"

inline constexpr size_t SAVED_REQUEST_STEP = 64;
inline constexpr size_t SAVED_REQUEST_LIMIT = 256;
inline constexpr size_t SAVED_REQUEST_MINIMUM = 4; // the code alone

// Reads "Quiplex" into a heap buffer grown in 64-byte steps up to 256 bytes; null when no copy
// could be taken (none pending, longer than 256 bytes, unreadable, or no memory).
uint8_t *copy_pending_request(size_t *size);

// At suspend: the copy with its code set to /Current (the copy itself is left as it was), or
// the 4-byte code alone when there is no copy.
StatusCode write_suspend_request(uint8_t *copy, size_t size);

// At resume: the copy unchanged, or a delete when there is none.
StatusCode write_resume_request(const uint8_t *copy, size_t size);

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
};

// The two halves for programs whose suspend and resume are separate runs, with the saved state
// kept by `calls`. The caller probes for the boot manager before the suspend.
SleepResult suspend_request(const SavedRequestCalls *calls);
SleepResult resume_request(const SavedRequestCalls *calls);
