// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The one pass and the tool options over the named fake store and a recording front end.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "boot_request.h"
#include "fake_store.h"
#include "messages.h"
#include "recording_front_end.h"
#include "sleep_guard.h"

namespace {

typedef std::vector<uint8_t> Bytes;

const Bytes ITEM_2 = {2, 0, 0, 0, 0, 0};
const char HINT_92[] =
    "Is efivarfs is mounted?\ne.g. mount -t efivarfs none /sys/firmware/efi/efivars";

struct PassCase {
    const char *command;
    bool boot_manager;
    Bytes pending;          // "Quiplex" before the run; empty: absent
    StatusCode read_status; // what every read answers when not 0
    int exit_status;
    int usages;
    bool options_block;
    std::vector<std::string> messages;
    std::vector<StatusCode> not_found;
    std::vector<bool> restarts;
    Bytes after; // "Quiplex" after the run; empty: absent
};

// clang-format off
const PassCase PASS_CASES[] = {
    {"3", true, {}, 0, 0, 0, false, {}, {}, {false}, {3, 0, 0, 0, 0, 0}},
    {"3/force", true, {}, 0, 0, 0, false, {}, {}, {true}, {3, 0, 0, 0, 0, 0}},
    {"3/noreboot", true, ITEM_2, 0, 0, 0, false, {}, {}, {}, {3, 0, 0, 0, 0, 0}},
    {"1", false, {}, 0, 8, 0, false, {}, {8}, {}, {}},
    {"--version", true, ITEM_2, 0, 0, 0, false, {"info: quiplextest 1.03"}, {}, {}, ITEM_2},
    {"  --VERSION /noreboot", false, {}, 0, 0, 0, false, {"info: quiplextest 1.03"}, {}, {}, {}},
    // Typed switches that are no tool option, or stand beside a selection, never write.
    {"-V", true, ITEM_2, 0, 61, 1, false, {}, {}, {}, ITEM_2},
    {"-n", true, {}, 0, 61, 1, false, {}, {}, {}, {}},
    {"2 -n", true, {}, 0, 61, 1, false, {}, {}, {}, {}},
    {"2 --noreboot", true, {}, 0, 61, 1, false, {}, {}, {}, {}},
    {"--status 2", true, {}, 0, 61, 1, false, {}, {}, {}, {}},
    {"--help", true, {}, 0, 61, 1, true, {}, {}, {}, {}},
    {"--suspend", true, ITEM_2, 0, 61, 1, false, {}, {}, {}, ITEM_2},
    // A "-" alone or inside a word stays part of the name.
    {"Windows - Recovery/noreboot", true, {}, 0, 0, 0, false, {}, {}, {},
     {0xFF, 0xFF, 0, 0, 'W', 'i', 'n', 'd', 'o', 'w', 's', ' ', '-', ' ', 'R', 'e', 'c', 'o', 'v',
      'e', 'r', 'y', 0, 0}},
    {"Item-2/noreboot", true, {}, 0, 0, 0, false, {}, {}, {},
     {0xFF, 0xFF, 0, 0, 'I', 't', 'e', 'm', '-', '2', 0, 0}},
    {"--cancel", true, ITEM_2, 0, 0, 0, false, {"info: The pending request was cancelled."}, {}, {},
     {}},
    {"--Cancel", false, {}, 0, 0, 0, false, {"info: No request was pending."}, {}, {}, {}},
    {"--cancel", true, ITEM_2, 92, 92, 0, false,
     {std::string("failure: Unable to cancel the pending request.\n") + HINT_92}, {}, {}, ITEM_2},
    {"--status", true, ITEM_2, 0, 0, 0, false,
     {"info: Zarvex UEFI: found\nPending request: item 2\nRun file: none\n"
      "Size: 6 bytes, attributes 0x00000007"},
     {}, {}, ITEM_2},
    {"--status", false, {}, 0, 0, 0, false, {"info: Zarvex UEFI: not found\nPending request: none"},
     {}, {}, {}},
    {"--status", true, {0xFB, 0xFF}, 0, 94, 0, false,
     {"failure: Zarvex UEFI: found\nPending request: corrupt (2 bytes, shorter than its 4-byte "
      "code)"},
     {}, {}, {0xFB, 0xFF}},
    {"--status", true, ITEM_2, 76, 76, 0, false, {}, {76}, {}, ITEM_2},
    {"--status=json", true, {0xFF, 0xFF, 0, 0, '&', 'W', 0, 'a', '"', '\\', 0x1B, 0}, 0, 0, 0, false,
     {"data: {\"status\":0,\"boot_manager\":true,\"request\":{\"code\":65535,\"kind\":\"hot_key\","
      "\"keyword\":null,\"selection\":\"&W\",\"run_file\":\"a\\\"\\\\\\u001B\",\"attributes\":7,"
      "\"size\":12}" + std::string(FIRMWARE_UNKNOWN_JSON) + "}"},
     {}, {}, {0xFF, 0xFF, 0, 0, '&', 'W', 0, 'a', '"', '\\', 0x1B, 0}},
    {"--status=JSON", false, {}, 92, 92, 0, false,
     {"data: {\"status\":92,\"boot_manager\":null,\"request\":null" +
      std::string(FIRMWARE_UNKNOWN_JSON) + "}"},
     {}, {}, {}},
};
// clang-format on

class Pass : public testing::TestWithParam<PassCase> {};

TEST_P(Pass, DecidesAndReports)
{
    const PassCase &c = GetParam();
    reset_fake_store();
    use_named_variables();
    if (c.boot_manager)
        set_fake_variable("ZarvexUEFI", reinterpret_cast<const uint8_t *>("Zv\1\0"), 4);
    if (!c.pending.empty())
        set_fake_variable("Quiplex", c.pending.data(), c.pending.size());
    // A store that cannot be read (efivarfs not mounted, say) cannot be written either.
    fake_store.read_status = fake_store.write_status = c.read_status;

    EXPECT_EQ(run_recorded_pass(c.command), c.exit_status);
    EXPECT_EQ(recorded.usages, c.usages);
    EXPECT_EQ(recorded.options_block, c.options_block ? TOOL_OPTIONS_TEXT : "");
    EXPECT_EQ(recorded.messages, c.messages);
    EXPECT_EQ(recorded.not_found, c.not_found);
    EXPECT_EQ(recorded.restarts, c.restarts);
    EXPECT_TRUE(recorded.write_failures.empty());
    if (c.usages > 0) {
        EXPECT_EQ(fake_store.reads + fake_store.writes, 0) << "an invalid command touches nothing";
    }
    const FakeVariable *request = fake_variable("Quiplex");
    EXPECT_EQ(request->present ? Bytes(request->data, request->data + request->size) : Bytes(),
              c.after);
}

INSTANTIATE_TEST_SUITE_P(Commands, Pass, testing::ValuesIn(PASS_CASES));

TEST(Pass, FailedWriteIsReportedAndNeverRestarts)
{
    reset_fake_store();
    use_named_variables();
    set_fake_variable("ZarvexUEFI", reinterpret_cast<const uint8_t *>("Zv\1\0"), 4);
    fake_store.write_status = STATUS_WRITE_FAILED;
    EXPECT_EQ(run_recorded_pass("/next"), 77);
    EXPECT_EQ(recorded.write_failures, std::vector<StatusCode>{77});
    EXPECT_TRUE(recorded.restarts.empty());
}

TEST(Pass, TakeOverStopsBeforeTheSelectionIsResolvedAndWritten)
{
    reset_fake_store();
    use_named_variables();
    set_fake_variable("ZarvexUEFI", reinterpret_cast<const uint8_t *>("Zv\1\0"), 4);
    static std::string seen;
    EXPECT_EQ(run_recorded_pass("/current", nullptr,
                                [](const BootRequest *request) {
                                    seen = request->selection_text;
                                    return true;
                                }),
              0);
    EXPECT_EQ(seen, "/current");
    EXPECT_EQ(fake_store.writes, 0);
    EXPECT_TRUE(recorded.restarts.empty());
}

// quiplexc leaves /hibernate to quiplexu: there it is an invalid command, dry run included,
// never a name to write; a longer selection or another keyword is untouched.
TEST(Pass, ARefusedKeywordIsAnInvalidCommand)
{
    const std::string invalid = "failed 61: The command is not valid.\nCommand: ";
    const struct {
        const char *command;
        int status;
        int usages;
        std::vector<std::string> messages;
        int writes;
        std::vector<std::string> records;
    } cases[] = {
        {"/hibernate", 61, 1, {}, 0, {invalid + "\"/hibernate\""}},
        {" /HIBERNATE/noreboot", 61, 1, {}, 0, {invalid + "\" /HIBERNATE/noreboot\""}},
        {"--dry-run /hibernate", 61, 1, {}, 0, {}},
        {"--dry-run=json /Hibernate", 61, 0, {"data: {\"status\":61,\"request\":null}"}, 0, {}},
        {"/hibernate x/noreboot", 0, 0, {}, 1, {}},
        {"/next/noreboot", 0, 0, {}, 1, {}},
        {"--version", 0, 0, {"info: quiplextest 1.03"}, 0, {}},
    };
    recorded_refused_keyword = "/HIBERNATE";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        reset_fake_store();
        use_named_variables();
        set_fake_variable("ZarvexUEFI", reinterpret_cast<const uint8_t *>("Zv\1\0"), 4);
        EXPECT_EQ(run_recorded_pass(c.command), c.status);
        EXPECT_EQ(recorded.usages, c.usages);
        EXPECT_EQ(recorded.messages, c.messages);
        EXPECT_EQ(fake_store.writes, c.writes);
        if (c.status != 0) {
            EXPECT_EQ(fake_store.reads, 0) << "refused before anything is read";
        }
        std::vector<std::string> records;
        for (const std::string &record : recorded.records)
            if (record.rfind("failed", 0) == 0)
                records.push_back(record);
        EXPECT_EQ(records, c.records);
    }
    recorded_refused_keyword = nullptr;
}

