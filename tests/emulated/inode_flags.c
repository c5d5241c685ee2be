// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
/* Prints a file's inode flags in hexadecimal (the initramfs has no lsattr). */
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    unsigned flags = 0;
    int fd = argc > 1 ? open(argv[1], O_RDONLY) : -1;
    if (fd < 0 || ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
        puts("flags: unknown");
        return 1;
    }
    close(fd);
    printf("flags: %#x immutable=%s\n", flags, (flags & FS_IMMUTABLE_FL) ? "yes" : "no");
    return 0;
}
