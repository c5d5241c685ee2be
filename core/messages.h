// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The programs' fixed English texts; each front end chooses how and where they appear.
#pragma once

#include "status.h"

#define QUIPLEX_USAGE_HEAD                                                                         \
    "Usage: quiplexu bootselection[/run=filename][[/noreboot][/force]]\n\n"                        \
    "bootselection can be any of the following:\n"                                                 \
    "  Name       - identity of the boot item.\n"                                                  \
    "  &K         - hot key of boot item.\n"                                                       \
    "  1-n        - boot item number (from top of boot menu).\n"                                   \
    "  /Current   - boot last booted item.\n"                                                      \
    "  /Next      - boot next boot item (wraps back to top)\n"                                     \
    "  /Shutdown  - shutdown system\n"                                                             \
    "  /None      - show boot menu\n"
#define QUIPLEX_USAGE_TAIL                                                                         \
    "\nNote: Do not place any whitespace between options.\n"                                       \
    " Examples:\n"                                                                                 \
    "  quiplex 1/run=filename\n"                                                                   \
    "  quiplex /shutdown/run=filename.ext"

// The Windows program's message box text, with its hibernation keyword.
inline constexpr char USAGE_TEXT_WINDOWS[] =
    QUIPLEX_USAGE_HEAD "  /Hibernate - enable hibernation monitor mode\n" QUIPLEX_USAGE_TAIL;
// The console programs' text: a version line first, no hibernation keyword, no final newline.
inline constexpr char USAGE_TEXT_CONSOLE[] =
    "Version 1.03\n\n" QUIPLEX_USAGE_HEAD QUIPLEX_USAGE_TAIL;

#undef QUIPLEX_USAGE_HEAD
#undef QUIPLEX_USAGE_TAIL

inline constexpr char VERSION_TEXT[] = "1.03";

#define QUIPLEX_TOOL_OPTIONS                                                                       \
    "\n\nTool options, each alone on the command line (nothing is written, nothing restarts):\n"   \
    "  --help, -h, -?  - show this text.\n"                                                        \
    "  --version       - show the program's name and version.\n"                                   \
    "  --status        - show whether Zarvex UEFI is installed and the pending request.\n"         \
    "  --status=json   - the same as one line of JSON.\n"                                          \
    "  --cancel        - delete the pending request.\n"                                            \
    "  --dry-run CMD   - before a boot request CMD: show what it would write and\n"                \
    "                    whether a restart would follow; nothing is read or written.\n"            \
    "  --dry-run=json CMD - the same as one line of JSON.\n"                                       \
    "  --boot-next CMD - run the boot request CMD, then set the firmware's BootNext\n"             \
    "                    to Zarvex UEFI's entry, so the next start goes through it\n"              \
    "                    whatever BootOrder says (also after --dry-run).\n"                        \
    "  --firmware-setup - restart into the firmware's setup once (/noreboot: only ask).\n"         \
    "  --cancel-firmware-setup - take --firmware-setup back.\n"
#define QUIPLEX_EXIT_STATUSES                                                                      \
    "Exit status: 0 done; 61 invalid command or help; 8 Zarvex UEFI (or its entry in\n"            \
    "the firmware's boot list) not found; 76 the firmware cannot start its setup;\n"               \
    "94 a stored request is corrupt; any other: the firmware variable store failed."

#define QUIPLEX_SLEEP_GUARD_OPTIONS                                                                \
    "  --suspend       - before a sleep: save the pending request and make it read\n"              \
    "                    /Current (boot the running system) until --resume.\n"                     \
    "  --resume        - after a sleep: put the saved request back (or delete the\n"               \
    "                    request if none was pending); without a saved one, do nothing.\n"

// Shown after the usage text when help was asked for; the sleep guard exists only on Linux.
inline constexpr char TOOL_OPTIONS_TEXT[] = QUIPLEX_TOOL_OPTIONS QUIPLEX_EXIT_STATUSES;
inline constexpr char TOOL_OPTIONS_TEXT_WITH_SLEEP_GUARD[] =
    QUIPLEX_TOOL_OPTIONS QUIPLEX_SLEEP_GUARD_OPTIONS QUIPLEX_EXIT_STATUSES;

#undef QUIPLEX_TOOL_OPTIONS
#undef QUIPLEX_SLEEP_GUARD_OPTIONS
#undef QUIPLEX_EXIT_STATUSES

inline constexpr char MESSAGE_NOT_FOUND[] = "Zarvex UEFI was not found.";
inline constexpr char MESSAGE_CONFIGURE_FAILED[] = "Unable to configure system!";
inline constexpr char MESSAGE_NOT_MOUNTED_HINT[] =
    "Is efivarfs is mounted?\ne.g. mount -t efivarfs none /sys/firmware/efi/efivars";
