// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The production quiplexlnx, run whole against the fake efivarfs with a recording reboot stub.
#include <gtest/gtest.h>

#include <linux/fs.h>
#include <sys/stat.h>

#include <string>

#include "fake_efivarfs.h"
#include "messages.h"

namespace {

const std::string NOT_FOUND = "Zarvex UEFI was not found.\n";
const std::string CONFIGURE_FAILED = "Unable to configure system!\n";
const Bytes PRESENT = le32_then(7, {'Z', 'v', 1, 0, 9, 9});
const std::string HELP_TEXT =
    std::string(USAGE_TEXT_CONSOLE) + TOOL_OPTIONS_TEXT_WITH_SLEEP_GUARD + "\n";

struct Scenario {
    const char *what;
    std::vector<std::string> arguments;
    EfivarsState state;
    bool boot_manager; // "ZarvexUEFI" exists
    std::string out;
    int exit_status;
    Bytes request; // expected "Quiplex" file; empty: must not exist
    bool rebooted;
};

// One scenario to a line or two; clang-format would give each field its own line.
// clang-format off
const Scenario SCENARIOS[] = {
    {"no arguments", {}, MOUNTED, true, USAGE_TEXT_CONSOLE, 61, {}, false},
    {"options only", {"/noreboot"}, MOUNTED, true, USAGE_TEXT_CONSOLE, 61, {}, false},
    {"force alone", {"/force"}, MOUNTED, true, USAGE_TEXT_CONSOLE, 61, {}, false},
    {"zero", {"0"}, MOUNTED, true, USAGE_TEXT_CONSOLE, 61, {}, false},
    {"help", {"--help"}, MOUNTED, true, HELP_TEXT, 61, {}, false},
    {"windows help", {"/?"}, MOUNTED, true, HELP_TEXT, 61, {}, false},
    {"usage before mount check", {}, NO_DIRECTORY, false, USAGE_TEXT_CONSOLE, 61, {}, false},
    {"no efivarfs directory", {"1"}, NO_DIRECTORY, false,
     NOT_FOUND + "The OS may not support efivarfs for this architecture.\n", 76, {}, false},
    {"efivarfs not mounted", {"1"}, NOT_MOUNTED, true,
     NOT_FOUND + "Is efivarfs is mounted?\ne.g. mount -t efivarfs none /sys/firmware/efi/efivars\n",
     92, {}, false},
    {"no boot manager", {"/current"}, MOUNTED, false, NOT_FOUND, 8, {}, false},
    {"item three", {"3", "/noreboot"}, MOUNTED, true, "", 0, le32_then(7, {3, 0, 0, 0, 0, 0}),
     false},
    {"two-word name", {"My", "Item", "/noreboot"}, MOUNTED, true, "", 0,
     le32_then(7, {0xFF, 0xFF, 0, 0, 'M', 'y', ' ', 'I', 't', 'e', 'm', 0, 0}), false},
    {"run file keeps the joining blank", {"1/run=tools/App.efi", "/NoReboot"}, MOUNTED, true, "", 0,
     le32_then(7, {1, 0, 0, 0, 0, 't', 'o', 'o', 'l', 's', '/', 'A', 'p', 'p', '.', 'e', 'f', 'i',
                   ' ', 0}),
     false},
    {"keyword restarts", {"/current"}, MOUNTED, true, "", 42, le32_then(7, {0xFB, 0xFF, 0, 0, 0, 0}),
     true},
    {"force restarts the same", {"1/force"}, MOUNTED, true, "", 42, le32_then(7, {1, 0, 0, 0, 0, 0}),
     true},
    {"empty argument", {"a", "", "b/noreboot"}, MOUNTED, true, "", 0,
     le32_then(7, {0xFF, 0xFF, 0, 0, 'a', ' ', ' ', 'b', 0, 0}), false},
};
// clang-format on

class Quiplexlnx : public testing::TestWithParam<Scenario> {
protected:
    void SetUp() override { REQUIRE_NAMESPACE(); }
};

TEST_P(Quiplexlnx, Scenario)
{
    const Scenario &s = GetParam();
    reset_efivars(s.state);
    if (s.boot_manager && s.state != NO_DIRECTORY)
        put_variable_file("ZarvexUEFI", PRESENT);
    const std::vector<std::string> before = efivars_listing();

    const RunResult run = run_quiplexlnx(s.arguments);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.out, s.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, s.exit_status);
    EXPECT_EQ(run.rebooted, s.rebooted);
    if (s.rebooted)
        EXPECT_EQ(run.reboot_argv, std::vector<std::string>{"/sbin/reboot"});

