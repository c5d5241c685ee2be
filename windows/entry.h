// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The one pass of quiplexu from command text to exit code.
#pragma once

#include <windows.h>

#include "front_end.h"

// Message boxes, the monitor and the window-station query, replaceable so that tests capture
// boxes instead of blocking and answer whether anyone can see them.
struct EntryCalls {
    int(WINAPI *message_box)(HWND, LPCSTR, LPCSTR, UINT);
    void (*run_monitor)(HINSTANCE);
    HWINSTA(WINAPI *get_process_window_station)();
    BOOL(WINAPI *get_user_object_information)(HANDLE, int, PVOID, DWORD, LPDWORD);
};

extern EntryCalls entry_calls;

inline constexpr char MESSAGE_CAPTION[] = "Quiplex UEFI";
inline constexpr char USAGE_CAPTION[] = "Quiplex - Invalid Parameters";
inline constexpr char MESSAGE_GUARD_SERVICE_RUNNING[] =
    "The Quiplex hibernation guard service is running; the monitor is not needed.";
inline constexpr char MESSAGE_MONITOR_NEEDS_DESKTOP[] =
    "The hibernation monitor needs a desktop that someone can see; it was not started.";
// How /hibernate ends where nobody can see the tray: the monitor is not ready to run there.
inline constexpr StatusCode MONITOR_UNSEEN_STATUS = STATUS_NOT_READY;

// True when the process's window station is the interactive one (WSF_VISIBLE); false in a
// service's or session 0's station, and when Windows cannot say.
bool window_station_visible();

int run_quiplexu(HINSTANCE instance, HINSTANCE previous_instance, const char *command_text);
