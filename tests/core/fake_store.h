// An in-memory variable store that the core tests link in place of a platform adapter.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "status.h"

// A named value of the store when `by_name` is set.
struct FakeVariable {
    const char *name;
    bool present;
    uint8_t data[512];
    size_t size;
    uint32_t attributes;
};

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
    // Set: reads and writes act on `variables` by name; an absent one reads (and deletes) as 8.
    bool by_name;
    FakeVariable variables[2];
};

extern FakeStore fake_store;
void reset_fake_store();

// Switches the fake to named values: "ZarvexUEFI" and "Quiplex", both absent.
void use_named_variables();
FakeVariable *fake_variable(const char *name);
void set_fake_variable(const char *name, const uint8_t *data, size_t size);
