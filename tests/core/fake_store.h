// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// An in-memory variable store that the core tests link in place of a platform adapter.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "status.h"

// A named value of the store when `by_name` is set.
struct FakeVariable {
    char name[24];
    bool present;
    uint8_t data[5000]; // more than the boot list reads of one value
    size_t size;
    uint32_t attributes;
};

struct FakeStore {
    // What the next read_variable/write_variable answers when not STATUS_SUCCESS.
    StatusCode read_status;
    StatusCode write_status;
    const char *failing_write; // set: only writes of this name answer `write_status`
    size_t stored_size;        // size of the value read_variable holds (0: none)
    int reads;
    int writes;
    char last_name[32];
    char last_guid[48];
    uint8_t written[256];
    size_t written_size;
    uint32_t written_attributes;
    // Set: reads and writes act on `variables` by name; an absent one reads (and deletes) as 8.
    // The firmware's own variables (BootOrder, Boot0003, OsIndications...) are expected under
    // the global GUID and read as absent until a test sets or the pass writes them.
    bool by_name;
    FakeVariable variables[24];
};

// The "firmware" member of --status=json where the store holds no boot variable.
inline constexpr char FIRMWARE_UNKNOWN_JSON[] =
    ",\"firmware\":{\"boot_current\":null,\"boot_next\":null,\"boot_order\":null,\"next\":null,"
    "\"next_via\":null,\"boot_manager_entry\":null,\"boot_manager_next\":null,\"entries\":{},"
    "\"firmware_setup_supported\":null}";

extern FakeStore fake_store;
void reset_fake_store();

// Switches the fake to named values: "ZarvexUEFI" and "Quiplex", both absent.
void use_named_variables();
FakeVariable *fake_variable(const char *name);
void set_fake_variable(const char *name, const uint8_t *data, size_t size);
// The value of a variable as bytes; empty when absent.
size_t fake_value(const char *name, const uint8_t **data);
