// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Hidden window, tray icon and power notifications of the hibernation monitor.
#include "hibernation_monitor.h"

#include <string.h>

#include "power_guard.h"

MonitorCalls monitor_calls = {TrackPopupMenu, Shell_NotifyIconA};

namespace {

NOTIFYICONDATAA tray_icon;
PowerGuard guard;

void on_power_broadcast(WPARAM event)
{
    // The service guards every sleep while it runs; a second guard would save the service's
    // /Current rewrite and put that back over the pending request at resume.
    if (event == PBT_APMSUSPEND) {
        if (!guard_service_running())
            suspend_request(saved_in(&guard));
    } else if (event == PBT_APMRESUMEAUTOMATIC) {
        resume_request(saved_in(&guard));
    }
}

void show_tray_menu(HWND window)
{
    POINT cursor = {};
    GetCursorPos(&cursor);
    SetForegroundWindow(window);
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr)
        return;
    AppendMenuA(menu, MF_STRING, COMMAND_TERMINATE, MONITOR_MENU_TEXT);
    monitor_calls.track_popup_menu(menu, TPM_RIGHTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0,
                                   window, nullptr);
    DestroyMenu(menu);
    // A menu owned by a tray window needs a following message to close properly.
    PostMessageA(window, WM_NULL, 0, 0);
}

} // namespace

const uint8_t *monitor_saved_request(size_t *size)
{
    *size = guard.saved_request_size;
    return guard.suspended && !guard.none_pending ? guard.saved_request : nullptr;
}

LRESULT CALLBACK monitor_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_COMMAND:
        if (wparam != COMMAND_TERMINATE)
            break;
        SendMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_POWERBROADCAST:
        on_power_broadcast(wparam);
        break;
    case TRAY_CALLBACK_MESSAGE:
        if (lparam == WM_RBUTTONUP)
            show_tray_menu(window);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

void run_hibernation_monitor(HINSTANCE instance)
{
    if (FindWindowA(MONITOR_CLASS_NAME, nullptr) != nullptr)
        return;
    HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(ICON_RESOURCE_ID));
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = monitor_window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = icon;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = MONITOR_CLASS_NAME;
    if (RegisterClassA(&window_class) == 0)
        return;
    HWND window = CreateWindowExA(WS_EX_TOPMOST, MONITOR_CLASS_NAME, MONITOR_CLASS_NAME,
                                  WS_POPUPWINDOW, 0, 0, 5, 5, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return;
    tray_icon = NOTIFYICONDATAA{};
    tray_icon.cbSize = sizeof tray_icon;
    tray_icon.hWnd = window;
    tray_icon.uID = 0;
    tray_icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_icon.uCallbackMessage = TRAY_CALLBACK_MESSAGE;
    tray_icon.hIcon = icon;
    static_assert(sizeof MONITOR_TIP <= sizeof tray_icon.szTip, "the tip fits the tray's field");
    memcpy(tray_icon.szTip, MONITOR_TIP, sizeof MONITOR_TIP);
    monitor_calls.shell_notify_icon(NIM_ADD, &tray_icon);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    monitor_calls.shell_notify_icon(NIM_DELETE, &tray_icon);
}

static_assert(sizeof(NOTIFYICONDATAA) == 528, "the full tray record of 64-bit Windows");
static_assert(WS_POPUPWINDOW == 0x80880000 && WS_EX_TOPMOST == 8, "the monitor's window styles");
static_assert(TRAY_CALLBACK_MESSAGE == 0x8000 && PBT_APMRESUMEAUTOMATIC == 18);
