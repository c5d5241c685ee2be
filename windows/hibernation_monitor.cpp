// Hidden window, tray icon and power notifications of the hibernation monitor.
#include "hibernation_monitor.h"

#include <stdlib.h>
#include <string.h>

#include "variable_store.h"

MonitorCalls monitor_calls = {TrackPopupMenu, Shell_NotifyIconA};

namespace {

NOTIFYICONDATAA tray_icon;
uint8_t *saved_request;
size_t saved_request_size;

// Reads "Quiplex" into a heap buffer grown in 64-byte steps up to 256; null when not copied.
uint8_t *copy_pending_request(size_t *copied)
{
    for (size_t capacity = SAVED_REQUEST_STEP; capacity <= SAVED_REQUEST_LIMIT;
         capacity += SAVED_REQUEST_STEP) {
        uint8_t *buffer = static_cast<uint8_t *>(malloc(capacity));
        if (buffer == nullptr)
            return nullptr;
        size_t size = capacity;
        const StatusCode status =
            read_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, buffer, &size, nullptr);
        if (status == STATUS_SUCCESS) {
            *copied = size;
            return buffer;
        }
        free(buffer);
        if (status != STATUS_BUFFER_TOO_SMALL)
            return nullptr;
    }
    return nullptr;
}

void on_suspend()
{
    // A second suspend keeps the first copy: reading now would see our own 0xFFFB rewrite.
    if (saved_request == nullptr)
        saved_request = copy_pending_request(&saved_request_size);
    if (saved_request != nullptr) {
        uint8_t code[PAYLOAD_CODE_SIZE];
        memcpy(code, saved_request, sizeof code);
        store_u32_le(saved_request, SELECTION_CURRENT);
        write_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, saved_request, saved_request_size,
                       REQUEST_ATTRIBUTES);
        memcpy(saved_request, code, sizeof code);
    } else {
        uint8_t code[PAYLOAD_CODE_SIZE];
        store_u32_le(code, SELECTION_CURRENT);
        write_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, code, sizeof code,
                       REQUEST_ATTRIBUTES);
    }
}

void on_resume()
{
    write_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, saved_request, saved_request_size,
                   REQUEST_ATTRIBUTES);
    free(saved_request);
    saved_request = nullptr;
    saved_request_size = 0;
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
    *size = saved_request_size;
    return saved_request;
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
        if (wparam == PBT_APMSUSPEND)
            on_suspend();
        else if (wparam == PBT_APMRESUMEAUTOMATIC)
            on_resume();
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
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
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
    strcpy(tray_icon.szTip, MONITOR_TIP);
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
