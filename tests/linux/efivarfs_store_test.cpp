// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The efivarfs store against tmpfs stand-ins: mount check, file layout, every reachable error row.
#include <gtest/gtest.h>

#include <linux/fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include "efivarfs_store.h"
#include "fake_efivarfs.h"
#include "variable_store.h"

namespace {

constexpr char GUID[] = "{81686ef9-7f6f-42e3-9371-696de9bf6299}";

class EfivarfsStore : public testing::Test {
protected:
    void SetUp() override { REQUIRE_NAMESPACE(); }
};

TEST_F(EfivarfsStore, MountCheckBeforeAnyFile)
{
    const struct {
        EfivarsState state;
        StatusCode status;
    } cases[] = {{NO_DIRECTORY, STATUS_NOT_SUPPORTED},
                 {NOT_MOUNTED, STATUS_NOT_MOUNTED},
                 {MOUNTED, STATUS_SUCCESS}};
    for (const auto &c : cases) {
        reset_efivars(c.state);
        EXPECT_EQ(check_efivarfs_mounted(), c.status);
        if (c.state == NOT_MOUNTED) {
            // A file in the bare directory must not be read or replaced.
            put_variable_file("Quiplex", le32_then(7, {1, 2}));
        }
        uint8_t buffer[8];
        size_t size = sizeof buffer;
        const StatusCode read = read_variable("Quiplex", GUID, buffer, &size, nullptr);
        const uint8_t data[] = {9};
        const StatusCode write = write_variable("Quiplex", GUID, data, 1, 7);
        if (c.status == STATUS_SUCCESS)
            continue;
        EXPECT_EQ(read, c.status);
        EXPECT_EQ(size, sizeof buffer) << "size is left as it was";
        EXPECT_EQ(write, c.status);
        if (c.state == NOT_MOUNTED) {
            Bytes contents;
            ASSERT_TRUE(get_variable_file("Quiplex", &contents));
            EXPECT_EQ(contents, le32_then(7, {1, 2}));
        }
    }
}

TEST_F(EfivarfsStore, ReadRows)
{
    const struct {
        const char *what;
        Bytes file; // empty: no file
        size_t capacity;
        StatusCode status;
        size_t size_after;
    } cases[] = {
        {"missing", {}, 4, STATUS_NOT_FOUND, 0},
        {"three bytes", le32_then(6, {1, 2, 3}), 4, STATUS_SUCCESS, 3},
        {"exactly fits", le32_then(6, {1, 2, 3, 4}), 4, STATUS_SUCCESS, 4},
        {"ten into four", le32_then(7, Bytes(10, 0x11)), 4, STATUS_BUFFER_TOO_SMALL, 0},
        {"attributes only", {7, 0, 0, 0}, 4, STATUS_CORRUPT, 0},
        {"two bytes", {7, 0}, 4, STATUS_CORRUPT, 0},
    };
    for (const auto &c : cases) {
        reset_efivars(MOUNTED);
        if (!c.file.empty())
            put_variable_file("ZarvexUEFI", c.file);
        uint8_t buffer[16] = {};
        size_t size = c.capacity;
        uint32_t attributes = 0xDEAD;
        EXPECT_EQ(read_variable("ZarvexUEFI", GUID, buffer, &size, &attributes), c.status)
            << c.what;
        EXPECT_EQ(size, c.size_after) << c.what;
        if (c.status == STATUS_SUCCESS) {
            EXPECT_EQ(attributes, 6u) << c.what;
            EXPECT_EQ(Bytes(buffer, buffer + size), Bytes(c.file.begin() + 4, c.file.end()));
        }
    }
}

TEST_F(EfivarfsStore, ReadFailuresOfTheFileItself)
{
    reset_efivars(MOUNTED);
    // A directory opens read-only but its read fails.
    ASSERT_EQ(mkdir(variable_path("ZarvexUEFI").c_str(), 0755), 0);
    uint8_t buffer[4096];
    size_t size = sizeof buffer;
    EXPECT_EQ(read_variable("ZarvexUEFI", GUID, buffer, &size, nullptr), STATUS_READ_FAULT);
    EXPECT_EQ(size, 0u);

    // Any other open error (here ELOOP) is a plain read failure.
    reset_efivars(MOUNTED);
    ASSERT_EQ(symlink(variable_path("ZarvexUEFI").c_str(), variable_path("ZarvexUEFI").c_str()), 0);
    size = sizeof buffer;
    EXPECT_EQ(read_variable("ZarvexUEFI", GUID, buffer, &size, nullptr), STATUS_READ_FAILED);
    EXPECT_EQ(size, 0u);
}

TEST_F(EfivarfsStore, ReadValidatesBeforeMountCheck)
{
    reset_efivars(NO_DIRECTORY);
    uint8_t buffer[4];
    for (const char *guid :
         {static_cast<const char *>(nullptr), "81686ef9-7f6f-42e3-9371-696de9bf6299",
          "{81686ef9-7f6f-42e3-9371-696de9bf6299} "}) {
        size_t size = 3;
        EXPECT_EQ(read_variable("ZarvexUEFI", guid, buffer, &size, nullptr),
                  STATUS_INVALID_PARAMETER);
        EXPECT_EQ(size, 3u);
    }
    size_t size = 3;
    EXPECT_EQ(read_variable(nullptr, GUID, buffer, &size, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(size, 3u);
}

TEST_F(EfivarfsStore, UpperCaseGuidNamesUpperCaseFile)
{
    reset_efivars(MOUNTED);
    put_variable_file("ZarvexUEFI", le32_then(7, {1}));
    uint8_t buffer[4];
    size_t size = sizeof buffer;
    EXPECT_EQ(read_variable("ZarvexUEFI", "{81686EF9-7F6F-42E3-9371-696DE9BF6299}", buffer, &size,
                            nullptr),
              STATUS_NOT_FOUND);
    ASSERT_EQ(rename(variable_path("ZarvexUEFI").c_str(),
                     "/sys/firmware/efi/efivars/ZarvexUEFI-81686EF9-7F6F-42E3-9371-696DE9BF6299"),
              0);
    size = sizeof buffer;
    EXPECT_EQ(read_variable("ZarvexUEFI", "{81686EF9-7F6F-42E3-9371-696DE9BF6299}", buffer, &size,
                            nullptr),
              STATUS_SUCCESS);
}

TEST_F(EfivarfsStore, WriteStoresAttributesThenData)
{
    reset_efivars(MOUNTED);
    const uint8_t current[] = {0xFB, 0xFF, 0, 0, 0, 0};
    ASSERT_EQ(write_variable("Quiplex", GUID, current, sizeof current, 7), STATUS_SUCCESS);
    Bytes contents;
    ASSERT_TRUE(get_variable_file("Quiplex", &contents));
    EXPECT_EQ(contents, (Bytes{7, 0, 0, 0, 0xFB, 0xFF, 0, 0, 0, 0}));

    // A shorter request replaces the longer one completely.
    const uint8_t code_only[] = {2, 0, 0, 0};
    ASSERT_EQ(write_variable("Quiplex", GUID, code_only, sizeof code_only, 0x27), STATUS_SUCCESS);
    ASSERT_TRUE(get_variable_file("Quiplex", &contents));
    EXPECT_EQ(contents, (Bytes{0x27, 0, 0, 0, 2, 0, 0, 0}));
}

TEST_F(EfivarfsStore, WriteOverImmutableFileRestoresTheFlag)
{
    reset_efivars(MOUNTED);
    put_variable_file("Quiplex", le32_then(7, {1, 0, 0, 0, 0, 0}));
    set_inode_flags("Quiplex", FS_IMMUTABLE_FL);
    const uint8_t next[] = {0xFE, 0xFF, 0, 0, 0, 0};
    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(write_variable("Quiplex", GUID, next, sizeof next, 7), STATUS_SUCCESS) << round;
        Bytes contents;
        ASSERT_TRUE(get_variable_file("Quiplex", &contents));
        EXPECT_EQ(contents, le32_then(7, Bytes(next, next + sizeof next)));
        EXPECT_NE(inode_flags("Quiplex") & FS_IMMUTABLE_FL, 0u) << "flag put back";
    }
    // Deleting clears the flag first as well.
    EXPECT_EQ(write_variable("Quiplex", GUID, nullptr, 0, 7), STATUS_SUCCESS);
    EXPECT_FALSE(variable_file_exists("Quiplex"));
}

TEST_F(EfivarfsStore, WriteAndDeleteFailureRows)
{
    const uint8_t data[] = {1, 0, 0, 0, 0, 0};
    reset_efivars(MOUNTED);
    EXPECT_EQ(write_variable("Quiplex", GUID, nullptr, 0, 7), STATUS_NOT_FOUND);

    put_variable_file("Quiplex", le32_then(7, {1}));
    EXPECT_EQ(write_variable("Quiplex", GUID, nullptr, 0, 7), STATUS_SUCCESS);
    EXPECT_FALSE(variable_file_exists("Quiplex"));

    // unlink of a directory fails: the delete is refused.
    ASSERT_EQ(mkdir(variable_path("Quiplex").c_str(), 0755), 0);
    EXPECT_EQ(write_variable("Quiplex", GUID, nullptr, 0, 7), STATUS_ACCESS_DENIED);
    // Opening a directory for writing fails with EISDIR: a plain write failure.
    EXPECT_EQ(write_variable("Quiplex", GUID, data, sizeof data, 7), STATUS_WRITE_FAILED);

    // An append-only file refuses O_TRUNC with EPERM.
    reset_efivars(MOUNTED);
    put_variable_file("Quiplex", le32_then(7, {1}));
    set_inode_flags("Quiplex", FS_APPEND_FL);
    EXPECT_EQ(write_variable("Quiplex", GUID, data, sizeof data, 7), STATUS_ACCESS_DENIED);
    set_inode_flags("Quiplex", 0);

    // A full variable store takes no data: the single write fails.
    reset_efivars(MOUNTED_SMALL);
    fill_efivars();
    EXPECT_EQ(write_variable("Quiplex", GUID, data, sizeof data, 7), STATUS_WRITE_FAULT);
}

} // namespace
