// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The efivarfs store and the saved-request files over substituted system calls (ld --wrap): the
// error rows a real file system cannot be made to produce, and the exact calls made.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "saved_request_files.h"
#include "variable_store.h"

namespace {

constexpr char EFIVARS[] = "/sys/firmware/efi/efivars";
constexpr int FAKE_FD = 900;

struct FakeCalls {
    bool dot_fails, dotdot_fails, same_device;
    int read_open_errno, write_open_errno;
    bool fstat_fails;
    long long file_size;
    ssize_t attribute_read, data_read; // -2: the full count asked for
    ssize_t write_result;              // -2: the full count
    int flags_errno;
    unsigned flags;
    int access_errno, unlink_errno;
    bool no_request_file; // /run/quiplex/no-request exists
    std::vector<std::string> log;
    std::vector<uint8_t> written;
    int open_fds;
    int reads;
    int fd;              // the descriptor the open hands out
    mode_t created_mode; // of the last open that may create
};

FakeCalls fake;

void reset_fake()
{
    fake = FakeCalls{};
    fake.file_size = 8;
    fake.attribute_read = fake.data_read = fake.write_result = -2;
    fake.fd = FAKE_FD;
}

bool ours(const char *path)
{
    return strncmp(path, EFIVARS, sizeof EFIVARS - 1) == 0 ||
           strncmp(path, SAVED_REQUEST_DIRECTORY, sizeof SAVED_REQUEST_DIRECTORY - 1) == 0;
}

bool ours(int fd)
{
    return fd == fake.fd;
}

int fail(int error)
{
    errno = error;
    return -1;
}

int fake_open(const char *path, int flags)
{
    fake.log.push_back("open " + std::to_string(flags) + " " + (strrchr(path, '/') + 1));
    const int error =
        (flags & O_ACCMODE) == O_RDONLY ? fake.read_open_errno : fake.write_open_errno;
    if (error != 0)
        return fail(error);
    fake.open_fds++;
    return fake.fd;
}

int fake_fstat(struct stat64 *st)
{
    fake.log.push_back("fstat");
    if (fake.fstat_fails)
        return fail(EIO);
    memset(st, 0, sizeof *st);
    st->st_mode = S_IFREG | 0600;
    st->st_size = fake.file_size;
    return 0;
}

} // namespace