TEST(Pass, MessagesAreCutTo255Characters)
{
    reset_fake_store();
    use_named_variables();
    const std::string long_name(300, 'q');
    recorded_program_name = long_name.c_str();
    EXPECT_EQ(run_recorded_pass("--version"), 0);
    recorded_program_name = "quiplextest";
    EXPECT_EQ(recorded.messages, std::vector<std::string>{"info: " + std::string(255, 'q')});
}

// What --dry-run=json describes must be what the same command then leaves for --status=json to
// read back: the same request object, and the restart that really follows.
TEST(DryRun, DescribesExactlyWhatTheCommandWrites)
{
    const std::string long_name(250, 'n');
    const std::string blanks(240, ' ');
    const std::string commands[] = {
        "3", "3/force", "/current/noreboot", "/NEXT", "/Shutdown/run=x.efi", "/none", "&W",
        "&\xC3\xA9", "My Item/run=Tools\\App.efi/NoReboot", "65535", "65531", "2abc", "2 /xyz",
        "  padded  /FORCE", "say \"hi\" \x1B\\", std::string(60, 'a') + "/noreboot",
        "1/run=" + std::string(70, 'r'),
        // Cut after 255 characters of the command, the word in front not counted.
        long_name + "/noreboot", "2" + blanks + "/noreboot",
        // No boot request: nothing to describe.
        "", "/noreboot", "0", "--status", "--help", "/?", "2 -n", "--dry-run 2"};
    for (const std::string &command : commands) {
        SCOPED_TRACE(command);
        reset_fake_store();
        use_named_variables();
        set_fake_variable("ZarvexUEFI", reinterpret_cast<const uint8_t *>("Zv\1\0"), 4);
        const int dry_status = run_recorded_pass(("--dry-run=json " + command).c_str());
        ASSERT_EQ(recorded.messages.size(), 1u);
        const std::string dry = recorded.messages[0];
        EXPECT_EQ(fake_store.reads + fake_store.writes, 0) << "a dry run touches nothing";
        EXPECT_EQ(recorded.usages, 0);

        const int status = run_recorded_pass(command.c_str());
        const std::vector<bool> restarts = recorded.restarts;
        if (status != 0 || fake_store.writes == 0) {
            EXPECT_EQ(dry_status, 61);
            EXPECT_EQ(dry, "data: {\"status\":61,\"request\":null}");
            continue;
        }
        EXPECT_EQ(dry_status, 0);
        ASSERT_EQ(run_recorded_pass("--status=json"), 0);
        const std::string stored = recorded.messages.at(0);
        const std::string prefix = "data: {\"status\":0,\"boot_manager\":true,\"request\":";
        ASSERT_EQ(stored.rfind(prefix, 0), 0u) << stored;
        const std::string firmware = std::string(FIRMWARE_UNKNOWN_JSON) + "}";
        ASSERT_GT(stored.size(), prefix.size() + firmware.size());
        EXPECT_EQ(stored.substr(stored.size() - firmware.size()), firmware);
        const std::string request =
            stored.substr(prefix.size(), stored.size() - prefix.size() - firmware.size());
        const std::string then = restarts.empty() ? "false,\"force\":false"
                                 : restarts[0]    ? "true,\"force\":true"
                                                  : "true,\"force\":false";
        EXPECT_EQ(dry, "data: {\"status\":0,\"request\":" + request + ",\"restart\":" + then + "}");
    }
}

