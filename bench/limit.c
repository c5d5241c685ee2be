// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
/* The least work the same one-shot request needs on this kernel: read the boot manager's
 * variable as the probe must (open, fstat, two reads, close), then, the request's file being
 * immutable, clear the flag, open, one write, close, and put the flag back through the descriptor
 * that cleared it, and send the one audit record a write sends, through syslog(3) as quiplexlnx
 * does. (quiplexlnx also checks twice that efivarfs is mounted; that stays out.) */
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#define EFIVARS "/sys/firmware/efi/efivars/"
#define GUID "81686ef9-7f6f-42e3-9371-696de9bf6299"

static void probe(void)
{
    unsigned char buffer[8];
    struct stat st;
    int fd = open(EFIVARS "ZarvexUEFI-" GUID, O_RDONLY);
    if (fd < 0)
        return;
    fstat(fd, &st);
    /* Fortify wants the results used; the probe reads both halves whatever they hold. */
    ssize_t got = read(fd, buffer, 4);
    got += read(fd, buffer + 4, 4);
    (void)got;
    close(fd);
}

int main(void)
{
    static const unsigned char record[] = {7, 0, 0, 0, 1, 0, 0, 0, 0, 0};
    probe();
    unsigned flags = 0, cleared = 0;
    int meta = open(EFIVARS "Quiplex-" GUID, O_RDONLY);
    if (meta >= 0 && ioctl(meta, FS_IOC_GETFLAGS, &flags) == 0) {
        cleared = flags & ~FS_IMMUTABLE_FL;
        ioctl(meta, FS_IOC_SETFLAGS, &cleared);
    }
    int fd = open(EFIVARS "Quiplex-" GUID, O_RDWR | O_CREAT | O_TRUNC, 0644);
    int ok = fd >= 0 && write(fd, record, sizeof record) == (ssize_t)sizeof record;
    if (fd >= 0)
        close(fd);
    if (meta >= 0) {
        ioctl(meta, FS_IOC_SETFLAGS, &flags);
        close(meta);
    }
    if (ok) {
        openlog("limit", LOG_PID, LOG_USER);
        syslog(LOG_NOTICE, "uid %u: 1 (item 1) will be started at the next boot", getuid());
        closelog();
    }
    return ok ? 0 : 1;
}
