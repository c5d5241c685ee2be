// quiplexlnx: writes a one-shot boot request for Zarvex UEFI through efivarfs and reboots.
#include <unistd.h>

#include "console_pass.h"

void restart_system()
{
    sync();
    execlp("/sbin/reboot", "/sbin/reboot", static_cast<char *>(nullptr));
}

int main(int argc, char **argv)
{
    return run_console_pass(argc, argv);
}