TEST(DryRun, TextAndTheWindowsMonitor)
{
    const char REQUEST_2[] = "info: Would write: item 2\nRun file: none\n"
                             "Size: 6 bytes, attributes 0x00000007\nThen: ";
    const struct {
        const char *command;
        bool windows;
        int status;
        int usages;
        std::vector<std::string> messages;
    } cases[] = {
        {"--dry-run 2/force", false, 0, 0, {std::string(REQUEST_2) + "restart"}},
        {"--DRY-RUN 2/force",
         true,
         0,
         0,
         {std::string(REQUEST_2) + "restart, closing applications without waiting (/force)"}},
        {"--dry-run 2/noreboot/force",
         true,
         0,
         0,
         {std::string(REQUEST_2) + "no restart (/noreboot)"}},
        {"--dry-run /hibernate",
         true,
         0,
         0,
         {"info: Would start the hibernation monitor; nothing would be written."}},
        {"--dry-run=json /Hibernate",
         true,
         0,
         0,
         {"data: {\"status\":0,\"request\":null,\"monitor\":true}"}},
        {"--dry-run=json /hibernate/noreboot",
         false,
         0,
         0,
         {"data: {\"status\":0,\"request\":{\"code\":65535,\"kind\":\"name\",\"keyword\":null,"
          "\"selection\":\"/hibernate\",\"run_file\":\"\",\"attributes\":7,\"size\":16},"
          "\"restart\":false,\"force\":false}"}},
        // Help, an option or nothing after the word is an invalid command: the usage alone.
        {"--dry-run --help", false, 61, 1, {}},
        {"--dry-run", false, 61, 1, {}},
        {"--dry-run=jsonx 2", false, 61, 1, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        reset_fake_store();
        static bool took_over;
        took_over = false;
        EXPECT_EQ(run_recorded_pass(
                      c.command, nullptr, [](const BootRequest *) { return took_over = true; },
                      c.windows ? "/HIBERNATE" : nullptr, c.windows),
                  c.status);
        EXPECT_EQ(recorded.usages, c.usages);
        EXPECT_EQ(recorded.options_block, "");
        EXPECT_EQ(recorded.messages, c.messages);
        EXPECT_FALSE(took_over);
        EXPECT_TRUE(recorded.restarts.empty());
        EXPECT_EQ(fake_store.reads + fake_store.writes, 0);
    }
}

// The saved state of the sleep guard, in memory; each call can be made to fail.
struct FakeSaved {
    bool has, none_pending;
    Bytes copy;
    StatusCode load_status, save_status;
    int saves, removes;
    StatusCode remove_status = STATUS_SUCCESS;
} saved;

const SavedRequestCalls SAVED_CALLS = {
    [](uint8_t *buffer, size_t capacity, size_t *size, bool *none_pending) -> StatusCode {
        if (saved.load_status != STATUS_SUCCESS)
            return saved.load_status;
        if (!saved.has)
            return STATUS_NOT_FOUND;
        *none_pending = saved.none_pending;
        *size = saved.copy.size();
        // An empty copy has no data pointer, which memcpy may not be given even for 0 bytes.
        if (!saved.copy.empty())
            memcpy(buffer, saved.copy.data(), std::min(capacity, saved.copy.size()));
        return STATUS_SUCCESS;
    },
    [](const uint8_t *copy, size_t size) -> StatusCode {
        saved.saves++;
        if (saved.save_status != STATUS_SUCCESS)
            return saved.save_status;
        saved =
            FakeSaved{true,        copy == nullptr, copy ? Bytes(copy, copy + size) : Bytes(), 0, 0,
                      saved.saves, saved.removes};
        return STATUS_SUCCESS;
    },
    []() -> StatusCode {
        saved.removes++;
        if (saved.remove_status != STATUS_SUCCESS)
            return saved.remove_status;
        saved.has = false;
        return STATUS_SUCCESS;
    },
};

void start_guard_case(const Bytes &pending)
{
    reset_fake_store();
    use_named_variables();
    set_fake_variable("ZarvexUEFI", reinterpret_cast<const uint8_t *>("Zv\1\0"), 4);
    if (!pending.empty())
        set_fake_variable("Quiplex", pending.data(), pending.size());
    saved = FakeSaved{};
}

Bytes pending_request()
{
    const FakeVariable *request = fake_variable("Quiplex");
    return request->present ? Bytes(request->data, request->data + request->size) : Bytes();
}

TEST(SleepGuard, FailedSaveLeavesThePendingRequestAlone)
{
    start_guard_case(ITEM_2);
    saved.save_status = STATUS_ACCESS_DENIED;
    EXPECT_EQ(run_recorded_pass("--suspend", &SAVED_CALLS), 75);
    EXPECT_EQ(pending_request(), ITEM_2);
    EXPECT_EQ(recorded.messages,
              std::vector<std::string>{std::string("failure: ") + MESSAGE_SAVED_COPY_FAILED});
}

TEST(SleepGuard, SecondSuspendWritesFromTheFirstCopy)
{
    start_guard_case(ITEM_2);
    ASSERT_EQ(run_recorded_pass("--suspend", &SAVED_CALLS), 0);
    ASSERT_EQ(pending_request(), (Bytes{0xFB, 0xFF, 0, 0, 0, 0}));
    set_fake_variable("Quiplex", reinterpret_cast<const uint8_t *>("\5\0\0\0\0\0"), 6);
    EXPECT_EQ(run_recorded_pass("--suspend", &SAVED_CALLS), 0);
    EXPECT_EQ(saved.saves, 1);
    EXPECT_EQ(pending_request(), (Bytes{0xFB, 0xFF, 0, 0, 0, 0}));
    EXPECT_EQ(run_recorded_pass("--resume", &SAVED_CALLS), 0);
    EXPECT_EQ(pending_request(), ITEM_2);
    EXPECT_FALSE(saved.has);
}

TEST(SleepGuard, FailedWriteBackKeepsTheSavedCopyForAnotherResume)
{
    start_guard_case(ITEM_2);
    ASSERT_EQ(run_recorded_pass("--suspend", &SAVED_CALLS), 0);
    fake_store.write_status = STATUS_WRITE_FAILED;
    EXPECT_EQ(run_recorded_pass("--resume", &SAVED_CALLS), 77);
    EXPECT_EQ(recorded.write_failures, std::vector<StatusCode>{77});
    EXPECT_TRUE(saved.has);
    EXPECT_EQ(saved.removes, 0);
}

TEST(SleepGuard, SuspendNeedsTheBootManager)
{
    start_guard_case(ITEM_2);
    fake_variable("ZarvexUEFI")->present = false;
    EXPECT_EQ(run_recorded_pass("--suspend", &SAVED_CALLS), 8);
    EXPECT_EQ(recorded.not_found, std::vector<StatusCode>{8});
    EXPECT_EQ(saved.saves, 0);
    EXPECT_EQ(pending_request(), ITEM_2);
}

// Every run that changes the request leaves one record, every run that meant to and failed one
// with its status; reading runs leave none.
TEST(Audit, RecordsEachChangeAndEachFailedChange)
{
    const std::string item_3 = "written: Pending request: item 3\nRun file: none\n"
                               "Size: 6 bytes, attributes 0x00000007\nThen: ";
    std::string escaped_record = "\\x01";
    for (int i = 1; i < 255; i++)
        escaped_record += "\\x01";
    const struct {
        std::string command;
        bool boot_manager, windows, sleep_guard;
        Bytes pending;
        StatusCode write_status, save_status;
        int status;
        std::vector<std::string> records;
    } cases[] = {
        // clang-format off
        {"3/noreboot", true, false, false, ITEM_2, 0, 0, 0, {item_3 + "no restart (/noreboot)"}},
        {"3/force", true, false, false, {}, 0, 0, 0, {item_3 + "restart"}},
        {"3/force", true, true, false, {}, 0, 0, 0,
         {item_3 + "restart, closing applications without waiting (/force)"}},
        {"\"My \x1B\"/run=a.efi/noreboot", true, false, false, {}, 0, 0, 0,
         {"written: Pending request: name \"\\x22My \\x1B\\x22\"\nRun file: \"a.efi\"\n"
          "Size: 17 bytes, attributes 0x00000007\nThen: no restart (/noreboot)"}},
        {"1", false, false, false, {}, 0, 0, 8, {"failed 8: Zarvex UEFI was not found.\nCommand: \"1\""}},
        {"/hibernate", false, true, false, {}, 0, 0, 8,
         {"failed 8: Zarvex UEFI was not found.\nCommand: \"/hibernate\""}},
        {"/hibernate", true, true, false, {}, 0, 0, 0, {}},
        {"/next", true, false, false, {}, 77, 0, 77,
         {"failed 77: Unable to configure system!\nCommand: \"/next\""}},
        {"", true, false, false, {}, 0, 0, 61, {"failed 61: The command is not valid.\nCommand: \"\""}},
        {"2 -n", true, false, false, {}, 0, 0, 61,
         {"failed 61: The command is not valid.\nCommand: \"2 -n\""}},
        {"--suspend", true, false, false, ITEM_2, 0, 0, 61,
         {"failed 61: The command is not valid.\nCommand: \"--suspend\""}},
        {std::string(255, '\1'), false, false, false, {}, 0, 0, 8,
         {"failed 8: Zarvex UEFI was not found.\nCommand: \"" + escaped_record + "\""}},
        {"--cancel", true, false, false, ITEM_2, 0, 0, 0, {"cancelled: The pending request was cancelled."}},
        {"--cancel", true, false, false, {}, 0, 0, 0, {}},
        {"--cancel", true, false, false, ITEM_2, 92, 0, 92,
         {"failed 92: Unable to cancel the pending request.\nCommand: \"--cancel\""}},
        {"--suspend", true, false, true, ITEM_2, 0, 0, 0, {std::string("sleep guard: ") + MESSAGE_SUSPEND_SAVED}},
        {"--suspend", false, false, true, ITEM_2, 0, 0, 8,
         {"failed 8: Zarvex UEFI was not found.\nCommand: \"--suspend\""}},
        {"--suspend", true, false, true, ITEM_2, 0, 75, 75,
         {std::string("failed 75: ") + MESSAGE_SAVED_COPY_FAILED + "\nCommand: \"--suspend\""}},
        {"--suspend", true, false, true, ITEM_2, 77, 0, 77,
         {"failed 77: Unable to configure system!\nCommand: \"--suspend\""}},
        {"--resume", true, false, true, ITEM_2, 0, 0, 0, {}},
        // Reading runs.
        {"--status", true, false, false, ITEM_2, 0, 0, 0, {}},
        {"--status=json", false, false, false, {}, 0, 0, 0, {}},
        {"--version", true, false, false, {}, 0, 0, 0, {}},
        {"--help", true, false, true, {}, 0, 0, 61, {}},
        {"/?", true, true, false, {}, 0, 0, 61, {}},
        {"--dry-run 3", true, false, false, {}, 0, 0, 0, {}},
        {"--dry-run=json 2 -n", true, false, false, {}, 0, 0, 61, {}},
        // clang-format on
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        start_guard_case(c.pending);
        fake_variable("ZarvexUEFI")->present = c.boot_manager;
        fake_store.write_status = c.write_status;
        saved.save_status = c.save_status;
        bool (*monitor)(const BootRequest *) = [](const BootRequest *request) {
            return selection_is_keyword(request, "/HIBERNATE");
        };
        EXPECT_EQ(run_recorded_pass(c.command.c_str(), c.sleep_guard ? &SAVED_CALLS : nullptr,
                                    c.windows ? monitor : nullptr,
                                    c.windows ? "/HIBERNATE" : nullptr, c.windows),
                  c.status);
        EXPECT_EQ(recorded.records, c.records);
    }
}

TEST(SleepGuard, OutcomesAtTheEdges)
{
    const Bytes current = {0xFB, 0xFF, 0, 0}, longest(256, 1);
    Bytes longest_current = longest;
    memcpy(longest_current.data(), current.data(), current.size());
    const struct {
        const char *what;
        bool suspend;
        Bytes pending, copy; // copy empty: none saved, or a record of none pending
        bool none_pending;
        StatusCode write_status, remove_status;
        SleepOutcome outcome;
        StatusCode status;
        Bytes after;
    } cases[] = {
        // clang-format off
        {"suspend, none pending", true, {}, {}, false, 0, 0, SLEEP_NOTHING_SAVED, 0, current},
        {"suspend, item 2", true, ITEM_2, {}, false, 0, 0, SLEEP_SAVED, 0, {0xFB, 0xFF, 0, 0, 0, 0}},
        {"suspend, longest value", true, longest, {}, false, 0, 0, SLEEP_SAVED, 0, longest_current},
        {"resume, shortest copy", false, current, {5, 0, 0, 0}, false, 0, 0, SLEEP_PUT_BACK, 0, {5, 0, 0, 0}},
        {"resume, longest copy", false, current, longest, false, 0, 0, SLEEP_PUT_BACK, 0, longest},
        {"resume, none pending and gone", false, {}, {}, true, 0, 0, SLEEP_DELETED, 0, {}},
        {"resume, write not found", false, current, ITEM_2, false, 8, 0, SLEEP_WRITE_FAILED, 8, current},
        {"resume, copy not removed", false, current, ITEM_2, false, 0, 77, SLEEP_SAVE_FAILED, 77, ITEM_2},
        // A store that fails the delete of an absent variable (Windows): nothing left to delete.
        {"resume, none pending, none there", false, {}, {}, true, 77, 0, SLEEP_DELETED, 0, {}},
        {"resume, none pending, delete refused", false, current, {}, true, 77, 0, SLEEP_WRITE_FAILED, 77, current},
        // clang-format on
    };
    for (const auto &c : cases) {
        start_guard_case(c.pending);
        saved.has = c.none_pending || !c.copy.empty();
        saved.none_pending = c.none_pending;
        saved.copy = c.copy;
        saved.remove_status = c.remove_status;
        fake_store.write_status = c.write_status;
        const SleepResult result =
            c.suspend ? suspend_request(&SAVED_CALLS) : resume_request(&SAVED_CALLS);
        EXPECT_EQ(result.outcome, c.outcome) << c.what;
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(pending_request(), c.after) << c.what;
        if (c.outcome == SLEEP_SAVED) {
            EXPECT_EQ(saved.copy, c.pending) << c.what;
        }
    }
    // A suspend whose saved copy cannot be read (a corrupt file, a refused read) leaves the
    // pending request as it is.
    const struct {
        StatusCode load_status;
        SleepOutcome outcome;
    } unreadable[] = {{STATUS_CORRUPT, SLEEP_COPY_CORRUPT},
                      {STATUS_ACCESS_DENIED, SLEEP_SAVE_FAILED}};
    for (const auto &c : unreadable) {
        start_guard_case(ITEM_2);
        saved.load_status = c.load_status;
        const SleepResult result = suspend_request(&SAVED_CALLS);
        EXPECT_EQ(result.outcome, c.outcome) << c.load_status;
        EXPECT_EQ(result.status, c.load_status);
        EXPECT_EQ(pending_request(), ITEM_2);
    }
}

// A resume that finds nothing left to delete (the suspend's write failed, or the request was
// cancelled meanwhile) says what it says for a delete but records no change, as none was made.
TEST(SleepGuard, ResumeWithNothingLeftToDeleteRecordsNoChange)
{
    for (StatusCode delete_status : {STATUS_SUCCESS, STATUS_WRITE_FAILED}) {
        SCOPED_TRACE(delete_status);
        start_guard_case({});
        saved.has = saved.none_pending = true;
        fake_store.write_status = delete_status;
        EXPECT_EQ(run_recorded_pass("--resume", &SAVED_CALLS), 0);
        EXPECT_EQ(recorded.messages,
                  std::vector<std::string>{std::string("info: ") + MESSAGE_RESUME_DELETED});
        EXPECT_TRUE(recorded.records.empty());
        EXPECT_FALSE(saved.has);
    }
}

} // namespace
