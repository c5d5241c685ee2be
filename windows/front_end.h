// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The front end both Windows programs share: their reports, the event log and the pass.
#pragma once

#include <windows.h>

#include "platform.h"

// What a text is to the program that shows it: quiplexu picks a box's caption and icon by it.
enum TextRole {
    TEXT_USAGE,   // the usage text, for an invalid command or help
    TEXT_WARNING, // something failed; the exit status says what
    TEXT_ANSWER,  // an answer to a tool option
    TEXT_DATA,    // JSON meant for a script
};

// How one Windows program differs from the other: the rest of the front end is shared.
struct WindowsProgram {
    const char *name;       // for --version
    const char *usage_text; // USAGE_TEXT_WINDOWS or USAGE_TEXT_CONSOLE
    void (*show)(const char *text, TextRole role);
    // The line shown after any failure with 75 (no rights to the firmware), or null.
    const char *access_denied_hint;
    // Takes the run over after the probe (quiplexu's monitor); may be null. True when it did;
    // `*status` is then the run's exit status.
    bool (*take_over)(const BootRequest *request, StatusCode *status);
    const char *take_over_keyword;
    const char *refused_keyword; // a keyword that is an invalid command here, or null
    // True when nobody can see what `show` shows: each failure not already in the event log is
    // then recorded there. May be null (someone always can).
    bool (*unseen)();
};

// quiplexu's monitor keyword, which quiplexc refuses.
inline constexpr char HIBERNATE_KEYWORD[] = "/HIBERNATE";

// Enables the firmware privilege and runs the pass on the command text; gives the exit status.
int run_windows_program(const char *command_text, const WindowsProgram *program);

// Shows a failure as the pass's own reports do, for a program's take-over that fails.
void report_windows_failure(const char *text, StatusCode status);

// The command-line tail as the runtime hands it to WinMain, quiplexu's command text: the program
// name (quoted parts may hold blanks) and the blanks and control characters after it skipped.
const char *command_line_tail(const char *command_line);

// Writes `text` and a line break to the standard handle when it leads somewhere (a file, a
// pipe, a console); false when it does not or the write failed.
bool write_line_to(DWORD standard_handle, const char *text);
