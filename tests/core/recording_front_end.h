// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// A front end that records what the pass shows, for the core tests.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

struct Recorded {
    int usages;
    std::string options_block; // of the last usage text; empty: none
    std::vector<StatusCode> not_found;
    std::vector<StatusCode> write_failures;
    std::vector<std::string> messages; // each prefixed "info: ", "failure: " or "data: "
    std::vector<bool> restarts;        // the force flag of each restart
    // The audit trail: "written: ", "cancelled: ", "sleep guard: " or "failed N: " and the text.
    std::vector<std::string> records;
};

extern Recorded recorded;
extern const char *recorded_program_name;    // "quiplextest" unless a test sets another
extern const char *recorded_refused_keyword; // null unless a test sets one

// Runs the pass with a recording front end; `saved` gives it a sleep guard, the last three
// make it one like the Windows program's.
int run_recorded_pass(const char *command, const SavedRequestCalls *saved = nullptr,
                      bool (*take_over)(const BootRequest *) = nullptr,
                      const char *take_over_keyword = nullptr,
                      bool force_closes_applications = false);
