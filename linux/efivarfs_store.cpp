// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// read_variable and write_variable over efivarfs, one file per firmware variable.
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bounded_format.h"
#include "efivarfs_store.h"
#include "guid_text.h"
#include "variable_store.h"

namespace {

constexpr size_t PATH_CAPACITY = 128;
constexpr size_t MOUNT_CHECK_PATH_CAPACITY = 30;
constexpr size_t ATTRIBUTES_SIZE = 4;

constexpr StatusMapping READ_OPEN_ERRORS[] = {
    {EPERM, STATUS_ACCESS_DENIED},
    {ENOENT, STATUS_NOT_FOUND},
};

constexpr StatusMapping WRITE_OPEN_ERRORS[] = {
    {EPERM, STATUS_ACCESS_DENIED},
};

template <size_t N>
StatusCode map_errno(const StatusMapping (&table)[N], int error, StatusCode fallback)
{
    return map_status(table, N, static_cast<uint64_t>(error), fallback);
}

void form_variable_path(char (&path)[PATH_CAPACITY], const char *name, const char *guid_text)
{
    // The GUID text goes in without its braces: skip the first character here and drop
    // the last one of the formed text below.
    bounded_format(path, sizeof path, "%s/%s-%s", EFIVARS_DIRECTORY, name, guid_text + 1);
    path[strlen(path) - 1] = '\0';
}

// Since Linux 4.5 efivarfs marks the file of every variable outside the kernel's own list
// immutable, so an existing "Quiplex" can neither be rewritten nor removed until the flag is
// cleared. The descriptor that cleared the flag stays open to put it back afterwards, which
// spares opening the file again. A file system without inode flags (ENOTTY, EOPNOTSUPP,
// EINVAL, ENOSYS) has nothing to clear; any other refusal surfaces at the open or unlink that
// follows.
struct ClearedFlags {
    int fd;         // open only while there are flags to put back
    unsigned flags; // the flags as they were, immutable bit included
};

constexpr ClearedFlags NOTHING_CLEARED{-1, {}};

ClearedFlags clear_immutable(const char *path)
{
    const int fd = open64(path, O_RDONLY);
    if (fd < 0)
        return NOTHING_CLEARED;
    unsigned flags{};
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL) != 0) {
        unsigned cleared = flags & ~static_cast<unsigned>(FS_IMMUTABLE_FL);
        if (ioctl(fd, FS_IOC_SETFLAGS, &cleared) == 0)
            return {fd, flags};
    }
    close(fd);
    return NOTHING_CLEARED;
}

// Puts the flags back (when `restore`) and closes the descriptor; best effort.
void release_flags(const ClearedFlags &cleared, bool restore)
{
    if (cleared.fd < 0)
        return;
    if (restore) {
        unsigned flags = cleared.flags;
        (void)ioctl(cleared.fd, FS_IOC_SETFLAGS, &flags);
    }
    close(cleared.fd);
}

StatusCode delete_variable_file(const char *path)
{
    if (access(path, F_OK) != 0)
        return STATUS_NOT_FOUND;
    const ClearedFlags cleared = clear_immutable(path);
    if (unlink(path) != 0) {
        release_flags(cleared, true);
        return STATUS_ACCESS_DENIED;
    }
    // The file is gone; its flags no longer matter.
    release_flags(cleared, false);
    return STATUS_SUCCESS;
}

