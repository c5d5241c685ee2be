// The fake store: records every call and answers what the test set up.
#include "fake_store.h"

#include <gtest/gtest.h>
#include <string.h>

#include "variable_store.h"

FakeStore fake_store;

void reset_fake_store()
{
    fake_store = FakeStore{};
}

void use_named_variables()
{
    fake_store.by_name = true;
    fake_store.variables[0] = FakeVariable{"ZarvexUEFI", false, {}, 0, 0};
    fake_store.variables[1] = FakeVariable{"Quiplex", false, {}, 0, 0};
}

FakeVariable *fake_variable(const char *name)
{
    for (FakeVariable &variable : fake_store.variables) {
        if (variable.name != nullptr && strcmp(variable.name, name) == 0)
            return &variable;
    }
    ADD_FAILURE() << "unexpected variable " << name;
    return &fake_store.variables[0];
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
        const FakeVariable *variable = fake_variable(name);
        const StatusCode status = !variable->present       ? STATUS_NOT_FOUND
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
    if (fake_store.by_name && fake_store.write_status == STATUS_SUCCESS) {
        FakeVariable *variable = fake_variable(name);
        if (size == 0) {
            const bool was_present = variable->present;
            variable->present = false;
            return was_present ? STATUS_SUCCESS : STATUS_NOT_FOUND;
        }
        set_fake_variable(name, static_cast<const uint8_t *>(data), size);
        variable->attributes = attributes;
    }
    return fake_store.write_status;
}
