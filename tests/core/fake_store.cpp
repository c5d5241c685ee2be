// The fake store: records every call and answers what the test set up.
#include "fake_store.h"

#include <string.h>

#include "variable_store.h"

FakeStore fake_store;

void reset_fake_store()
{
    fake_store = FakeStore{};
}

StatusCode read_variable(const char *name, const char *guid_text, void *buffer, size_t *size,
                         uint32_t *)
{
    fake_store.reads++;
    strncpy(fake_store.last_name, name, sizeof fake_store.last_name - 1);
    strncpy(fake_store.last_guid, guid_text, sizeof fake_store.last_guid - 1);
    if (fake_store.read_status != STATUS_SUCCESS) {
        *size = 0;
        return fake_store.read_status;
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
    if (size <= sizeof fake_store.written)
        memcpy(fake_store.written, data, size);
    fake_store.written_size = size;
    fake_store.written_attributes = attributes;
    return fake_store.write_status;
}
