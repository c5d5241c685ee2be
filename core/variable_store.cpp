// Building the boot-request payload and the two variable accesses every program makes.
#include "variable_store.h"

#include <string.h>

size_t payload_size(const BootRequest *request)
{
    return PAYLOAD_FIXED_SIZE + strlen(request->selection_text) + strlen(request->run_file);
}

void store_u32_le(uint8_t *to, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        to[i] = static_cast<uint8_t>(value >> (8 * i));
}

void fill_payload(const BootRequest *request, uint8_t *payload)
{
    store_u32_le(payload, request->selection_code);
    char *selection = reinterpret_cast<char *>(payload + PAYLOAD_SELECTION_OFFSET);
    strcpy(selection, request->selection_text);
    strcpy(selection + strlen(request->selection_text) + 1, request->run_file);
}

StatusCode probe_boot_manager()
{
    uint8_t probe[4];
    size_t size = sizeof probe;
    const StatusCode status =
        read_variable(PRESENCE_VARIABLE_NAME, VENDOR_GUID_TEXT, probe, &size, nullptr);
    return status == STATUS_BUFFER_TOO_SMALL ? STATUS_SUCCESS : status;
}
