// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The Windows front end: the window-station check, quiplexu where nobody can see a box, and
// the command-line tail quiplexc reads.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "entry.h"
#include "fake_event_log.h"
#include "fake_firmware.h"
#include "front_end.h"
#include "messages.h"
#include "request_report.h"

namespace {

HWINSTA const STATION = reinterpret_cast<HWINSTA>(0x57a7);

struct StationAnswer {
    HWINSTA station;
    BOOL answered;
    DWORD flags;
} station_answer;

HANDLE asked_object;
int asked_index;
DWORD asked_length;

HWINSTA WINAPI fake_station()
{
    return station_answer.station;
}

BOOL WINAPI fake_information(HANDLE object, int index, PVOID information, DWORD length,
                             LPDWORD needed)
{
    asked_object = object;
    asked_index = index;
    asked_length = length;
    *needed = sizeof(USEROBJECTFLAGS);
    if (!station_answer.answered) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    static_cast<USEROBJECTFLAGS *>(information)->dwFlags = station_answer.flags;
    return TRUE;
}

unsigned boxes;
int WINAPI count_box(HWND, LPCSTR, LPCSTR, UINT)
{
    ++boxes;
    return IDOK;
}

unsigned monitors;
void count_monitor(HINSTANCE)
{
    ++monitors;
}

TEST(WindowStation, VisibleOnlyWhenWindowsSaysSo)
{
    const struct {
        StationAnswer answer;
        bool visible;
    } cases[] = {
        {{STATION, TRUE, WSF_VISIBLE}, true},
        {{STATION, TRUE, WSF_VISIBLE | 0x100}, true},
        {{STATION, TRUE, 0}, false},
        {{STATION, TRUE, 0x100}, false},
        {{STATION, FALSE, WSF_VISIBLE}, false}, // no answer: a box could wait for ever
        {{nullptr, TRUE, WSF_VISIBLE}, false},
    };
    entry_calls.get_process_window_station = fake_station;
    entry_calls.get_user_object_information = fake_information;
    for (const auto &c : cases) {
        station_answer = c.answer;
        asked_object = nullptr;
        EXPECT_EQ(window_station_visible(), c.visible) << c.answer.flags << c.answer.answered;
        if (c.answer.station != nullptr) {
            EXPECT_EQ(asked_object, STATION);
            EXPECT_EQ(asked_index, UOI_FLAGS);
            EXPECT_EQ(asked_length, sizeof(USEROBJECTFLAGS));
        }
    }
}

// A temporary file as the process's standard output or error, read back after the run.
struct RedirectedHandle {
    DWORD which;
    HANDLE previous;
    HANDLE file;

