// The programs' fixed English texts; each front end chooses how and where they appear.
#pragma once

#include "status.h"

#define QUIPLEX_USAGE_HEAD                                                                        \
    "Usage: quiplexu bootselection[/run=filename][[/noreboot][/force]]\n\n"                       \
    "bootselection can be any of the following:\n"                                                \
    "  Name       - identity of the boot item.\n"                                                 \
    "  &K         - hot key of boot item.\n"                                                      \
    "  1-n        - boot item number (from top of boot menu).\n"                                  \
    "  /Current   - boot last booted item.\n"                                                     \
    "  /Next      - boot next boot item (wraps back to top)\n"                                    \
    "  /Shutdown  - shutdown system\n"                                                            \
    "  /None      - show boot menu\n"
#define QUIPLEX_USAGE_TAIL                                                                        \
    "\nNote: Do not place any whitespace between options.\n"                                      \
    " Examples:\n"                                                                                \
    "  quiplex 1/run=filename\n"                                                                  \
    "  quiplex /shutdown/run=filename.ext"

// The Windows program's message box text, with its hibernation keyword.
inline constexpr char USAGE_TEXT_WINDOWS[] =
    QUIPLEX_USAGE_HEAD "  /Hibernate - enable hibernation monitor mode\n" QUIPLEX_USAGE_TAIL;
// The console programs' text: a version line first, no hibernation keyword, no final newline.
inline constexpr char USAGE_TEXT_CONSOLE[] = "Version 1.03\n\n" QUIPLEX_USAGE_HEAD QUIPLEX_USAGE_TAIL;

#undef QUIPLEX_USAGE_HEAD
#undef QUIPLEX_USAGE_TAIL

inline constexpr char MESSAGE_NOT_FOUND[] = "Zarvex UEFI was not found.";
inline constexpr char MESSAGE_CONFIGURE_FAILED[] = "Unable to configure system!";
inline constexpr char MESSAGE_NOT_MOUNTED_HINT[] =
    "Is efivarfs is mounted?\ne.g. mount -t efivarfs none /sys/firmware/efi/efivars";
inline constexpr char MESSAGE_NOT_SUPPORTED_HINT[] =
    "The OS may not support efivarfs for this architecture.";

// The extra line the console programs print after a failed probe, or null.
inline constexpr const char *probe_failure_hint(StatusCode status)
{
    return status == STATUS_NOT_MOUNTED      ? MESSAGE_NOT_MOUNTED_HINT
           : status == STATUS_NOT_SUPPORTED ? MESSAGE_NOT_SUPPORTED_HINT
                                            : nullptr;
}
