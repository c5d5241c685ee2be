// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The fake store: records every call and answers what the test set up.
#include "fake_store.h"

#include <gtest/gtest.h>
#include <string.h>

#include "boot_list.h"
#include "variable_store.h"

FakeStore fake_store;

void reset_fake_store()
{
    fake_store = FakeStore{};
}

namespace {

bool is_global_name(const char *name)
{
    static const char *const NAMES[] = {"BootCurrent", "BootNext", "BootOrder",
                                        "OsIndicationsSupported", "OsIndications"};
    for (const char *known : NAMES) {
        if (strcmp(name, known) == 0)
            return true;
    }
    return strlen(name) == 8 && strncmp(name, "Boot", 4) == 0 &&
           strspn(name + 4, "0123456789ABCDEF") == 4;
}

FakeVariable *find_variable(const char *name)
{
    for (FakeVariable &variable : fake_store.variables) {
        if (strcmp(variable.name, name) == 0)
            return &variable;
    }
    return nullptr;
}

// A firmware variable gets a slot the first time it is set or written.
FakeVariable *global_slot(const char *name)
{
    if (FakeVariable *variable = find_variable(name))
        return variable;
    for (FakeVariable &variable : fake_store.variables) {
        if (variable.name[0] == '\0') {
            strcpy(variable.name, name);
            return &variable;
        }
    }
    ADD_FAILURE() << "no room for " << name;
    return &fake_store.variables[0];
}

void expect_guid(const char *name, const char *guid_text)
{
    EXPECT_STREQ(guid_text, is_global_name(name) ? GLOBAL_GUID_TEXT : VENDOR_GUID_TEXT) << name;
}

} // namespace

void use_named_variables()
{
    fake_store.by_name = true;
    strcpy(fake_store.variables[0].name, "ZarvexUEFI");
    strcpy(fake_store.variables[1].name, "Quiplex");
}

FakeVariable *fake_variable(const char *name)
{
    if (FakeVariable *variable = find_variable(name))
        return variable;
    if (is_global_name(name))
        return global_slot(name);
    ADD_FAILURE() << "unexpected variable " << name;
    return &fake_store.variables[0];
}

size_t fake_value(const char *name, const uint8_t **data)
{
    const FakeVariable *variable = find_variable(name);
    *data = variable != nullptr ? variable->data : nullptr;
    return variable != nullptr && variable->present ? variable->size : 0;
}

void set_fake_variable(const char *name, const uint8_t *data, size_t size)
{
    FakeVariable *variable = fake_variable(name);
    variable->present = true;
    memcpy(variable->data, data, size);
    variable->size = size;
    variable->attributes = 7;
}

StatusCode read_variable(const char *name, const char *guid_text, void *buffer, size_t *size,
                         uint32_t *attributes)
{
    fake_store.reads++;
    if (strcmp(name, "ZarvexUEFI") == 0) {
        EXPECT_EQ(*size, 4u) << "the presence probe reads into 4 bytes";
    }
    strncpy(fake_store.last_name, name, sizeof fake_store.last_name - 1);
    strncpy(fake_store.last_guid, guid_text, sizeof fake_store.last_guid - 1);
    if (fake_store.read_status != STATUS_SUCCESS) {
        *size = 0;
        return fake_store.read_status;
    }
    if (fake_store.by_name) {
        expect_guid(name, guid_text);
        const FakeVariable *variable =
            is_global_name(name) ? find_variable(name) : fake_variable(name);
        const StatusCode status = variable == nullptr || !variable->present ? STATUS_NOT_FOUND
                                  : variable->size > *size ? STATUS_BUFFER_TOO_SMALL
                                                           : STATUS_SUCCESS;
        *size = status == STATUS_SUCCESS ? variable->size : 0;
        if (status == STATUS_SUCCESS) {
            memcpy(buffer, variable->data, variable->size);
            if (attributes != nullptr)
                *attributes = variable->attributes;
        }
        return status;
    }
    if (fake_store.stored_size > *size) {
        *size = 0;
        return STATUS_BUFFER_TOO_SMALL;
    }
    memset(buffer, 0xAB, fake_store.stored_size);
    *size = fake_store.stored_size;
    return STATUS_SUCCESS;
}

StatusCode write_variable(const char *name, const char *guid_text, const void *data, size_t size,
                          uint32_t attributes)
{
    fake_store.writes++;
    strncpy(fake_store.last_name, name, sizeof fake_store.last_name - 1);
    strncpy(fake_store.last_guid, guid_text, sizeof fake_store.last_guid - 1);
    if (size != 0 && size <= sizeof fake_store.written) // a deletion passes no data
        memcpy(fake_store.written, data, size);
    fake_store.written_size = size;
    fake_store.written_attributes = attributes;
    const StatusCode answer =
        fake_store.failing_write == nullptr || strcmp(fake_store.failing_write, name) == 0
            ? fake_store.write_status
            : STATUS_SUCCESS;
    if (fake_store.by_name && answer == STATUS_SUCCESS) {
        expect_guid(name, guid_text);
        FakeVariable *variable = fake_variable(name);
        if (size == 0) {
            const bool was_present = variable->present;
            variable->present = false;
            return was_present ? STATUS_SUCCESS : STATUS_NOT_FOUND;
        }
        set_fake_variable(name, static_cast<const uint8_t *>(data), size);
        variable->attributes = attributes;
    }
    return answer;
}