    RedirectedHandle(DWORD standard_handle, bool redirect)
        : which(standard_handle), previous(GetStdHandle(standard_handle)), file(nullptr)
    {
        if (redirect) {
            char folder[MAX_PATH], path[MAX_PATH];
            GetTempPathA(sizeof folder, folder);
            GetTempFileNameA(folder, "qpx", 0, path);
            file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        }
        SetStdHandle(which, file);
    }
    std::string text()
    {
        SetStdHandle(which, previous);
        if (file == nullptr)
            return "(none)";
        char buffer[4096] = {};
        DWORD read = 0;
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
        CloseHandle(file);
        return std::string(buffer, read);
    }
};

std::string with_crlf(const std::string &text)
{
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out + "\r\n";
}

const uint8_t PRESENT[4] = {1, 0, 0, 0};
const uint8_t ITEM_3[6] = {3, 0, 0, 0, 0, 0};
const char STATUS_ITEM_3[] = "Zarvex UEFI: found\nPending request: item 3\nRun file: none\n"
                             "Size: 6 bytes, attributes 0x00000007";
const std::string HELP = std::string(USAGE_TEXT_WINDOWS) + TOOL_OPTIONS_TEXT;
const std::string INVALID = "error C0000004: The command is not valid.\r\nCommand: ";
const std::string NOT_FOUND = "error C0000004: Zarvex UEFI was not found.\r\nCommand: ";
// The "firmware" member of --status=json where no firmware variable can be read.
const char NO_BOOT_LIST[] =
    ",\"firmware\":{\"boot_current\":null,\"boot_next\":null,\"boot_order\":null,\"next\":null,"
    "\"next_via\":null,\"boot_manager_entry\":null,\"boot_manager_next\":null,\"entries\":{},"
    "\"firmware_setup_supported\":null}";

// A reading run's failure kept for the event log holds 4,095 characters at most.
const std::string LONG_STATUS = "--status" + std::string(5000, ' ');
std::string kept_failure(const char *message, const std::string &command, int status)
{
    char text[4096];
    format_failure_text(message, command.c_str(), text, sizeof text);
    std::string event = "error C0000004: ";
    for (const char *at = text; *at != '\0'; at++)
        event += *at == '\n' ? std::string("\r\n") : std::string(1, *at);
    return event + " | " + std::to_string(status);
}

struct UnseenCase {
    const char *command;
    bool visible;
    bool manager;
    bool pending;
    DWORD error;       // every firmware call fails with it
    DWORD write_error; // writes fail with it
    bool out, err;     // redirected
    int status;
    std::string out_text, err_text; // without the line breaks' "\r"
    std::vector<std::string> events;
    unsigned boxes = 0, monitors = 0;
};

const UnseenCase UNSEEN_CASES[] = {
    // clang-format off
    {"3/noreboot", false, true, false, 0, ERROR_PRIVILEGE_NOT_HELD, true, true, 75,
     "Unable to configure system! (522h)", "",
     {"error C0000004: Unable to configure system!\r\nCommand: \"3/noreboot\" | 75"}},
    {"3/noreboot", false, true, false, 0, 0, true, true, 0, "", "",
     {"information 40000001: Pending request: item 3\r\nRun file: none\r\nSize: 6 bytes, "
      "attributes 0x00000007\r\nThen: no restart (/noreboot) | 0"}},
    {"", false, true, false, 0, 0, true, true, 61, USAGE_TEXT_WINDOWS, "", {INVALID + "\"\" | 61"}},
    {"/?", false, true, false, 0, 0, true, true, 61, HELP, "", {}},
    {"--status", false, true, true, 0, 0, true, true, 0, STATUS_ITEM_3, "", {}},
    {"--cancel", false, true, true, 0, 0, true, true, 0, "The pending request was cancelled.", "",
     {"information 40000002: The pending request was cancelled. | 0"}},
    {"/hibernate", false, true, false, 0, 0, true, true, 88, MESSAGE_MONITOR_NEEDS_DESKTOP, "",
     {std::string("error C0000004: ") + MESSAGE_MONITOR_NEEDS_DESKTOP +
      "\r\nCommand: \"/hibernate\" | 88"}},
    // The pass records this failure itself: once, not twice.
    {"/hibernate", false, false, false, 0, 0, true, true, 8, MESSAGE_NOT_FOUND, "",
     {NOT_FOUND + "\"/hibernate\" | 8"}},
    // A reading run's failure: an event only where nobody saw it.
    {"--status", false, true, false, ERROR_INVALID_FUNCTION, 0, true, true, 76, MESSAGE_NOT_FOUND,
     "", {NOT_FOUND + "\"--status\" | 76"}},
    {LONG_STATUS.c_str(), false, true, false, ERROR_INVALID_FUNCTION, 0, true, true, 76,
     MESSAGE_NOT_FOUND, "", {kept_failure(MESSAGE_NOT_FOUND, LONG_STATUS, 76)}},
    {"--status=json", false, true, false, ERROR_INVALID_FUNCTION, 0, true, true, 76,
     "{\"status\":76,\"boot_manager\":null,\"request\":null" + std::string(NO_BOOT_LIST) + "}",
     "", {}},
    {"1/noreboot", false, false, false, 0, 0, false, true, 8, "(none)", MESSAGE_NOT_FOUND,
     {NOT_FOUND + "\"1/noreboot\" | 8"}},
    {"--version", false, false, false, 0, 0, false, false, 0, "(none)", "(none)", {}},
    // On a desktop: boxes as ever, the changes and failed changes recorded all the same.
    {"--status", true, true, false, ERROR_INVALID_FUNCTION, 0, true, true, 76, "", "", {}, 1},
    {"3/noreboot", true, true, false, 0, ERROR_PRIVILEGE_NOT_HELD, true, true, 75, "", "",
     {"error C0000004: Unable to configure system!\r\nCommand: \"3/noreboot\" | 75"}, 1},
    {"/hibernate", true, true, false, 0, 0, true, true, 0, "", "", {}, 0, 1},
    // clang-format on
};

TEST(Unseen, NoBoxTextsToTheRedirectedOutputFailuresInTheEventLog)
{
    entry_calls.message_box = count_box;
    entry_calls.run_monitor = count_monitor;
    entry_calls.get_process_window_station = fake_station;
    entry_calls.get_user_object_information = fake_information;
    for (const UnseenCase &c : UNSEEN_CASES) {
        SCOPED_TRACE(std::string(c.command) + (c.visible ? " visible" : " unseen"));
        station_answer = {STATION, TRUE, c.visible ? static_cast<DWORD>(WSF_VISIBLE) : 0};
        install_fakes(true, false, true, false);
        install_event_fakes();
        if (c.manager)
            fake_set_variable("ZarvexUEFI", PRESENT, sizeof PRESENT);
        if (c.pending)
            fake_set_variable("Quiplex", ITEM_3, sizeof ITEM_3);
        fake.forced_error = c.error;
        fake.write_error = c.write_error;
        boxes = monitors = 0;
        RedirectedHandle out(STD_OUTPUT_HANDLE, c.out), err(STD_ERROR_HANDLE, c.err);
        const int status = run_quiplexu(GetModuleHandleA(nullptr), nullptr, c.command);
        const std::string out_text = out.text(), err_text = err.text();
        EXPECT_EQ(status, c.status);
        for (const auto &[got, wanted] : {std::pair{out_text, c.out_text}, {err_text, c.err_text}})
            EXPECT_EQ(got, wanted.empty() || wanted == "(none)" ? wanted : with_crlf(wanted));
        EXPECT_EQ(captured.events, c.events);
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(monitors, c.monitors);
        EXPECT_EQ(fake.shutdown_calls, 0u);
    }
    entry_calls.get_process_window_station = GetProcessWindowStation;
    entry_calls.get_user_object_information = GetUserObjectInformationA;
}

TEST(CommandLine, TheTailWinMainGets)
{
    const struct {
        const char *command_line;
        const char *tail;
    } cases[] = {
        {"quiplexc.exe 3/noreboot", "3/noreboot"},
        {"\"C:\\Program Files\\Quiplex\\quiplexc.exe\"  --status", "--status"},
        {"\"C:\\Program Files\\Quiplex\\quiplexc.exe\"", ""},
        {"quiplexc", ""},
        {"quiplexc\t \t/next", "/next"},
        {"C:\\My\"Dir 1\"\\quiplexc.exe 2", "2"},
        {"quiplexc  My Item/noreboot ", "My Item/noreboot "},
        {"quiplexc \"My Item\"", "\"My Item\""},
        {"\"unclosed quote 3", ""},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(command_line_tail(c.command_line), c.tail) << c.command_line;
}

} // namespace
