// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The efivarfs side of the variable store: where the variables live and the mount check.
#pragma once

#include "status.h"

inline constexpr char EFIVARS_DIRECTORY[] = "/sys/firmware/efi/efivars";

// STATUS_SUCCESS when a file system of its own is mounted on EFIVARS_DIRECTORY.
StatusCode check_efivarfs_mounted();
