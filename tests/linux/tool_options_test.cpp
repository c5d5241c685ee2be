// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The tool options and the sleep guard of the real quiplexlnx, over the fake efivarfs and /run.
#include <gtest/gtest.h>

#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fake_efivarfs.h"
#include "messages.h"

namespace {

const Bytes PRESENT = le32_then(7, {'Z', 'v', 1, 0});
const Bytes ITEM_2 = {2, 0, 0, 0, 0, 0};
const std::string SAVED = "/run/quiplex/request";
const std::string NONE_SAVED = "/run/quiplex/no-request";
// The "firmware" member of --status=json on a machine without boot variables.
const char NO_BOOT_LIST[] =
    ",\"firmware\":{\"boot_current\":null,\"boot_next\":null,\"boot_order\":null,\"next\":null,"
    "\"next_via\":null,\"boot_manager_entry\":null,\"boot_manager_next\":null,\"entries\":{},"
    "\"firmware_setup_supported\":null}";

class ToolOptions : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_NAMESPACE();
        reset_efivars(MOUNTED);
        reset_run();
        put_variable_file("ZarvexUEFI", PRESENT);
    }

    // "Quiplex" as efivarfs shows it since Linux 4.5: immutable.
    void put_pending(const Bytes &value)
    {
        if (variable_file_exists("Quiplex"))
            set_inode_flags("Quiplex", 0);
        put_variable_file("Quiplex", le32_then(7, value));
        set_inode_flags("Quiplex", FS_IMMUTABLE_FL);
    }

    // The pending value without its attributes; empty when there is none. A file that was
    // immutable must be so again after every write (tmpfs does not set the flag on new files).
    Bytes pending(bool immutable = true)
    {
        Bytes file;
        if (!get_variable_file("Quiplex", &file))
            return {};
        if (immutable)
            EXPECT_NE(inode_flags("Quiplex") & FS_IMMUTABLE_FL, 0u) << "flag put back";
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{7, 0, 0, 0}));
        return Bytes(file.begin() + 4, file.end());
    }

    RunResult run(const std::string &option)
    {
        RunResult result = run_quiplexlnx({option});
        EXPECT_TRUE(result.started);
        EXPECT_FALSE(result.rebooted) << option << " must never restart";
        return result;
    }
};

Bytes read_file(const std::string &path)
{
    Bytes bytes;
    if (FILE *file = fopen(path.c_str(), "rb")) {
        for (int c; (c = fgetc(file)) != EOF;)
            bytes.push_back(uint8_t(c));
        fclose(file);
    }
    return bytes;
}

