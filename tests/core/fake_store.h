// An in-memory variable store that the core tests link in place of a platform adapter.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "status.h"

struct FakeStore {
    // What the next read_variable/write_variable answers when not STATUS_SUCCESS.
    StatusCode read_status;
    StatusCode write_status;
    size_t stored_size; // size of the value read_variable holds (0: none)
    int reads;
    int writes;
    char last_name[32];
    char last_guid[48];
    uint8_t written[256];
    size_t written_size;
    uint32_t written_attributes;
};

extern FakeStore fake_store;
void reset_fake_store();
