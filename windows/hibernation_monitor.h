// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The tray-resident monitor that points a pending boot request at the running item during suspend.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "sleep_guard.h"

inline constexpr char MONITOR_CLASS_NAME[] = "QuiplexU";
inline constexpr char MONITOR_TIP[] = "Quiplex UEFI Waiting...";
inline constexpr char MONITOR_MENU_TEXT[] = "&Terminate Quiplex UEFI";
inline constexpr UINT TRAY_CALLBACK_MESSAGE = WM_APP;
inline constexpr UINT_PTR COMMAND_TERMINATE = 2;
inline constexpr int ICON_RESOURCE_ID = 101;

// The modal menu and the tray, replaceable so that tests neither block nor need a shell.
struct MonitorCalls {
    BOOL(WINAPI *track_popup_menu)(HMENU, UINT, int, int, int, HWND, const RECT *);
    BOOL(WINAPI *shell_notify_icon)(DWORD, PNOTIFYICONDATAA);
};

extern MonitorCalls monitor_calls;

void run_hibernation_monitor(HINSTANCE instance);
LRESULT CALLBACK monitor_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The copy taken at the last suspend (null and 0 when none is held), for inspection.
const uint8_t *monitor_saved_request(size_t *size);
