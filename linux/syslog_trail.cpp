// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// quiplexlnx's audit trail in syslog (the journal on systemd machines).
#include "syslog_trail.h"

#include <stdio.h>
#include <stdlib.h>
#include <syslog.h>
#include <unistd.h>

namespace {

constexpr size_t USER_CAPACITY = 64;
constexpr size_t LINE_CAPACITY = 2048;

char user_text[USER_CAPACITY];
char line_text[LINE_CAPACITY];

// The user who asked for the change: sudo names the one behind it; the name is anyone's text,
// so only printable ASCII other than blanks is kept.
const char *invoking_user()
{
    const char *sudo_user = getenv("SUDO_USER");
    if (sudo_user == nullptr || *sudo_user == '\0') {
        // A uid's text always fits, so what snprintf returns says nothing new.
        (void)snprintf(user_text, sizeof user_text, "uid %u", static_cast<unsigned>(getuid()));
        return user_text;
    }
    size_t length = snprintf(user_text, sizeof user_text, "user ");
    for (; *sudo_user != '\0' && length + 1 < sizeof user_text; sudo_user++)
        user_text[length++] = *sudo_user > ' ' && *sudo_user < 0x7F ? *sudo_user : '?';
    user_text[length] = '\0';
    return user_text;
}

} // namespace

void record_in_syslog(AuditKind kind, const char *text, StatusCode status)
{
    // One line a record: the text's lines are joined with "; ".
    size_t length = snprintf(line_text, sizeof line_text, "%s: ", invoking_user());
    for (; *text != '\0' && length + 2 < sizeof line_text; text++) {
        if (*text == '\n') {
            line_text[length++] = ';';
            line_text[length++] = ' ';
        } else {
            line_text[length++] = *text;
        }
    }
    line_text[length] = '\0';
    const bool failed = kind == AUDIT_FAILED;
    // No LOG_CONS: without a syslog socket the record is dropped, never sent to the console.
    openlog("quiplexlnx", LOG_PID, LOG_USER);
    if (failed)
        syslog(LOG_ERR, "%s; status %u", line_text, static_cast<unsigned>(status));
    else
        syslog(LOG_NOTICE, "%s", line_text);
    closelog();
}
