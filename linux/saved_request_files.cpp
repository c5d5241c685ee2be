// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The saved request as files under /run/quiplex: written whole under a temporary name, renamed.
#include "saved_request_files.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sleep_guard.h"

namespace {

constexpr char TEMPORARY_FILE[] = "/run/quiplex/.saving";

constexpr StatusMapping READ_ERRORS[] = {
    {EACCES, STATUS_ACCESS_DENIED},
    {EPERM, STATUS_ACCESS_DENIED},
    {ENOENT, STATUS_NOT_FOUND},
    {ENOTDIR, STATUS_NOT_FOUND},
};

constexpr StatusMapping WRITE_ERRORS[] = {
    {EACCES, STATUS_ACCESS_DENIED},
    {EPERM, STATUS_ACCESS_DENIED},
    {EROFS, STATUS_ACCESS_DENIED},
};

template <size_t N> StatusCode map_errno(const StatusMapping (&table)[N], StatusCode fallback)
{
    return map_status(table, N, static_cast<uint64_t>(errno), fallback);
}

bool read_fully(int fd, uint8_t *buffer, size_t count)
{
    while (count > 0) {
        const ssize_t got = read(fd, buffer, count);
        if (got <= 0)
            return false;
        buffer += got;
        count -= static_cast<size_t>(got);
    }
    return true;
}

bool write_fully(int fd, const uint8_t *data, size_t count)
{
    while (count > 0) {
        const ssize_t put = write(fd, data, count);
        if (put <= 0)
            return false;
        data += put;
        count -= static_cast<size_t>(put);
    }
    return true;
}

StatusCode load(uint8_t *buffer, size_t capacity, size_t *size, bool *none_pending)
{
    // O_NOFOLLOW: only root writes /run, but a link planted there must still not be followed.
    const int fd = open(SAVED_REQUEST_FILE, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            return map_errno(READ_ERRORS, STATUS_READ_FAILED);
        struct stat record;
        if (lstat(NO_REQUEST_FILE, &record) != 0)
            return map_errno(READ_ERRORS, STATUS_READ_FAILED);
        *none_pending = true;
        *size = 0;
        return STATUS_SUCCESS;
    }
    struct stat file;
    StatusCode status = STATUS_SUCCESS;
    if (fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
        status = STATUS_READ_FAILED;
    } else {
        *none_pending = false;
        *size = static_cast<size_t>(file.st_size);
        const size_t wanted = *size < capacity ? *size : capacity;
        if (!read_fully(fd, buffer, wanted))
            status = STATUS_READ_FAULT;
        // A file under /run can be changed between the two runs: one no request left stays out.
        else if (*size < SAVED_REQUEST_MINIMUM || *size > capacity)
            status = STATUS_CORRUPT;
    }
    close(fd);
    return status;
}

StatusCode save(const uint8_t *copy, size_t size)
{
    if (mkdir(SAVED_REQUEST_DIRECTORY, 0700) != 0 && errno != EEXIST)
        return map_errno(WRITE_ERRORS, STATUS_WRITE_FAILED);
    struct stat directory;
    if (lstat(SAVED_REQUEST_DIRECTORY, &directory) != 0 || !S_ISDIR(directory.st_mode))
        return STATUS_WRITE_FAILED;
    const int fd =
        open(TEMPORARY_FILE, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return map_errno(WRITE_ERRORS, STATUS_WRITE_FAILED);
    const bool written = copy == nullptr || write_fully(fd, copy, size);
    // The rename makes the copy appear whole or not at all, whenever the process is stopped.
    if (close(fd) != 0 || !written ||
        rename(TEMPORARY_FILE, copy != nullptr ? SAVED_REQUEST_FILE : NO_REQUEST_FILE) != 0) {
        unlink(TEMPORARY_FILE);
        return STATUS_WRITE_FAULT;
    }
    return STATUS_SUCCESS;
}

StatusCode remove_saved()
{
    const char *paths[] = {SAVED_REQUEST_FILE, NO_REQUEST_FILE};
    for (const char *path : paths) {
        if (unlink(path) != 0 && errno != ENOENT)
            return map_errno(WRITE_ERRORS, STATUS_WRITE_FAILED);
    }
    return STATUS_SUCCESS;
}

} // namespace

const SavedRequestCalls SAVED_REQUEST_FILES = {load, save, remove_saved};