extern "C" {
int __real_stat64(const char *, struct stat64 *);
int __real_fstat64(int, struct stat64 *);
int __real_fstat(int, struct stat *);
int __real_lstat(const char *, struct stat *);
int __real_mkdir(const char *, mode_t);
int __real_rename(const char *, const char *);
int __real_open64(const char *, int, ...);
int __real_open(const char *, int, ...);
ssize_t __real_read(int, void *, size_t);
ssize_t __real_write(int, const void *, size_t);
int __real_close(int);
int __real_ioctl(int, unsigned long, void *);
int __real_access(const char *, int);
int __real_unlink(const char *);

int __wrap_stat64(const char *path, struct stat64 *st)
{
    if (!ours(path))
        return __real_stat64(path, st);
    const bool parent = strcmp(path, "/sys/firmware/efi/efivars/..") == 0;
    fake.log.push_back(parent ? "stat .." : "stat .");
    if (parent ? fake.dotdot_fails : fake.dot_fails)
        return fail(ENOENT);
    memset(st, 0, sizeof *st);
    st->st_dev = parent && !fake.same_device ? 2 : 1;
    return 0;
}

int __wrap_open64(const char *path, int flags, mode_t mode)
{
    if (flags & O_CREAT)
        fake.created_mode = mode;
    return ours(path) ? fake_open(path, flags) : __real_open64(path, flags, mode);
}

int __wrap_open(const char *path, int flags, mode_t mode)
{
    return ours(path) ? fake_open(path, flags) : __real_open(path, flags, mode);
}

int __wrap_fstat64(int fd, struct stat64 *st)
{
    return ours(fd) ? fake_fstat(st) : __real_fstat64(fd, st);
}

int __wrap_fstat(int fd, struct stat *st)
{
    static_assert(sizeof(struct stat) == sizeof(struct stat64), "x86-64: one stat layout");
    return ours(fd) ? fake_fstat(reinterpret_cast<struct stat64 *>(st)) : __real_fstat(fd, st);
}

int __wrap_lstat(const char *path, struct stat *st)
{
    if (!ours(path))
        return __real_lstat(path, st);
    fake.log.push_back(std::string("lstat ") + (strrchr(path, '/') + 1));
    memset(st, 0, sizeof *st);
    if (strcmp(path, SAVED_REQUEST_DIRECTORY) == 0)
        st->st_mode = S_IFDIR | 0700;
    else if (strcmp(path, NO_REQUEST_FILE) == 0 && fake.no_request_file)
        st->st_mode = S_IFREG | 0600;
    else
        return fail(ENOENT);
    return 0;
}

int __wrap_mkdir(const char *path, mode_t mode)
{
    if (!ours(path))
        return __real_mkdir(path, mode);
    fake.log.push_back("mkdir");
    return 0;
}

int __wrap_rename(const char *from, const char *to)
{
    if (!ours(to))
        return __real_rename(from, to);
    fake.log.push_back(std::string("rename ") + (strrchr(to, '/') + 1));
    return 0;
}

ssize_t __wrap_read(int fd, void *buffer, size_t count)
{
    if (!ours(fd))
        return __real_read(fd, buffer, count);
    fake.log.push_back("read " + std::to_string(count));
    if (fake.reads > 4) {
        ADD_FAILURE() << "read again after " << fake.reads << " reads";
        return fail(EIO);
    }
    const ssize_t result = fake.reads++ == 0 ? fake.attribute_read : fake.data_read;
    const ssize_t n = result == -2 ? ssize_t(count) : result;
    if (n > 0)
        memset(buffer, fake.reads == 1 ? 0x07 : 0x5D, size_t(n));
    return n < 0 ? fail(EIO) : n;
}

ssize_t __wrap_write(int fd, const void *data, size_t count)
{
    if (!ours(fd))
        return __real_write(fd, data, count);
    fake.log.push_back("write " + std::to_string(count));
    fake.written.assign(static_cast<const uint8_t *>(data),
                        static_cast<const uint8_t *>(data) + count);
    if (fake.log.size() > 16) {
        ADD_FAILURE() << "write after write";
        return fail(EIO);
    }
    return fake.write_result == -2 ? ssize_t(count)
           : fake.write_result < 0 ? fail(ENOSPC)
                                   : std::min(ssize_t(count), fake.write_result);
}

int __wrap_close(int fd)
{
    if (!ours(fd))
        return __real_close(fd);
    fake.log.push_back("close");
    fake.open_fds--;
    return 0;
}

int __wrap_ioctl(int fd, unsigned long request, void *argument)
{
    if (!ours(fd))
        return __real_ioctl(fd, request, argument);
    unsigned *flags = static_cast<unsigned *>(argument);
    if (fake.flags_errno != 0) {
        fake.log.push_back("ioctl refused");
        return fail(fake.flags_errno);
    }
    if (request == FS_IOC_GETFLAGS) {
        fake.log.push_back("getflags");
        *flags = fake.flags;
    } else {
        fake.log.push_back("setflags " + std::to_string(*flags));
        fake.flags = *flags;
    }
    return 0;
}

int __wrap_access(const char *path, int mode)
{
    if (!ours(path))
        return __real_access(path, mode);
    fake.log.push_back("access");
    return fake.access_errno != 0 ? fail(fake.access_errno) : 0;
}

int __wrap_unlink(const char *path)
{
    if (!ours(path))
        return __real_unlink(path);
    fake.log.push_back(std::string("unlink ") + (strrchr(path, '/') + 1));
    return fake.unlink_errno != 0 ? fail(fake.unlink_errno) : 0;
}
}

