// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Stands in for /sbin/reboot inside the tests' mount namespace: records its arguments, exits 42.
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (const char *record = getenv("QUIPLEX_REBOOT_RECORD")) {
        if (FILE *file = fopen(record, "w")) {
            for (int i = 0; i < argc; i++)
                fprintf(file, "%s\n", argv[i]);
            fclose(file);
        }
    }
    return 42;
}