StatusCode write_variable_file(const char *path, const void *data, size_t size, uint32_t attributes)
{
    // Allocated before the open, whose O_TRUNC would otherwise empty a file we then could
    // not write.
    uint8_t *record = static_cast<uint8_t *>(malloc(size + ATTRIBUTES_SIZE));
    if (record == nullptr)
        return STATUS_NO_MEMORY;
    store_u32_le(record, attributes);
    memcpy(record + ATTRIBUTES_SIZE, data, size);

    const ClearedFlags cleared = clear_immutable(path);
    const int fd = open64(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        const int error = errno;
        free(record);
        release_flags(cleared, true);
        return map_errno(WRITE_OPEN_ERRORS, error, STATUS_WRITE_FAILED);
    }
    // Attributes and data must reach efivarfs in one write: each write is one SetVariable.
    const ssize_t written = write(fd, record, size + ATTRIBUTES_SIZE);
    const StatusCode status = written == static_cast<ssize_t>(size + ATTRIBUTES_SIZE)
                                  ? STATUS_SUCCESS
                                  : STATUS_WRITE_FAULT;
    free(record);
    close(fd);
    release_flags(cleared, true);
    return status;
}

} // namespace

static_assert(O_RDWR == 02 && O_CREAT == 0100 && O_TRUNC == 01000,
              "efivarfs files are opened with the flag value 0x242");
static_assert(sizeof(EFIVARS_DIRECTORY) + 3 <= MOUNT_CHECK_PATH_CAPACITY,
              "the mount-check paths fit their buffer");

StatusCode check_efivarfs_mounted()
{
    char path[MOUNT_CHECK_PATH_CAPACITY];
    bounded_format(path, sizeof path, "%s/%s", EFIVARS_DIRECTORY, ".");
    struct stat64 directory;
    if (stat64(path, &directory) != 0)
        return STATUS_NOT_SUPPORTED;
    const size_t length = strlen(path);
    path[length] = '.';
    path[length + 1] = '\0';
    struct stat64 parent;
    if (stat64(path, &parent) != 0)
        return STATUS_NO_EFIVARS_PARENT;
    // The same device as the parent means the directory is not a mount point.
    return directory.st_dev == parent.st_dev ? STATUS_NOT_MOUNTED : STATUS_SUCCESS;
}

StatusCode read_variable(const char *name, const char *guid_text, void *buffer, size_t *size,
                         uint32_t *attributes)
{
    if (name == nullptr || !guid_text_is_valid(guid_text))
        return STATUS_INVALID_PARAMETER;
    const StatusCode mounted = check_efivarfs_mounted();
    if (mounted != STATUS_SUCCESS)
        return mounted;

    char path[PATH_CAPACITY];
    form_variable_path(path, name, guid_text);
    const int fd = open64(path, O_RDONLY);
    if (fd < 0) {
        *size = 0;
        return map_errno(READ_OPEN_ERRORS, errno, STATUS_READ_FAILED);
    }
    StatusCode status = STATUS_SUCCESS;
    struct stat64 file;
    int32_t data_size{};
    uint32_t value{};
    if (fstat64(fd, &file) != 0) {
        status = STATUS_READ_FAILED;
    } else if ((data_size = static_cast<int32_t>(file.st_size) - 4) <= 0) {
        status = STATUS_CORRUPT;
    } else if (static_cast<uint32_t>(data_size) > *size) {
        status = STATUS_BUFFER_TOO_SMALL;
    } else if (read(fd, &value, ATTRIBUTES_SIZE) != static_cast<ssize_t>(ATTRIBUTES_SIZE)) {
        status = STATUS_READ_FAULT;
    } else {
        if (attributes != nullptr)
            *attributes = value;
        if (read(fd, buffer, static_cast<size_t>(data_size)) != data_size)
            status = STATUS_READ_FAULT;
    }
    close(fd);
    *size = status == STATUS_SUCCESS ? static_cast<size_t>(data_size) : 0;
    return status;
}

StatusCode write_variable(const char *name, const char *guid_text, const void *data, size_t size,
                          uint32_t attributes)
{
    const StatusCode mounted = check_efivarfs_mounted();
    if (mounted != STATUS_SUCCESS)
        return mounted;
    char path[PATH_CAPACITY];
    form_variable_path(path, name, guid_text);
    if (size == 0)
        return delete_variable_file(path);
    return write_variable_file(path, data, size, attributes);
}
