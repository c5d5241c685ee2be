/* The least the same one-shot request costs on this kernel: the variable's file is immutable,
 * so clear the flag, open, one write, close, and put the flag back. With --probe it first reads
 * the boot manager's variable as quiplexlnx must (open, fstat, two reads, close). */
#include <fcntl.h>
#include <linux/fs.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#define PATH "/sys/firmware/efi/efivars/Quiplex-81686ef9-7f6f-42e3-9371-696de9bf6299"

static void probe(void)
{
    unsigned char buffer[8];
    struct stat st;
    int fd =
        open("/sys/firmware/efi/efivars/ZarvexUEFI-81686ef9-7f6f-42e3-9371-696de9bf6299", O_RDONLY);
    if (fd < 0)
        return;
    fstat(fd, &st);
    read(fd, buffer, 4);
    read(fd, buffer + 4, 4);
    close(fd);
}

int main(int argc, char **argv)
{
    if (argc > 1 && strcmp(argv[1], "--probe") == 0)
        probe();
    static const unsigned char record[] = {7, 0, 0, 0, 1, 0, 0, 0, 0, 0};
    unsigned flags = 0, cleared = 0;
    int meta = open(PATH, O_RDONLY);
    if (meta >= 0 && ioctl(meta, FS_IOC_GETFLAGS, &flags) == 0) {
        cleared = flags & ~FS_IMMUTABLE_FL;
        ioctl(meta, FS_IOC_SETFLAGS, &cleared);
    }
    int fd = open(PATH, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return 1;
    int ok = write(fd, record, sizeof record) == (ssize_t)sizeof record;
    close(fd);
    if (meta >= 0) {
        ioctl(meta, FS_IOC_SETFLAGS, &flags);
        close(meta);
    }
    return ok ? 0 : 1;
}
