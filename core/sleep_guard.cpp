// The sleep guard's decisions, shared by the Windows monitor and the Linux suspend and resume.
#include "sleep_guard.h"

#include <stdlib.h>
#include <string.h>

#include "boot_request.h"
#include "variable_store.h"

namespace {

bool plausible_copy_size(size_t size)
{
    return size >= SAVED_REQUEST_MINIMUM && size <= SAVED_REQUEST_LIMIT;
}

uint8_t saved_copy[SAVED_REQUEST_LIMIT];

} // namespace

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

StatusCode write_resume_request(const uint8_t *copy, size_t size)
{
    return write_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, copy, copy == nullptr ? 0 : size,
                          REQUEST_ATTRIBUTES);
}

SleepResult suspend_request(const SavedRequestCalls *calls)
{
    size_t size{};
    bool none_pending{};
    StatusCode status = calls->load(saved_copy, sizeof saved_copy, &size, &none_pending);
    SleepOutcome outcome = SLEEP_KEPT;
    if (status == STATUS_SUCCESS) {
        // A second suspend keeps the first copy: "Quiplex" now holds our own /Current value.
        if (!none_pending && !plausible_copy_size(size))
            return {SLEEP_COPY_CORRUPT, STATUS_CORRUPT};
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
        return {SLEEP_SAVE_FAILED, status};
    }
    return status == STATUS_SUCCESS ? SleepResult{outcome, status}
                                    : SleepResult{SLEEP_WRITE_FAILED, status};
}

SleepResult resume_request(const SavedRequestCalls *calls)
{
    size_t size{};
    bool none_pending{};
    StatusCode status = calls->load(saved_copy, sizeof saved_copy, &size, &none_pending);
    if (status == STATUS_NOT_FOUND)
        return {SLEEP_NOTHING_TO_DO, STATUS_SUCCESS};
    if (status != STATUS_SUCCESS)
        return {SLEEP_SAVE_FAILED, status};
    SleepOutcome outcome = none_pending ? SLEEP_DELETED : SLEEP_PUT_BACK;
    if (!none_pending && !plausible_copy_size(size)) {
        // Kept, it would poison every later suspend; the request still reads /Current.
        status = calls->remove();
        return status == STATUS_SUCCESS ? SleepResult{SLEEP_COPY_CORRUPT, STATUS_CORRUPT}
                                        : SleepResult{SLEEP_SAVE_FAILED, status};
    }
    status = write_resume_request(none_pending ? nullptr : saved_copy, size);
    if (none_pending && status == STATUS_NOT_FOUND)
        status = STATUS_SUCCESS;
    // On a failed write the state stays, so that another --resume can still put it back.
    if (status != STATUS_SUCCESS)
        return {SLEEP_WRITE_FAILED, status};
    status = calls->remove();
    return status == STATUS_SUCCESS ? SleepResult{outcome, status}
                                    : SleepResult{SLEEP_SAVE_FAILED, status};
}
