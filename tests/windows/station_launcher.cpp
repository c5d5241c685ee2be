// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Starts a program in a new window station without WSF_VISIBLE, as a service or a scheduled
// task would, with its standard output and error in files, and waits for it with a time limit.
// Usage: station_launcher TIMEOUT_MS STDOUT STDERR COMMAND_LINE (a file of "-": no handle)
// Exit: the program's status; 124 when it was ended after the time limit (a box nobody can
// see never returns); 125 when the station could not be made or was visible.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

namespace {

constexpr char STATION[] = "QuiplexUnseen";
constexpr int TIMED_OUT = 124;
constexpr int NO_STATION = 125;

HANDLE output_file(const char *path)
{
    if (strcmp(path, "-") == 0)
        return nullptr;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: station_launcher TIMEOUT_MS STDOUT STDERR COMMAND_LINE\n");
        return 2;
    }
    HWINSTA interactive = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationA(STATION, 0, WINSTA_ALL_ACCESS, nullptr);
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    if (station == nullptr ||
        !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed) ||
        (flags.dwFlags & WSF_VISIBLE) != 0) {
        fprintf(stderr, "station_launcher: no station without WSF_VISIBLE (%lu)\n", GetLastError());
        return NO_STATION;
    }
    // A desktop is made in the station the process is in.
    SetProcessWindowStation(station);
    HDESK desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(interactive);
    if (desktop == nullptr) {
        fprintf(stderr, "station_launcher: no desktop (%lu)\n", GetLastError());
        return NO_STATION;
    }
    char desktop_name[64];
    snprintf(desktop_name, sizeof desktop_name, "%s\\Default", STATION);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.lpDesktop = desktop_name;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = output_file(argv[2]);
    start.hStdError = output_file(argv[3]);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, argv[4], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &process)) {
        fprintf(stderr, "station_launcher: cannot start %s (%lu)\n", argv[4], GetLastError());
        return 2;
    }
    if (WaitForSingleObject(process.hProcess, strtoul(argv[1], nullptr, 10)) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, TIMED_OUT);
        fprintf(stderr, "station_launcher: timed out\n");
        return TIMED_OUT;
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    return static_cast<int>(status);
}
