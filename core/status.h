// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Status codes: the one result space of every operation and the programs' exit codes.
#pragma once

#include <stdint.h>

typedef uint32_t StatusCode;

inline constexpr StatusCode STATUS_SUCCESS = 0;
inline constexpr StatusCode STATUS_NO_MEMORY = 2;
inline constexpr StatusCode STATUS_READ_FAULT = 3;
inline constexpr StatusCode STATUS_WRITE_FAULT = 4;
inline constexpr StatusCode STATUS_NOT_FOUND = 8;
inline constexpr StatusCode STATUS_INCOMPATIBLE = 13;
inline constexpr StatusCode STATUS_DEVICE_ERROR = 17;
inline constexpr StatusCode STATUS_NO_EFIVARS_PARENT = 29;
inline constexpr StatusCode STATUS_VOLUME_FULL = 32;
inline constexpr StatusCode STATUS_INVALID_PARAMETER = 61;
inline constexpr StatusCode STATUS_STALE_DATA = 62;
inline constexpr StatusCode STATUS_BAD_BUFFER_SIZE = 63;
inline constexpr StatusCode STATUS_END_OF_MEDIA = 67;
inline constexpr StatusCode STATUS_DELETE_FAILURE = 70;
inline constexpr StatusCode STATUS_READ_FAILED = 71;
inline constexpr StatusCode STATUS_ACCESS_DENIED = 75;
inline constexpr StatusCode STATUS_NOT_SUPPORTED = 76;
inline constexpr StatusCode STATUS_WRITE_FAILED = 77;
inline constexpr StatusCode STATUS_ALREADY_STARTED = 87;
inline constexpr StatusCode STATUS_NOT_READY = 88;
inline constexpr StatusCode STATUS_NOT_MOUNTED = 92;
inline constexpr StatusCode STATUS_UNKNOWN_GLYPH = 93;
inline constexpr StatusCode STATUS_CORRUPT = 94;
inline constexpr StatusCode STATUS_BUFFER_TOO_SMALL = 95;
inline constexpr StatusCode STATUS_TIMEOUT = 96;
inline constexpr StatusCode STATUS_NO_RESPONSE = 97;
inline constexpr StatusCode STATUS_MEDIA_CHANGED = 100;

// One row of a platform error table: a platform error value and the status it becomes.
struct StatusMapping {
    uint64_t platform_error;
    StatusCode status;
};

// Looks `platform_error` up in `table`; `fallback` when no row matches.
StatusCode map_status(const StatusMapping *table, unsigned count, uint64_t platform_error,
                      StatusCode fallback);

// The same over a whole table, its row count taken from the array.
template <unsigned N>
StatusCode map_status(const StatusMapping (&table)[N], uint64_t platform_error, StatusCode fallback)
{
    return map_status(table, N, platform_error, fallback);
}
