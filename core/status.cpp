// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Table lookup shared by the platform adapters' error translations.
#include "status.h"

StatusCode map_status(const StatusMapping *table, unsigned count, uint64_t platform_error,
                      StatusCode fallback)
{
    for (unsigned i = 0; i < count; i++) {
        if (table[i].platform_error == platform_error)
            return table[i].status;
    }
    return fallback;
}
