// The one pass of quiplexu from command text to exit code.
#pragma once

#include <windows.h>

// Message boxes and the monitor, replaceable so that tests capture boxes instead of blocking.
struct EntryCalls {
    int(WINAPI *message_box)(HWND, LPCSTR, LPCSTR, UINT);
    void (*run_monitor)(HINSTANCE);
};

extern EntryCalls entry_calls;

inline constexpr char MESSAGE_CAPTION[] = "Quiplex UEFI";
inline constexpr char USAGE_CAPTION[] = "Quiplex - Invalid Parameters";
inline constexpr char HIBERNATE_KEYWORD[] = "/HIBERNATE";
inline constexpr char MESSAGE_GUARD_SERVICE_RUNNING[] =
    "The Quiplex hibernation guard service is running; the monitor is not needed.";

int run_quiplexu(HINSTANCE instance, HINSTANCE previous_instance, const char *command_text);
