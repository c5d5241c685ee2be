// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Firmware tables for the host tests: every call fails the test until the test installs a fake.
#pragma once

#include "firmware.h"

struct FakeTables {
    EFI_SYSTEM_TABLE system;
    EFI_RUNTIME_SERVICES runtime;
    EFI_BOOT_SERVICES boot;
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL out;
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL in;
};

// Fills every slot of `tables` with a call that fails the test and answers EFI_UNSUPPORTED, and
// links the system table to the others.
void refuse_every_call(FakeTables *tables);
