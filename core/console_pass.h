// The pass of the two console programs (Linux and UEFI Shell), which differ only in restarting.
#pragma once

// Joins the arguments, writes the request and restarts unless /noreboot; gives the exit status.
int run_console_pass(int argc, char **argv);

// Supplied by each console program: starts the restart, and returns only if it did not start.
void restart_system();
