// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Building the boot-request payload and the two variable accesses every program makes.
#include "variable_store.h"

#include <string.h>

size_t payload_size(const BootRequest *request)
{
    return PAYLOAD_FIXED_SIZE + strlen(request->selection_text) + strlen(request->run_file);
}

// Every target of these programs is x86-64, which holds the value in the firmware's byte order.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "values are stored as the host holds them");

void store_u32_le(uint8_t *to, uint32_t value)
{
    memcpy(to, &value, sizeof value);
}

void fill_payload(const BootRequest *request, uint8_t *payload)
{
    store_u32_le(payload, request->selection_code);
    char *selection = reinterpret_cast<char *>(payload + PAYLOAD_SELECTION_OFFSET);
    // Both texts were measured against the payload when the request was parsed.
    const size_t selection_size = strlen(request->selection_text) + 1;
    memcpy(selection, request->selection_text, selection_size);
    memcpy(selection + selection_size, request->run_file, strlen(request->run_file) + 1);
}

StatusCode probe_variable(const char *name)
{
    uint8_t probe[4];
    size_t size = sizeof probe;
    const StatusCode status = read_variable(name, VENDOR_GUID_TEXT, probe, &size, nullptr);
    return status == STATUS_BUFFER_TOO_SMALL ? STATUS_SUCCESS : status;
}

StatusCode probe_boot_manager()
{
    return probe_variable(PRESENCE_VARIABLE_NAME);
}

StatusCode delete_request()
{
    const StatusCode status =
        write_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, nullptr, 0, REQUEST_ATTRIBUTES);
    if (status != STATUS_SUCCESS && status != STATUS_NOT_FOUND &&
        probe_variable(REQUEST_VARIABLE_NAME) == STATUS_NOT_FOUND)
        return STATUS_NOT_FOUND;
    return status;
}
