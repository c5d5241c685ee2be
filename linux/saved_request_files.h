// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Where quiplexlnx --suspend keeps the pending request for the --resume after the sleep.
#pragma once

#include "platform.h"

// /run is memory: it lasts through a hibernation and is empty after a cold start, which is
// exactly the life of a request saved for a resume.
inline constexpr char SAVED_REQUEST_DIRECTORY[] = "/run/quiplex";
inline constexpr char SAVED_REQUEST_FILE[] = "/run/quiplex/request";
inline constexpr char NO_REQUEST_FILE[] = "/run/quiplex/no-request";

extern const SavedRequestCalls SAVED_REQUEST_FILES;
