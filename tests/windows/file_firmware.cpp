// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Test builds of quiplexc and quiplexu over firmware variables kept as files, and a fake restart.
//
// QUIPLEX_FAKE_FIRMWARE names a folder: each variable is a file of its name holding its bytes
// (attributes 7); one of the firmware's global variables (BootOrder, Boot0003...) is named as
// efivarfs names it, "BootOrder-8be4df61-93ca-11d2-aa0d-00e098032b8c". A file "error" holding a
// Windows error code makes every firmware call fail with it, "write_error" only the writes. Each
// restart the program asks for appends a line to "restarts". Without the variable the program ends
// at once with 99, before anything is read.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "boot_list.h"
#include "firmware_store.h"
#include "restart.h"
#include "variable_store.h"

namespace {

constexpr int MISSING_FOLDER_STATUS = 99;
char folder[MAX_PATH];

const char *path_of(const char *name)
{
    static char path[MAX_PATH + 64];
    snprintf(path, sizeof path, "%s\\%s", folder, name);
    return path;
}

// The bytes of a file, or -1 when there is none.
long read_file(const char *name, void *buffer, DWORD capacity)
{
    HANDLE file = CreateFileA(path_of(name), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    DWORD size = 0;
    const BOOL read = ReadFile(file, buffer, capacity, &size, nullptr);
    CloseHandle(file);
    return read ? static_cast<long>(size) : -1;
}

// The Windows error a file "error" or "write_error" asks for, or 0.
DWORD error_from(const char *name)
{
    char text[16] = {};
    return read_file(name, text, sizeof text - 1) > 0 ? strtoul(text, nullptr, 10) : 0;
}

// Only the vendor and the global GUID are ever meant; anything else is a fault to see at once.
// Gives the file name of the variable.
const char *file_name(LPCSTR name, LPCSTR guid)
{
    static char global_name[128];
    if (strcmp(guid, VENDOR_GUID_TEXT) == 0)
        return name;
    if (strcmp(guid, GLOBAL_GUID_TEXT) != 0) {
        fprintf(stderr, "file firmware: unexpected GUID %s\n", guid);
        ExitProcess(98);
    }
    // The text without its braces, as efivarfs names the file.
    snprintf(global_name, sizeof global_name, "%s-%.36s", name, guid + 1);
    return global_name;
}

DWORD WINAPI read_ex(LPCSTR variable, LPCSTR guid, PVOID buffer, DWORD capacity, PDWORD attributes)
{
    const char *name = file_name(variable, guid);
    if (const DWORD error = error_from("error")) {
        SetLastError(error);
        return 0;
    }
    uint8_t value[4096];
    const long size = read_file(name, value, sizeof value);
    if (size < 0) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    if (capacity < static_cast<DWORD>(size)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, value, size);
    if (attributes != nullptr)
        *attributes = 7;
    return static_cast<DWORD>(size);
}

BOOL WINAPI write_ex(LPCSTR variable, LPCSTR guid, PVOID data, DWORD size, DWORD)
{
    const char *name = file_name(variable, guid);
    DWORD error = error_from("error");
    if (error == 0)
        error = error_from("write_error");
    if (error == 0 && size == 0 && !DeleteFileA(path_of(name)))
        error = ERROR_ENVVAR_NOT_FOUND;
    if (error == 0 && size != 0) {
        HANDLE file =
            CreateFileA(path_of(name), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (file == INVALID_HANDLE_VALUE || !WriteFile(file, data, size, &written, nullptr))
            error = ERROR_GEN_FAILURE;
        CloseHandle(file);
    }
    SetLastError(error);
    return error == 0;
}

void note_restart(const char *line)
{
    HANDLE file =
        CreateFileA(path_of("restarts"), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    CloseHandle(file);
}

BOOL WINAPI shutdown_ex(LPSTR, LPSTR, DWORD, BOOL force, BOOL reboot, DWORD)
{
    note_restart(force ? (reboot ? "restart force\n" : "shutdown force\n")
                       : (reboot ? "restart\n" : "shutdown\n"));
    return TRUE;
}

BOOL WINAPI exit_windows(UINT, DWORD)
{
    note_restart("ExitWindowsEx\n");
    return TRUE;
}

VOID WINAPI no_sleep(DWORD) {}

// Runs after the store's own start-up lookup (priority 101), so these replace what it found.
__attribute__((constructor)) void install_file_firmware()
{
    const DWORD length = GetEnvironmentVariableA("QUIPLEX_FAKE_FIRMWARE", folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) {
        fprintf(stderr, "file firmware: QUIPLEX_FAKE_FIRMWARE names no folder\n");
        ExitProcess(MISSING_FOLDER_STATUS);
    }
    optional_functions = OptionalFunctions{
        .get_firmware_variable_ex = read_ex,
        .get_firmware_variable = nullptr,
        .set_firmware_variable_ex = write_ex,
        .set_firmware_variable = nullptr,
        .initiate_shutdown_ex = shutdown_ex,
        .initiate_shutdown = nullptr,
    };
    restart_calls = RestartCalls{no_sleep, exit_windows};
}

} // namespace
