// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Fuzzes the decoder of stored "Quiplex" values and both descriptions: any bytes a program or a
// person may have written must give printable text and valid JSON, never a read past the value.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "request_report.h"

namespace {

char out[16 * 1024];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t flags = data[0];
    // An exact-size heap copy lets AddressSanitizer catch a read one byte past the value.
    uint8_t *value = static_cast<uint8_t *>(malloc(size - 1 == 0 ? 1 : size - 1));
    memcpy(value, data + 1, size - 1);
    RequestView view;
    const StatusCode status = decode_request(value, size - 1, &view);
    check((status == STATUS_CORRUPT) == (size - 1 < 4));

    StatusReport report{};
    report.status = flags & 1 ? STATUS_SUCCESS : STATUS_READ_FAILED;
    report.boot_manager_known = flags & 2;
    report.boot_manager = flags & 4;
    report.attributes_known = flags & 8;
    report.attributes = 0xFFFFFFFFu >> (flags >> 4);
    report.request = status == STATUS_SUCCESS ? &view : nullptr;
    report.corrupt = status == STATUS_CORRUPT && (flags & 16);
    report.corrupt_size = size - 1;

    format_status_text(&report, out, sizeof out);
    for (const char *c = out; *c != '\0'; c++)
        check(*c == '\n' || (*c >= 0x20 && *c <= 0x7E));
    format_status_json(&report, out, sizeof out);
    const char *end = json_object(out);
    check(end != nullptr && *end == '\0');
    free(value);
    return 0;
}
