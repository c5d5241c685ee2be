// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The start-up steps that run before main: firmware guard, console mode, shell arguments.
#pragma once
#include "firmware.h"

// Returns only on UEFI 2.1 or later; otherwise halts until "R" or "r" resets the machine.
void check_firmware_revision(EFI_SYSTEM_TABLE *system_table);

// Picks the text mode with the most columns plus rows (lowest number on a tie), clears it.
void use_largest_text_mode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *console);

// Joins argv[1] onward as UTF-8 with the core's join_words, as join_arguments joins UTF-8 text:
// cut at capacity (NUL included), an argument that does not fit cut and later ones dropped.
void join_ucs2_arguments(char *buffer, size_t capacity, UINTN argc, CHAR16 *const *argv);

// The Shell's arguments joined into static storage (CONSOLE_COMMAND_CAPACITY bytes); empty
// without Shell parameters.
const char *collect_command();