void write_file(const std::string &path, const Bytes &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

unsigned mode_of(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

Bytes with_code(uint32_t code, Bytes value)
{
    for (int i = 0; i < 4; i++)
        value[size_t(i)] = uint8_t(code >> (8 * i));
    return value;
}

TEST_F(ToolOptions, AnswerWithoutWritingOrRestarting)
{
    put_pending(ITEM_2);
    const struct {
        const char *option;
        std::string out;
        int status;
    } cases[] = {
        {"--version", "quiplexlnx 1.03\n", 0},
        {"--STATUS",
         "Zarvex UEFI: found\nPending request: item 2\nRun file: none\n"
         "Size: 6 bytes, attributes 0x00000007\n",
         0},
        {"-V", USAGE_TEXT_CONSOLE, 61},
        {"-n", USAGE_TEXT_CONSOLE, 61},
        {"--noreboot", USAGE_TEXT_CONSOLE, 61},
        {"2 -n", USAGE_TEXT_CONSOLE, 61},
        // Linux has no applications to close: /force changes nothing in what follows.
        {"--dry-run 2/force",
         "Would write: item 2\nRun file: none\nSize: 6 bytes, attributes 0x00000007\nThen: "
         "restart\n",
         0},
    };
    for (const auto &c : cases) {
        const RunResult result = run(c.option);
        EXPECT_EQ(result.out, c.out) << c.option;
        EXPECT_EQ(result.exit_status, c.status) << c.option;
        EXPECT_EQ(pending(), ITEM_2) << c.option;
    }
}

TEST_F(ToolOptions, StatusJsonIsValidForAnyStoredBytes)
{
    put_pending({0xFF, 0xFF, 0, 0, 'A', 0x1B, '"', '\\', 0xC3, 0xA9, 0xFF, 0, 't', '\n'});
    const RunResult result = run("--status=json");
    ASSERT_EQ(result.exit_status, 0);
    write_file("/run/status.json", Bytes(result.out.begin(), result.out.end()));
    // A real JSON parser reads it back; each code point of a text stands for one stored byte.
    FILE *parser =
        popen("python3 -c 'import json; d = json.load(open(\"/run/status.json\")); "
              "r = d[\"request\"]; print(d[\"status\"], d[\"boot_manager\"], r[\"code\"], "
              "r[\"kind\"], list(map(ord, r[\"selection\"])), list(map(ord, "
              "r[\"run_file\"])), r[\"attributes\"], r[\"size\"])'",
              "r");
    ASSERT_NE(parser, nullptr);
    char line[512] = {};
    const bool read = fgets(line, sizeof line, parser) != nullptr;
    pclose(parser);
    ASSERT_TRUE(read) << result.out;
    EXPECT_STREQ(line, "0 True 65535 name [65, 27, 34, 92, 195, 169, 255] [116, 10] 7 14\n");
}

TEST_F(ToolOptions, StatusOfTheShortestAndLongestValues)
{
    put_variable_file("Quiplex", le32_then(7, {}));
    RunResult result = run("--status");
    EXPECT_EQ(result.out, "Zarvex UEFI: found\nPending request: corrupt\n");
    EXPECT_EQ(result.exit_status, 94);
    // Every byte of the longest value readable is escaped to six characters, and still fits.
    for (size_t size : {2048, 2049}) {
        put_pending(Bytes(size, 1));
        result = run("--status=json");
        EXPECT_EQ(result.exit_status, size == 2048 ? 0 : 95) << size;
        if (size == 2048)
            EXPECT_TRUE(result.out.ends_with("\"size\":2048}" + std::string(NO_BOOT_LIST) + "}\n"))
                << result.out.size();
    }
}

TEST_F(ToolOptions, CancelRemovesAnImmutableRequest)
{
    put_pending(ITEM_2);
    RunResult result = run("--cancel");
    EXPECT_EQ(result.out, "The pending request was cancelled.\n");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_FALSE(variable_file_exists("Quiplex"));
    result = run("--cancel");
    EXPECT_EQ(result.out, "No request was pending.\n");
    EXPECT_EQ(result.exit_status, 0);
}

TEST_F(ToolOptions, StatusWithoutEfivarfsGivesTheHint)
{
    reset_efivars(NOT_MOUNTED);
    const RunResult result = run("--status");
    EXPECT_EQ(result.out, "Zarvex UEFI was not found.\nIs efivarfs is mounted?\n"
                          "e.g. mount -t efivarfs none /sys/firmware/efi/efivars\n");
    EXPECT_EQ(result.exit_status, 92);
    const RunResult cancel = run("--cancel");
    EXPECT_EQ(cancel.out, "Unable to cancel the pending request.\nIs efivarfs is mounted?\n"
                          "e.g. mount -t efivarfs none /sys/firmware/efi/efivars\n");
    EXPECT_EQ(cancel.exit_status, 92);
}

TEST_F(ToolOptions, DryRunCountsTheCommandWithoutItsWord)
{
    put_pending(ITEM_2);
    // "/noreboot" ends within the command's 255 characters only when the word is not counted.
    const RunResult result =
        run_quiplexlnx({"--dry-run=json", "3" + std::string(240, ' ') + "/noreboot"});
    EXPECT_FALSE(result.rebooted);
    EXPECT_EQ(result.out,
              "{\"status\":0,\"request\":{\"code\":3,\"kind\":\"item\",\"keyword\":null,"
              "\"selection\":\"\",\"run_file\":\"\",\"attributes\":7,\"size\":6},"
              "\"restart\":false,\"force\":false}\n");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(pending(), ITEM_2);
}

Bytes foreign_value(size_t size)
{
    Bytes value(size);
    for (size_t i = 0; i < size; i++)
        value[i] = uint8_t(i * 7 + 1);
    return value;
}

TEST_F(ToolOptions, SuspendPointsAtTheRunningSystemAndResumePutsTheRequestBack)
{
    const Bytes named = {0xFF, 0xFF, 0, 0,   'M', 'y', ' ', 'I', 't',
                         'e',  'm',  0, 'a', '.', 'e', 'f', 'i', 0};
    const struct {
        const char *what;
        Bytes pending; // empty: none
        Bytes during;  // "Quiplex" between suspend and resume
        bool copy_saved;
    } cases[] = {
        {"none pending", {}, {0xFB, 0xFF, 0, 0}, false},
        {"item 2", ITEM_2, {0xFB, 0xFF, 0, 0, 0, 0}, true},
        {"name and run file", named, with_code(0xFFFB, named), true},
        {"100-byte foreign value", foreign_value(100), with_code(0xFFFB, foreign_value(100)), true},
        {"300-byte value is not copied", foreign_value(300), {0xFB, 0xFF, 0, 0}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (!c.pending.empty())
            put_pending(c.pending);
        RunResult result = run("--suspend");
        EXPECT_EQ(result.exit_status, 0) << result.out;
        EXPECT_EQ(pending(!c.pending.empty()), c.during);
        EXPECT_EQ(mode_of("/run/quiplex"), 0700u);
        EXPECT_EQ(mode_of(c.copy_saved ? SAVED : NONE_SAVED), 0600u);
        if (c.copy_saved) {
            EXPECT_EQ(read_file(SAVED), c.pending);
        }

        result = run("--resume");
        EXPECT_EQ(result.exit_status, 0) << result.out;
        EXPECT_EQ(pending(), c.copy_saved ? c.pending : Bytes());
        EXPECT_FALSE(exists(SAVED) || exists(NONE_SAVED));
    }
}

TEST_F(ToolOptions, SecondSuspendKeepsTheFirstCopy)
{
    put_pending(ITEM_2);
    ASSERT_EQ(run("--suspend").exit_status, 0);
    const RunResult again = run("--suspend");
    EXPECT_EQ(again.out, std::string(MESSAGE_SUSPEND_KEPT) + "\n");
    EXPECT_EQ(pending(), (Bytes{0xFB, 0xFF, 0, 0, 0, 0}));
    ASSERT_EQ(run("--resume").exit_status, 0);
    EXPECT_EQ(pending(), ITEM_2);
}

TEST_F(ToolOptions, ResumeWithoutSavedStateOrWithATamperedCopy)
{
    put_pending(ITEM_2);
    RunResult result = run("--resume");
    EXPECT_EQ(result.out, std::string(MESSAGE_RESUME_NOTHING_SAVED) + "\n");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(pending(), ITEM_2);
    for (size_t size : {size_t(0), size_t(500)}) {
        ASSERT_EQ(run("--suspend").exit_status, 0);
        write_file(SAVED, foreign_value(size));
        result = run("--resume");
        EXPECT_EQ(result.out, std::string(MESSAGE_SAVED_COPY_CORRUPT) + "\n") << size;
        EXPECT_EQ(result.exit_status, 94) << size;
        EXPECT_EQ(pending(), (Bytes{0xFB, 0xFF, 0, 0, 0, 0})) << size;
        EXPECT_FALSE(exists(SAVED)) << size;
        put_pending(ITEM_2);
    }
}

TEST_F(ToolOptions, SleepHookGuardsEverySleepKindAndNeverFails)
{
    for (const char *kind : {"suspend", "hibernate", "hybrid-sleep", "suspend-then-hibernate"}) {
        SCOPED_TRACE(kind);
        SetUp();
        put_pending(ITEM_2);
        RunResult result = run_guarded(SLEEP_HOOK_PATH, {"pre", kind});
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_FALSE(result.rebooted);
        EXPECT_EQ(pending(), (Bytes{0xFB, 0xFF, 0, 0, 0, 0}));
        result = run_guarded(SLEEP_HOOK_PATH, {"post", kind});
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(pending(), ITEM_2);
    }
    // Without the boot manager the suspend fails: reported on stderr, and the sleep goes on.
    reset_efivars(MOUNTED);
    const RunResult result = run_guarded(SLEEP_HOOK_PATH, {"pre", "suspend"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NE(result.err.find("ended with status 8"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST_F(ToolOptions, SavedStateOnlyInARealFolderAndFile)
{
    // A one-byte value is copied whole, and refused as a copy when it comes back.
    put_pending({7});
    ASSERT_EQ(run("--suspend").exit_status, 0);
    EXPECT_EQ(read_file(SAVED), Bytes{7});
    EXPECT_EQ(run("--resume").exit_status, 94);

    SetUp();
    put_pending(ITEM_2);
    ASSERT_EQ(mkdir("/run/elsewhere", 0700), 0);
    ASSERT_EQ(symlink("/run/elsewhere", "/run/quiplex"), 0);
    EXPECT_EQ(run("--suspend").exit_status, 77);
    EXPECT_FALSE(exists("/run/elsewhere/request") || exists("/run/elsewhere/no-request"));
    EXPECT_EQ(pending(), ITEM_2);

    SetUp();
    put_pending(ITEM_2);
    ASSERT_EQ(mkdir("/run/quiplex", 0700), 0);
    ASSERT_EQ(mkdir(SAVED.c_str(), 0700), 0);
    EXPECT_EQ(run("--resume").exit_status, 71);
    EXPECT_EQ(pending(), ITEM_2);

    // With stdin closed, the saved copy's files get descriptor 0.
    SetUp();
    put_pending(ITEM_2);
    for (const char *option : {"--suspend", "--resume"}) {
        const RunResult result =
            run_guarded("/bin/sh", {"-c", "exec \"$0\" \"$1\" <&-", QUIPLEXLNX_PATH, option});
        EXPECT_EQ(result.exit_status, 0) << option << result.out;
    }
    EXPECT_EQ(pending(), ITEM_2);
}

// A boot list as efivarfs shows it: attributes first, and immutable files, which the store
// must clear and set again around each write.
Bytes le16s(std::initializer_list<uint16_t> values)
{
    Bytes bytes;
    for (uint16_t value : values)
        bytes.insert(bytes.end(), {uint8_t(value), uint8_t(value >> 8)});
    return bytes;
}

Bytes load_option(const char *description)
{
    Bytes bytes = {1, 0, 0, 0, 4, 0};
    for (const char *c = description; *c != '\0'; c++)
        bytes.insert(bytes.end(), {uint8_t(*c), 0});
    bytes.insert(bytes.end(), {0, 0, 0x7F, 0xFF, 4, 0});
    return bytes;
}

void put_global(const std::string &name, const Bytes &value)
{
    if (variable_file_exists(name, GLOBAL_VARIABLE))
        set_inode_flags(name, 0, GLOBAL_VARIABLE);
    put_variable_file(name, le32_then(7, value), GLOBAL_VARIABLE);
    set_inode_flags(name, FS_IMMUTABLE_FL, GLOBAL_VARIABLE);
}

Bytes global(const std::string &name)
{
    Bytes file;
    if (!get_variable_file(name, &file, GLOBAL_VARIABLE))
        return {};
    return file;
}

TEST_F(ToolOptions, BootListUnderTheGlobalGuid)
{
    put_global("BootCurrent", le16s({3}));
    put_global("BootOrder", le16s({0, 3}));
    put_global("Boot0000", load_option("Windows Boot Manager"));
    put_global("Boot0003", load_option("Zarvex UEFI"));
    put_global("OsIndicationsSupported", {1, 0, 0, 0, 0, 0, 0, 0});
    put_global("OsIndications", {0x40, 0, 0, 0, 0, 0, 0, 0x80});

    RunResult result = run("--status");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out,
              "Zarvex UEFI: found\nPending request: none\nFirmware: this start Boot0003 \"Zarvex "
              "UEFI\"; next start Boot0000 \"Windows Boot Manager\" (BootOrder)\nWarning: the "
              "firmware will start Boot0000 \"Windows Boot Manager\" next, not Zarvex UEFI "
              "(Boot0003): the request will not be read. quiplexlnx --boot-next COMMAND starts "
              "Zarvex UEFI once.\n");
    result = run("--status=json");
    EXPECT_TRUE(result.out.ends_with(
        ",\"firmware\":{\"boot_current\":\"0003\",\"boot_next\":null,\"boot_order\":[\"0000\","
        "\"0003\"],\"next\":\"0000\",\"next_via\":\"boot_order\",\"boot_manager_entry\":\"0003\","
        "\"boot_manager_next\":false,\"entries\":{\"0000\":{\"description\":\"Windows Boot "
        "Manager\",\"active\":true},\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}},"
        "\"firmware_setup_supported\":true}}\n"))
        << result.out;

    // BootNext is created, then rewritten over the immutable file the kernel would show.
    for (int round = 0; round < 2; round++) {
        result = run_quiplexlnx({"--boot-next", "2/noreboot"});
        EXPECT_EQ(result.exit_status, 0) << result.err;
        EXPECT_FALSE(result.rebooted);
        EXPECT_EQ(global("BootNext"), (Bytes{7, 0, 0, 0, 3, 0})) << round;
        EXPECT_EQ(pending(false), ITEM_2);
        if (round == 0)
            put_global("BootNext", le16s({0}));
        else
            EXPECT_NE(inode_flags("BootNext", GLOBAL_VARIABLE) & FS_IMMUTABLE_FL, 0u);
    }
    result = run("--status");
    EXPECT_TRUE(result.out.ends_with("next start Boot0003 \"Zarvex UEFI\" (BootNext)\n"))
        << result.out;

    result = run_quiplexlnx({"--firmware-setup", "/noreboot"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_FALSE(result.rebooted);
    EXPECT_EQ(result.out, "The next start opens the firmware's setup.\n");
    EXPECT_EQ(global("OsIndications"), (Bytes{7, 0, 0, 0, 0x41, 0, 0, 0, 0, 0, 0, 0x80}));
    EXPECT_NE(inode_flags("OsIndications", GLOBAL_VARIABLE) & FS_IMMUTABLE_FL, 0u);
    result = run_quiplexlnx({"--firmware-setup"});
    EXPECT_EQ(result.exit_status, 42) << "the reboot stub's status: /sbin/reboot took over";
    EXPECT_TRUE(result.rebooted) << "restarts as after a request";
    result = run("--cancel-firmware-setup");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(global("OsIndications"), (Bytes{7, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0x80}));

    // Without the boot manager's entry nothing at all is written.
    set_inode_flags("Boot0003", 0, GLOBAL_VARIABLE);
    ASSERT_EQ(unlink(variable_path("Boot0003", GLOBAL_VARIABLE).c_str()), 0);
    put_pending(ITEM_2);
    result = run_quiplexlnx({"--boot-next", "5"});
    EXPECT_EQ(result.exit_status, 8);
    EXPECT_FALSE(result.rebooted);
    EXPECT_EQ(result.out, "Zarvex UEFI's entry in the firmware's boot list was not found; nothing "
                          "was changed.\n");
    EXPECT_EQ(pending(), ITEM_2);
    put_global("OsIndicationsSupported", {0, 0, 0, 0, 0, 0, 0, 0});
    result = run("--firmware-setup");
    EXPECT_EQ(result.exit_status, 76);
    EXPECT_EQ(result.out, "This firmware cannot start its setup on request.\n");
}

} // namespace
