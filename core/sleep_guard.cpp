// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The sleep guard's decisions, shared by the Windows guards and quiplexlnx --suspend/--resume.
#include "sleep_guard.h"

#include <stdlib.h>
#include <string.h>

#include "boot_request.h"
#include "messages.h"
#include "variable_store.h"

namespace {

uint8_t saved_copy[SAVED_REQUEST_LIMIT];

// One row for each outcome; the last one, a failed write, ends the table.
// clang-format off
constexpr SleepText SLEEP_TEXTS[] = {
    {SLEEP_SAVED, MESSAGE_SUSPEND_SAVED, {RECORD_SUSPEND_SAVED}},
    {SLEEP_NOTHING_SAVED, MESSAGE_SUSPEND_NOTHING_SAVED, {RECORD_SUSPEND_NOTHING_SAVED}},
    {SLEEP_KEPT, MESSAGE_SUSPEND_KEPT, {RECORD_SUSPEND_KEPT}},
    {SLEEP_PUT_BACK, MESSAGE_RESUME_PUT_BACK, {nullptr, RECORD_RESUME_PUT_BACK, RECORD_STOP_PUT_BACK}},
    {SLEEP_DELETED, MESSAGE_RESUME_DELETED, {nullptr, RECORD_RESUME_DELETED, RECORD_STOP_DELETED}},
    {SLEEP_NOTHING_TO_DO, MESSAGE_RESUME_NOTHING_SAVED, {}},
    {SLEEP_COPY_CORRUPT, MESSAGE_SAVED_COPY_CORRUPT, {}},
    {SLEEP_SAVE_FAILED, MESSAGE_SAVED_COPY_FAILED, {}},
    {SLEEP_WRITE_FAILED, nullptr, {RECORD_SUSPEND_FAILED, RECORD_RESUME_FAILED, RECORD_RESUME_FAILED}},
};
// clang-format on

// Reads "Quiplex" into a heap buffer grown in 64-byte steps up to 256 bytes; null when no copy
// could be taken (none pending, longer than 256 bytes, unreadable, or no memory).
uint8_t *copy_pending_request(size_t *size)
{
    for (size_t capacity = SAVED_REQUEST_STEP; capacity <= SAVED_REQUEST_LIMIT;
         capacity += SAVED_REQUEST_STEP) {
        uint8_t *buffer = static_cast<uint8_t *>(malloc(capacity));
        if (buffer == nullptr)
            return nullptr;
        size_t stored = capacity;
        const StatusCode status =
            read_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, buffer, &stored, nullptr);
        if (status == STATUS_SUCCESS) {
            *size = stored;
            return buffer;
        }
        free(buffer);
        if (status != STATUS_BUFFER_TOO_SMALL)
            return nullptr;
    }
    return nullptr;
}

// The copy with its code set to /Current (the copy itself is left as it was), or the 4-byte code
// alone when there is no copy.
StatusCode write_suspend_request(uint8_t *copy, size_t size)
{
    uint8_t code[PAYLOAD_CODE_SIZE];
    if (copy == nullptr) {
        store_u32_le(code, SELECTION_CURRENT);
        return write_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, code, sizeof code,
                              REQUEST_ATTRIBUTES);
    }
    // Only the code changes, so the boot manager still sees the texts that were pending.
    memcpy(code, copy, sizeof code);
    store_u32_le(copy, SELECTION_CURRENT);
    const StatusCode status =
        write_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, copy, size, REQUEST_ATTRIBUTES);
    memcpy(copy, code, sizeof code);
    return status;
}

} // namespace

const SleepText &sleep_text(SleepOutcome outcome)
{
    const SleepText *row = SLEEP_TEXTS;
    while (row->outcome != outcome && row->outcome != SLEEP_WRITE_FAILED)
        row++;
    return *row;
}

SleepResult suspend_request(const SavedRequestCalls *calls)
{
    size_t size{};
    bool none_pending{};
    StatusCode status = calls->load(saved_copy, sizeof saved_copy, &size, &none_pending);
    SleepOutcome outcome = SLEEP_KEPT;
    if (status == STATUS_SUCCESS) {
        // A second suspend keeps the first copy: "Quiplex" now holds our own /Current value.
        status = write_suspend_request(none_pending ? nullptr : saved_copy, size);
    } else if (status == STATUS_NOT_FOUND) {
        uint8_t *copy = copy_pending_request(&size);
        // Saved before the rewrite, so a failure here leaves the pending request untouched.
        status = calls->save(copy, size);
        if (status != STATUS_SUCCESS) {
            free(copy);
            return {SLEEP_SAVE_FAILED, status};
        }
        outcome = copy != nullptr ? SLEEP_SAVED : SLEEP_NOTHING_SAVED;
        status = write_suspend_request(copy, size);
        free(copy);
    } else {
        return {status == STATUS_CORRUPT ? SLEEP_COPY_CORRUPT : SLEEP_SAVE_FAILED, status};
    }
    return status == STATUS_SUCCESS ? SleepResult{outcome, status, true}
                                    : SleepResult{SLEEP_WRITE_FAILED, status};
}

SleepResult resume_request(const SavedRequestCalls *calls)
{
    size_t size{};
    bool none_pending{};
    StatusCode status = calls->load(saved_copy, sizeof saved_copy, &size, &none_pending);
    if (status == STATUS_NOT_FOUND)
        return {SLEEP_NOTHING_TO_DO, STATUS_SUCCESS};
    if (status == STATUS_CORRUPT) {
        // Kept, it would poison every later suspend; the request still reads /Current.
        status = calls->remove();
        return status == STATUS_SUCCESS ? SleepResult{SLEEP_COPY_CORRUPT, STATUS_CORRUPT}
                                        : SleepResult{SLEEP_SAVE_FAILED, status};
    }
    if (status != STATUS_SUCCESS)
        return {SLEEP_SAVE_FAILED, status};
    status = none_pending ? delete_request()
                          : write_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, saved_copy,
                                           size, REQUEST_ATTRIBUTES);
    // Nothing was pending and nothing is there: what the resume owes is done already.
    const bool changed = !none_pending || status != STATUS_NOT_FOUND;
    if (!changed)
        status = STATUS_SUCCESS;
    if (status != STATUS_SUCCESS) {
        // Kept, another --resume can still put it back; let go, the next suspend takes a new one.
        if (calls->forget_after_failed_resume)
            calls->remove();
        return {SLEEP_WRITE_FAILED, status};
    }
    status = calls->remove();
    return status == STATUS_SUCCESS
               ? SleepResult{none_pending ? SLEEP_DELETED : SLEEP_PUT_BACK, status, changed}
               : SleepResult{SLEEP_SAVE_FAILED, status};
}
