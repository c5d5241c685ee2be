// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// record_event through the event-log seam, and the message table as Event Viewer reads it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "event_log.h"
#include "event_messages.h"
#include "fake_event_log.h"

namespace {

const char WRITTEN[] = "Pending request: item 3\nRun file: none\n"
                       "Size: 6 bytes, attributes 0x00000007\nThen: restart";
const char WRITTEN_CRLF[] = "Pending request: item 3\r\nRun file: none\r\n"
                            "Size: 6 bytes, attributes 0x00000007\r\nThen: restart";

struct EventCase {
    AuditKind kind;
    const char *text;
    StatusCode status;
    WORD type;
    DWORD event_id;
    const char *inserted; // the first insertion string
    const char *shown;    // the message Event Viewer makes of it
};

const EventCase EVENT_CASES[] = {
    {AUDIT_WRITTEN, WRITTEN, 0, EVENTLOG_INFORMATION_TYPE, 0x40000001, WRITTEN_CRLF,
     "A boot request for the next start was written.\r\n\r\nPending request: item 3\r\n"
     "Run file: none\r\nSize: 6 bytes, attributes 0x00000007\r\nThen: restart"},
    {AUDIT_CANCELLED, "The pending request was cancelled.", 0, EVENTLOG_INFORMATION_TYPE,
     0x40000002, "The pending request was cancelled.",
     "The pending boot request was deleted.\r\n\r\nThe pending request was cancelled."},
    {AUDIT_SLEEP_GUARD, "Pending request: /Current", 0, EVENTLOG_INFORMATION_TYPE, 0x40000003,
     "Pending request: /Current",
     "The sleep guard changed the pending boot request.\r\n\r\nPending request: /Current"},
    {AUDIT_FAILED, "Zarvex UEFI was not found.\nCommand: 3/noreboot", 8, EVENTLOG_ERROR_TYPE,
     0xC0000004, "Zarvex UEFI was not found.\r\nCommand: 3/noreboot",
     "Zarvex UEFI was not found.\r\nCommand: 3/noreboot\r\n\r\nExit status: 8"},
    {AUDIT_FAILED, "Unable to configure system! (522h)", 75, EVENTLOG_ERROR_TYPE, 0xC0000004,
     "Unable to configure system! (522h)",
     "Unable to configure system! (522h)\r\n\r\nExit status: 75"},
};

TEST(EventLog, OneEventPerRecordWithItsTypeTextAndStatus)
{
    for (const EventCase &c : EVENT_CASES) {
        SCOPED_TRACE(c.text);
        install_event_fakes();
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        record_event(c.kind, c.text, c.status);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
        const std::vector<std::string> calls = {"register Quiplex UEFI", "report", "deregister"};
        EXPECT_EQ(captured.calls, calls);
        EXPECT_EQ(captured.reported_to, FAKE_EVENT_SOURCE);
        EXPECT_EQ(captured.deregistered, FAKE_EVENT_SOURCE);
        EXPECT_EQ(captured.type, c.type);
        EXPECT_EQ(captured.category, 0);
        EXPECT_EQ(captured.event_id, c.event_id);
        EXPECT_TRUE(captured.user_valid);
        EXPECT_EQ(captured.data_size, 0u);
        const std::vector<std::string> strings = {c.inserted, std::to_string(c.status)};
        EXPECT_EQ(captured.strings, strings);
    }
}

TEST(EventLog, AFailingLogChangesNothingForTheCaller)
{
    for (bool refuse_register : {true, false}) {
        install_event_fakes();
        captured.refuse_register = refuse_register;
        captured.refuse_report = !refuse_register;
        SetLastError(ERROR_INVALID_FUNCTION);
        record_event(AUDIT_FAILED, "Unable to configure system! (1h)", 76);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
        // A handle that was opened is closed again, also when the report failed.
        const std::vector<std::string> calls =
            refuse_register
                ? std::vector<std::string>{"register Quiplex UEFI"}
                : std::vector<std::string>{"register Quiplex UEFI", "report", "deregister"};
        EXPECT_EQ(captured.calls, calls);
    }
}

TEST(EventLog, ALongTextIsCutWithoutHalfALineBreak)
{
    // The text fills the 8,191 characters before the NUL as far as each character fits whole:
    // a "\r\n" that would not fit is left out with all that follows.
    auto repeated = [](const std::string &part, size_t times) {
        std::string text;
        while (times-- > 0)
            text += part;
        return text;
    };
    const struct {
        std::string text, sent;
    } rows[] = {
        {std::string(9000, 'x'), std::string(8191, 'x')},
        {repeated("x\n", 3000), repeated("x\r\n", 2730) + "x"},
        {"y" + std::string(5000, '\n'), "y" + repeated("\r\n", 4095)},
        {std::string(5000, '\n'), repeated("\r\n", 4095)},
    };
    static_assert(EVENT_TEXT_CAPACITY == 8192);
    for (const auto &row : rows) {
        install_event_fakes();
        record_event(AUDIT_WRITTEN, row.text.c_str(), 0);
        ASSERT_EQ(captured.strings.size(), 2u);
        EXPECT_EQ(captured.strings[0].size(), row.sent.size());
        EXPECT_TRUE(captured.strings[0] == row.sent);
    }
}

// Event Viewer loads the registered EventMessageFile as data and formats the event's ID with
// its strings; this does the same with each program that carries the table.
TEST(EventLog, TheProgramsMessageTablesGiveEachEventsText)
{
    const char *files = getenv("QUIPLEX_MESSAGE_FILES");
    ASSERT_NE(files, nullptr) << "QUIPLEX_MESSAGE_FILES names the programs (ctest sets it)";
    std::string list = files;
    unsigned programs = 0;
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string path = list.substr(start, end - start);
        start = end + 1;
        SCOPED_TRACE(path);
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << GetLastError();
        ++programs;
        for (const EventCase &c : EVENT_CASES) {
            const std::string status = std::to_string(c.status);
            const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(c.inserted),
                                           reinterpret_cast<DWORD_PTR>(status.c_str())};
            char shown[512] = {};
            ASSERT_NE(
                FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module,
                               c.event_id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), shown,
                               sizeof shown,
                               reinterpret_cast<va_list *>(const_cast<DWORD_PTR *>(arguments))),
                0u)
                << c.event_id << " error " << GetLastError();
            // The table's lines end the message with a line break of their own.
            std::string text = shown;
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            EXPECT_EQ(text, c.shown);
        }
        FreeLibrary(module);
    }
    EXPECT_GE(programs, 1u);
}

static_assert(EVENT_REQUEST_WRITTEN == 0x40000001 && EVENT_RUN_FAILED == 0xC0000004,
              "the IDs scripts filter on (1 to 4) with their severity bits");

} // namespace