    Bytes request;
    if (s.request.empty()) {
        EXPECT_EQ(efivars_listing(), before) << "no variable file touched";
    } else {
        ASSERT_TRUE(get_variable_file("Quiplex", &request));
        EXPECT_EQ(request, s.request);
    }
    if (s.boot_manager && s.state == MOUNTED) {
        Bytes presence;
        ASSERT_TRUE(get_variable_file("ZarvexUEFI", &presence));
        EXPECT_EQ(presence, PRESENT);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, Quiplexlnx, testing::ValuesIn(SCENARIOS),
                         [](const testing::TestParamInfo<Scenario> &info) {
                             std::string name;
                             for (const char *c = info.param.what; *c; c++)
                                 name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

class QuiplexlnxFailures : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_NAMESPACE();
        install_reboot_stub();
    }
    void TearDown() override { install_reboot_stub(); }
};

TEST_F(QuiplexlnxFailures, ProbeFailuresEndWithTheirStatus)
{
    const struct {
        Bytes presence;
        int status;
    } cases[] = {{{7, 0, 0, 0}, 94}, {{7}, 94}};
    for (const auto &c : cases) {
        reset_efivars(MOUNTED);
        put_variable_file("ZarvexUEFI", c.presence);
        const RunResult run = run_quiplexlnx({"1"});
        EXPECT_EQ(run.out, NOT_FOUND);
        EXPECT_EQ(run.exit_status, c.status);
        EXPECT_FALSE(run.rebooted);
        EXPECT_FALSE(variable_file_exists("Quiplex"));
    }
}

TEST_F(QuiplexlnxFailures, LongPresenceValueCountsAsPresent)
{
    reset_efivars(MOUNTED);
    put_variable_file("ZarvexUEFI", le32_then(7, Bytes(40, 'z')));
    const RunResult run = run_quiplexlnx({"2/noreboot"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(variable_file_exists("Quiplex"));
}

TEST_F(QuiplexlnxFailures, WriteFailuresDoNotRestart)
{
    const struct {
        const char *what;
        EfivarsState state;
        int status;
    } cases[] = {
        {"Quiplex is a directory", MOUNTED, 77},
        {"append-only file", MOUNTED, 75},
        {"store full", MOUNTED_SMALL, 4},
    };
    for (const auto &c : cases) {
        reset_efivars(c.state);
        put_variable_file("ZarvexUEFI", PRESENT);
        if (c.state == MOUNTED_SMALL)
            fill_efivars();
        if (c.status == 77)
            ASSERT_EQ(mkdir(variable_path("Quiplex").c_str(), 0755), 0);
        if (c.status == 75) {
            put_variable_file("Quiplex", le32_then(7, {5, 0, 0, 0, 0, 0}));
            set_inode_flags("Quiplex", FS_APPEND_FL);
        }
        const RunResult run = run_quiplexlnx({"/next"});
        EXPECT_EQ(run.out, CONFIGURE_FAILED) << c.what;
        EXPECT_EQ(run.err, "") << c.what;
        EXPECT_EQ(run.exit_status, c.status) << c.what;
        EXPECT_FALSE(run.rebooted) << c.what;
        if (c.status == 75)
            set_inode_flags("Quiplex", 0);
    }
}

TEST_F(QuiplexlnxFailures, RepeatedRequestsOverImmutableFile)
{
    reset_efivars(MOUNTED);
    put_variable_file("ZarvexUEFI", PRESENT);
    put_variable_file("Quiplex", le32_then(7, {9, 0, 0, 0, 0, 0}));
    set_inode_flags("Quiplex", FS_IMMUTABLE_FL);
    const struct {
        const char *argument;
        Bytes request;
    } rounds[] = {
        {"2/noreboot", le32_then(7, {2, 0, 0, 0, 0, 0})},
        {"/none/noreboot", le32_then(7, {0xFC, 0xFF, 0, 0, 0, 0})},
        {"&W/noreboot", le32_then(7, {0xFF, 0xFF, 0, 0, '&', 'W', 0, 0})},
    };
    for (const auto &r : rounds) {
        const RunResult run = run_quiplexlnx({r.argument});
        EXPECT_EQ(run.exit_status, 0) << r.argument;
        EXPECT_EQ(run.out, "") << r.argument;
        Bytes request;
        ASSERT_TRUE(get_variable_file("Quiplex", &request));
        EXPECT_EQ(request, r.request) << r.argument;
        EXPECT_NE(inode_flags("Quiplex") & FS_IMMUTABLE_FL, 0u) << r.argument;
    }
}

TEST_F(QuiplexlnxFailures, UnstartableRebootEndsWithZero)
{
    reset_efivars(MOUNTED);
    put_variable_file("ZarvexUEFI", PRESENT);
    remove_reboot_stub();
    const RunResult run = run_quiplexlnx({"4"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_FALSE(run.rebooted);
    Bytes request;
    ASSERT_TRUE(get_variable_file("Quiplex", &request));
    EXPECT_EQ(request, le32_then(7, {4, 0, 0, 0, 0, 0}));
}

TEST_F(QuiplexlnxFailures, OptionsBeyond255CharactersAreNotSeen)
{
    reset_efivars(MOUNTED);
    put_variable_file("ZarvexUEFI", PRESENT);
    // 250 + blank + "abcd" fills the 255 characters; "/noreboot" falls beyond them.
    const RunResult run = run_quiplexlnx({std::string(250, 'x'), "abcd/noreboot"});
    EXPECT_EQ(run.exit_status, 42);
    EXPECT_TRUE(run.rebooted);
    Bytes request;
    ASSERT_TRUE(get_variable_file("Quiplex", &request));
    Bytes expected = {0xFF, 0xFF, 0, 0};
    expected.insert(expected.end(), 50, 'x');
    expected.insert(expected.end(), {0, 0});
    EXPECT_EQ(request, le32_then(7, expected));
}

} // namespace
