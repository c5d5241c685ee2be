// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// quiplexlnx's audit trail: one syslog record for each change of the request and each failure.
#pragma once

#include "platform.h"

// Sends one record to syslog (ident "quiplexlnx"), naming the invoking user: SUDO_USER where
// sudo set it, else the real user id. Without a syslog socket nothing is recorded.
void record_in_syslog(AuditKind kind, const char *text, StatusCode status);