namespace {

constexpr char QUIPLEX_FILE[] = "Quiplex-81686ef9-7f6f-42e3-9371-696de9bf6299";
constexpr char ZARVEX_FILE[] = "ZarvexUEFI-81686ef9-7f6f-42e3-9371-696de9bf6299";

TEST(EfivarfsSyscalls, ReadRows)
{
    const struct {
        const char *what;
        void (*set_up)();
        StatusCode status;
        size_t size_after;
    } cases[] = {
        {"no directory", [] { fake.dot_fails = true; }, STATUS_NOT_SUPPORTED, 4},
        {"no parent", [] { fake.dotdot_fails = true; }, STATUS_NO_EFIVARS_PARENT, 4},
        {"not mounted", [] { fake.same_device = true; }, STATUS_NOT_MOUNTED, 4},
        {"open EPERM", [] { fake.read_open_errno = EPERM; }, STATUS_ACCESS_DENIED, 0},
        {"open ENOENT", [] { fake.read_open_errno = ENOENT; }, STATUS_NOT_FOUND, 0},
        {"open EACCES", [] { fake.read_open_errno = EACCES; }, STATUS_READ_FAILED, 0},
        {"open EIO", [] { fake.read_open_errno = EIO; }, STATUS_READ_FAILED, 0},
        {"fstat fails", [] { fake.fstat_fails = true; }, STATUS_READ_FAILED, 0},
        {"attributes only", [] { fake.file_size = 4; }, STATUS_CORRUPT, 0},
        {"shorter than attributes", [] { fake.file_size = 3; }, STATUS_CORRUPT, 0},
        {"beyond 32 bits", [] { fake.file_size = 0x100000003LL; }, STATUS_CORRUPT, 0},
        {"larger than buffer", [] { fake.file_size = 9; }, STATUS_BUFFER_TOO_SMALL, 0},
        {"short attribute read", [] { fake.attribute_read = 3; }, STATUS_READ_FAULT, 0},
        {"failed attribute read", [] { fake.attribute_read = -1; }, STATUS_READ_FAULT, 0},
        {"short data read", [] { fake.data_read = 3; }, STATUS_READ_FAULT, 0},
        {"fits exactly", [] { fake.file_size = 8; }, STATUS_SUCCESS, 4},
        {"smaller than buffer", [] { fake.file_size = 7; }, STATUS_SUCCESS, 3},
    };
    for (const auto &c : cases) {
        reset_fake();
        c.set_up();
        uint8_t buffer[4] = {};
        size_t size = sizeof buffer;
        uint32_t attributes = 0;
        EXPECT_EQ(read_variable("ZarvexUEFI", VENDOR_GUID_TEXT, buffer, &size, &attributes),
                  c.status)
            << c.what;
        EXPECT_EQ(size, c.size_after) << c.what;
        EXPECT_EQ(fake.open_fds, 0) << c.what << ": every descriptor closed";
        EXPECT_LE(fake.reads, 2) << c.what;
        if (c.status == STATUS_SUCCESS || c.status == STATUS_READ_FAULT)
            EXPECT_EQ(fake.log[2], "open 0 " + std::string(ZARVEX_FILE)) << c.what;
        if (c.status == STATUS_SUCCESS)
            EXPECT_EQ(attributes, 0x07070707u) << c.what;
    }
}

TEST(EfivarfsSyscalls, WriteIsOneOpenWithFlags0x242AndOneWrite)
{
    reset_fake();
    fake.read_open_errno = ENOENT; // no file yet: no flags to clear
    const uint8_t current[] = {0xFB, 0xFF, 0, 0, 0, 0};
    EXPECT_EQ(write_variable("Quiplex", VENDOR_GUID_TEXT, current, sizeof current, 7),
              STATUS_SUCCESS);
    const std::vector<std::string> expected = {"stat .",
                                               "stat ..",
                                               "open 0 " + std::string(QUIPLEX_FILE),
                                               "open 578 " + std::string(QUIPLEX_FILE),
                                               "write 10",
                                               "close"};
    EXPECT_EQ(fake.log, expected);
    EXPECT_EQ(fake.written, (std::vector<uint8_t>{7, 0, 0, 0, 0xFB, 0xFF, 0, 0, 0, 0}));
}

TEST(EfivarfsSyscalls, ImmutableFlagClearedForTheWriteAndPutBack)
{
    reset_fake();
    fake.flags = FS_IMMUTABLE_FL | FS_NOATIME_FL;
    const uint8_t data[] = {1, 0, 0, 0, 0, 0};
    EXPECT_EQ(write_variable("Quiplex", VENDOR_GUID_TEXT, data, sizeof data, 7), STATUS_SUCCESS);
    const std::string both = std::to_string(FS_IMMUTABLE_FL | FS_NOATIME_FL);
    const std::vector<std::string> expected = {"stat .",
                                               "stat ..",
                                               "open 0 " + std::string(QUIPLEX_FILE),
                                               "getflags",
                                               "setflags " + std::to_string(FS_NOATIME_FL),
                                               "open 578 " + std::string(QUIPLEX_FILE),
                                               "write 10",
                                               "close",
                                               "setflags " + both,
                                               "close"};
    EXPECT_EQ(fake.log, expected);
}

TEST(EfivarfsSyscalls, DeleteHoldsTheFlagDescriptorAndRestoresOnlyWhenTheFileStays)
{
    const std::string both = std::to_string(FS_IMMUTABLE_FL | FS_NOATIME_FL);
    const std::string file(QUIPLEX_FILE);
    const std::vector<std::string> head = {
        "stat .",         "stat ..",  "access",
        "open 0 " + file, "getflags", "setflags " + std::to_string(FS_NOATIME_FL),
        "unlink " + file};
    for (const int unlink_errno : {0, EBUSY}) {
        reset_fake();
        fake.flags = FS_IMMUTABLE_FL | FS_NOATIME_FL;
        fake.unlink_errno = unlink_errno;
        EXPECT_EQ(write_variable("Quiplex", VENDOR_GUID_TEXT, nullptr, 0, 7),
                  unlink_errno == 0 ? STATUS_SUCCESS : STATUS_ACCESS_DENIED);
        std::vector<std::string> expected = head;
        if (unlink_errno != 0)
            expected.push_back("setflags " + both);
        expected.push_back("close");
        EXPECT_EQ(fake.log, expected) << unlink_errno;
        EXPECT_EQ(fake.open_fds, 0) << unlink_errno;
    }
}

TEST(EfivarfsSyscalls, FileSystemWithoutFlagsIsNoError)
{
    for (int error : {ENOTTY, EOPNOTSUPP, EINVAL, ENOSYS}) {
        reset_fake();
        fake.flags_errno = error;
        const uint8_t data[] = {1, 0, 0, 0, 0, 0};
        EXPECT_EQ(write_variable("Quiplex", VENDOR_GUID_TEXT, data, sizeof data, 7),
                  STATUS_SUCCESS);
        EXPECT_EQ(fake.open_fds, 0);
        fake.log.clear();
        fake.access_errno = 0;
        EXPECT_EQ(write_variable("Quiplex", VENDOR_GUID_TEXT, nullptr, 0, 7), STATUS_SUCCESS);
    }
}

TEST(EfivarfsSyscalls, WriteRows)
{
    const struct {
        const char *what;
        void (*set_up)();
        size_t size;
        StatusCode status;
        int writes;
    } cases[] = {
        {"no directory", [] { fake.dot_fails = true; }, 6, STATUS_NOT_SUPPORTED, 0},
        {"no parent", [] { fake.dotdot_fails = true; }, 6, STATUS_NO_EFIVARS_PARENT, 0},
        {"not mounted", [] { fake.same_device = true; }, 0, STATUS_NOT_MOUNTED, 0},
        {"open EPERM", [] { fake.write_open_errno = EPERM; }, 6, STATUS_ACCESS_DENIED, 0},
        {"open EACCES", [] { fake.write_open_errno = EACCES; }, 6, STATUS_WRITE_FAILED, 0},
        {"open ENOSPC", [] { fake.write_open_errno = ENOSPC; }, 6, STATUS_WRITE_FAILED, 0},
        {"short write", [] { fake.write_result = 5; }, 6, STATUS_WRITE_FAULT, 1},
        {"failed write", [] { fake.write_result = -1; }, 6, STATUS_WRITE_FAULT, 1},
        {"delete, absent", [] { fake.access_errno = ENOENT; }, 0, STATUS_NOT_FOUND, 0},
        {"delete, access EACCES", [] { fake.access_errno = EACCES; }, 0, STATUS_NOT_FOUND, 0},
        {"delete refused", [] { fake.unlink_errno = EBUSY; }, 0, STATUS_ACCESS_DENIED, 0},
        {"deleted", [] {}, 0, STATUS_SUCCESS, 0},
    };
    for (const auto &c : cases) {
        reset_fake();
        c.set_up();
        const uint8_t data[] = {2, 0, 0, 0, 0, 0};
        EXPECT_EQ(write_variable("Quiplex", VENDOR_GUID_TEXT, data, c.size, 7), c.status) << c.what;
        int writes = 0;
        for (const std::string &call : fake.log)
            writes += call.rfind("write", 0) == 0;
        EXPECT_EQ(writes, c.writes) << c.what << ": a short write is never continued";
        EXPECT_EQ(fake.open_fds, 0) << c.what;
    }
}

// Descriptor 0 is free whenever stdin was closed; the flags are touched only when immutable.
TEST(EfivarfsSyscalls, DescriptorZeroAndFlagsTouchedOnlyWhenImmutable)
{
    const std::string file(QUIPLEX_FILE), immutable = std::to_string(FS_IMMUTABLE_FL);
    const std::vector<std::string> head = {"stat .", "stat ..", "open 0 " + file};
    const struct {
        const char *what;
        int read_open_errno, write_open_errno;
        unsigned flags;
        StatusCode status;
        std::vector<std::string> tail;
    } cases[] = {
        {"new file", ENOENT, 0, 0, STATUS_SUCCESS, {"open 578 " + file, "write 10", "close"}},
        {"not immutable",
         0,
         0,
         FS_NOATIME_FL,
         STATUS_SUCCESS,
         {"getflags", "close", "open 578 " + file, "write 10", "close"}},
        {"open refused",
         0,
         EPERM,
         FS_IMMUTABLE_FL,
         STATUS_ACCESS_DENIED,
         {"getflags", "setflags 0", "open 578 " + file, "setflags " + immutable, "close"}},
    };
    for (const auto &c : cases) {
        reset_fake();
        fake.fd = 0;
        fake.read_open_errno = c.read_open_errno;
        fake.write_open_errno = c.write_open_errno;
        fake.flags = c.flags;
        const uint8_t data[] = {2, 0, 0, 0, 0, 0};
        EXPECT_EQ(write_variable("Quiplex", VENDOR_GUID_TEXT, data, sizeof data, 7), c.status)
            << c.what;
        std::vector<std::string> expected = head;
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(fake.log, expected) << c.what;
        if (c.status == STATUS_SUCCESS)
            EXPECT_EQ(fake.created_mode, 0644u) << c.what;
    }
    reset_fake();
    fake.fd = 0;
    uint8_t buffer[4];
    size_t size = sizeof buffer;
    EXPECT_EQ(read_variable("Quiplex", VENDOR_GUID_TEXT, buffer, &size, nullptr), STATUS_SUCCESS);
}

// The path is formed in 128 bytes; a longer one is cut there and still loses its last character.
TEST(EfivarfsSyscalls, LongNamesAreCutToThePathBuffer)
{
    const std::string guid = std::string(VENDOR_GUID_TEXT + 1, 36); // without its braces
    const struct {
        size_t name_length; // the formed path is 64 characters longer
        std::string file;
    } cases[] = {
        {63, std::string(63, 'n') + "-" + guid},
        {64, std::string(64, 'n') + "-" + guid.substr(0, 35)},
    };
    for (const auto &c : cases) {
        reset_fake();
        uint8_t buffer[4];
        size_t size = sizeof buffer;
        read_variable(std::string(c.name_length, 'n').c_str(), VENDOR_GUID_TEXT, buffer, &size,
                      nullptr);
        ASSERT_GE(fake.log.size(), 3u);
        EXPECT_EQ(fake.log[2], "open 0 " + c.file) << c.name_length;
    }
}

// The saved copy is read and written whole however the kernel splits the transfer; an early end
// of the file, or a write that makes no progress, is a fault rather than another round.
TEST(SavedRequestFiles, TransfersAreCompletedOrFail)
{
    const struct {
        const char *what;
        ssize_t first, later; // a read or write returns this (-2: all it was asked for)
        StatusCode status;
        std::vector<std::string> calls;
    } loads[] = {
        {"whole", -2, -2, STATUS_SUCCESS, {"read 4"}},
        {"in two", 3, -2, STATUS_SUCCESS, {"read 4", "read 1"}},
        {"ends early", 3, 0, STATUS_READ_FAULT, {"read 4", "read 1"}},
        {"fails", -1, -2, STATUS_READ_FAULT, {"read 4"}},
    };
    for (const auto &c : loads) {
        reset_fake();
        fake.file_size = 4;
        fake.attribute_read = c.first;
        fake.data_read = c.later;
        uint8_t copy[8] = {};
        size_t size = 0;
        bool none_pending = true;
        EXPECT_EQ(SAVED_REQUEST_FILES.load(copy, sizeof copy, &size, &none_pending), c.status)
            << c.what;
        std::vector<std::string> expected = {
            "open " + std::to_string(O_RDONLY | O_NOFOLLOW | O_CLOEXEC) + " request", "fstat"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        expected.push_back("close");
        EXPECT_EQ(fake.log, expected) << c.what;
        if (c.status == STATUS_SUCCESS) {
            EXPECT_EQ(size, 4u) << c.what;
            EXPECT_FALSE(none_pending) << c.what;
            EXPECT_EQ(copy[3], c.first == 3 ? 0x5D : 0x07) << c.what << ": the last byte read";
        }
    }
    const struct {
        const char *what;
        ssize_t result;
        StatusCode status;
        std::vector<std::string> calls;
    } saves[] = {
        {"whole", -2, STATUS_SUCCESS, {"write 4", "close", "rename request"}},
        {"in two", 3, STATUS_SUCCESS, {"write 4", "write 1", "close", "rename request"}},
        {"no progress", 0, STATUS_WRITE_FAULT, {"write 4", "close", "unlink .saving"}},
        {"fails", -1, STATUS_WRITE_FAULT, {"write 4", "close", "unlink .saving"}},
    };
    for (const auto &c : saves) {
        reset_fake();
        fake.write_result = c.result;
        const uint8_t copy[] = {1, 0, 0, 0};
        EXPECT_EQ(SAVED_REQUEST_FILES.save(copy, sizeof copy), c.status) << c.what;
        const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
        std::vector<std::string> expected = {"mkdir", "lstat quiplex",
                                             "open " + std::to_string(flags) + " .saving"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_EQ(fake.log, expected) << c.what;
    }
    // Nothing was pending at the suspend: a marker file, and a size of 0.
    reset_fake();
    fake.read_open_errno = ENOENT;
    fake.no_request_file = true;
    uint8_t copy[8];
    size_t size = 9;
    bool none_pending = false;
    EXPECT_EQ(SAVED_REQUEST_FILES.load(copy, sizeof copy, &size, &none_pending), STATUS_SUCCESS);
    EXPECT_TRUE(none_pending);
    EXPECT_EQ(size, 0u);
}

} // namespace