inline constexpr char MESSAGE_NOT_SUPPORTED_HINT[] =
    "The OS may not support efivarfs for this architecture.";

inline constexpr char MESSAGE_CANCELLED[] = "The pending request was cancelled.";
inline constexpr char MESSAGE_NONE_PENDING[] = "No request was pending.";
inline constexpr char MESSAGE_CANCEL_FAILED[] = "Unable to cancel the pending request.";
inline constexpr char MESSAGE_READ_FAILED[] = "Unable to read the pending request.";

inline constexpr char MESSAGE_SUSPEND_SAVED[] =
    "The pending request was saved; until --resume it reads /Current.";
inline constexpr char MESSAGE_SUSPEND_NOTHING_SAVED[] =
    "No request was saved; until --resume the request reads /Current.";
inline constexpr char MESSAGE_SUSPEND_KEPT[] =
    "The request saved at an earlier --suspend was kept; the request reads /Current again.";
inline constexpr char MESSAGE_RESUME_PUT_BACK[] = "The saved request was put back.";
inline constexpr char MESSAGE_RESUME_DELETED[] =
    "No request was pending before --suspend; the request was deleted.";
inline constexpr char MESSAGE_RESUME_NOTHING_SAVED[] = "Nothing was saved by --suspend.";
inline constexpr char MESSAGE_SAVED_COPY_CORRUPT[] =
    "The saved request is not 4 to 256 bytes long; it was not written back.";
inline constexpr char MESSAGE_SAVED_COPY_FAILED[] = "Unable to keep the saved request.";

// What the Windows guard service records of its suspends, resumes and stops.
inline constexpr char RECORD_SUSPEND_SAVED[] =
    "Suspend: the pending request reads /Current until the resume.";
inline constexpr char RECORD_SUSPEND_NOTHING_SAVED[] =
    "Suspend: no request was pending; the request reads /Current until the resume.";
inline constexpr char RECORD_SUSPEND_KEPT[] =
    "Suspend again before a resume: the request saved at the first suspend was kept; the "
    "request reads /Current again.";
inline constexpr char RECORD_RESUME_PUT_BACK[] = "Resume: the saved request was put back.";
inline constexpr char RECORD_RESUME_DELETED[] =
    "Resume: no request was pending before the suspend; the request was deleted.";
inline constexpr char RECORD_STOP_PUT_BACK[] =
    "Stop before a resume: the saved request was put back.";
inline constexpr char RECORD_STOP_DELETED[] =
    "Stop before a resume: no request was pending before the suspend; the request was deleted.";
inline constexpr char RECORD_SUSPEND_FAILED[] =
    "Suspend: unable to make the pending request read /Current.";
inline constexpr char RECORD_RESUME_FAILED[] =
    "Resume: unable to put back the request that was pending before the suspend.";

inline constexpr char MESSAGE_BOOT_ENTRY_NOT_FOUND[] =
    "Zarvex UEFI's entry in the firmware's boot list was not found; nothing was changed.";
inline constexpr char MESSAGE_BOOT_NEXT_FAILED[] =
    "The request was written, but BootNext could not be set: the request stays pending, and "
    "the machine does not restart.";
inline constexpr char MESSAGE_FIRMWARE_SETUP_UNSUPPORTED[] =
    "This firmware cannot start its setup on request.";
inline constexpr char MESSAGE_FIRMWARE_SETUP_SET[] = "The next start opens the firmware's setup.";
inline constexpr char MESSAGE_FIRMWARE_SETUP_FAILED[] =
    "Unable to ask the firmware to start its setup.";
inline constexpr char MESSAGE_FIRMWARE_SETUP_CANCELLED[] =
    "The next start no longer opens the firmware's setup.";
inline constexpr char MESSAGE_FIRMWARE_SETUP_NONE[] = "The firmware's setup was not requested.";
inline constexpr char MESSAGE_FIRMWARE_SETUP_CANCEL_FAILED[] =
    "Unable to take back the request for the firmware's setup.";

// The audit trail's word for a command that got the usage text instead of a run.
inline constexpr char MESSAGE_INVALID_COMMAND[] = "The command is not valid.";

// The extra line the console programs print after a failed probe, or null.
inline constexpr const char *probe_failure_hint(StatusCode status)
{
    return status == STATUS_NOT_MOUNTED     ? MESSAGE_NOT_MOUNTED_HINT
           : status == STATUS_NOT_SUPPORTED ? MESSAGE_NOT_SUPPORTED_HINT
                                            : nullptr;
}
