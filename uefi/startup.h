// The start-up steps that run before main: firmware guard, console mode, shell arguments.
#pragma once
#include "firmware.h"

// Returns only on UEFI 2.1 or later; otherwise halts until "R" or "r" resets the machine.
void check_firmware_revision(EFI_SYSTEM_TABLE *system_table);

// Picks the text mode with the most columns plus rows (lowest number on a tie), clears it.
void use_largest_text_mode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *console);

// Writes `text` as UTF-8 into `out` (capacity bytes, always NUL-terminated); gives its length.
size_t ucs2_to_utf8(const CHAR16 *text, char *out, size_t capacity);

// The Shell's arguments as UTF-8 in static storage; gives argc, 0 without Shell parameters.
int collect_arguments(char ***argv);
