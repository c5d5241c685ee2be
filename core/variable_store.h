// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The firmware variables, the boot-request payload and the variable-store contract.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "boot_request.h"
#include "platform.h"
#include "status.h"

inline constexpr char VENDOR_GUID_TEXT[] = "{81686ef9-7f6f-42e3-9371-696de9bf6299}";
inline constexpr char PRESENCE_VARIABLE_NAME[] = "ZarvexUEFI";
inline constexpr char REQUEST_VARIABLE_NAME[] = "Quiplex";

// EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS
inline constexpr uint32_t REQUEST_ATTRIBUTES = 0x7;

// Payload layout: u32 code (little-endian), selection text and NUL, run file and NUL.
inline constexpr size_t PAYLOAD_CODE_SIZE = 4;
inline constexpr size_t PAYLOAD_SELECTION_OFFSET = 4;
inline constexpr size_t PAYLOAD_FIXED_SIZE = PAYLOAD_CODE_SIZE + 2;
inline constexpr size_t PAYLOAD_MAX_SIZE =
    PAYLOAD_FIXED_SIZE + (SELECTION_CAPACITY - 1) + (RUN_FILE_CAPACITY - 1);
static_assert(PAYLOAD_MAX_SIZE == 119, "largest request: 50-character name, 63-character file");

size_t payload_size(const BootRequest *request);
// Lays the request out in `payload`, which holds payload_size(request) bytes.
void fill_payload(const BootRequest *request, uint8_t *payload);

void store_u32_le(uint8_t *to, uint32_t value);

// Reads the variable into a 4-byte buffer. A value longer than that still proves it there,
// so STATUS_BUFFER_TOO_SMALL comes back as STATUS_SUCCESS.
StatusCode probe_variable(const char *name);
// probe_variable of "ZarvexUEFI": STATUS_SUCCESS when the boot manager is present.
StatusCode probe_boot_manager();
// Deletes "Quiplex": STATUS_NOT_FOUND when it was not there, also where the store cannot tell a
// delete of an absent variable from a failed one (Windows: 77).
StatusCode delete_request();
