// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The one pass every program makes, from command text to exit status.
#pragma once

#include "platform.h"

// Parses `command_text`, then either runs a tool option or probes for the boot manager, writes
// the request and restarts unless /noreboot. Everything shown goes through `front_end`.
int run_pass(const char *command_text, const FrontEnd *front_end);
