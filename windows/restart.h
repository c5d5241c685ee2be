// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Restarting Windows after the boot request has been written.
#pragma once

#include <windows.h>

#include "platform.h"

// The pause and the last-resort restart, replaceable so that no test waits or restarts.
struct RestartCalls {
    VOID(WINAPI *sleep)(DWORD milliseconds);
    BOOL(WINAPI *exit_windows_ex)(UINT flags, DWORD reason);
};

extern RestartCalls restart_calls;

inline constexpr unsigned RESTART_ATTEMPTS = 5;
inline constexpr DWORD RESTART_PAUSE_MILLISECONDS = 5000;
inline constexpr DWORD RESTART_REASON = 0x80000000; // SHTDN_REASON_FLAG_PLANNED

// restart_system(bool force) is declared with the other platform calls in platform.h.
