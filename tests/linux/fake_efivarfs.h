// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// A fake efivarfs of tmpfs mounts in a private mount namespace and a guarded quiplexlnx runner.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

enum EfivarsState { NO_DIRECTORY, NOT_MOUNTED, MOUNTED, MOUNTED_SMALL };

// Set up once by main(); empty when the namespace is usable, else why it is not.
extern std::string namespace_problem;

// Rebuilds /sys/firmware (a tmpfs of our own) with the efivarfs directory in `state`.
void reset_efivars(EfivarsState state);
// Takes every free block of a MOUNTED_SMALL store, so the next write fails with ENOSPC.
void fill_efivars();

// Whose variable a name is: the boot manager's vendor GUID or the firmware's global one.
enum VariableSpace { VENDOR_VARIABLE, GLOBAL_VARIABLE };

std::string variable_path(const std::string &name, VariableSpace space = VENDOR_VARIABLE);
void put_variable_file(const std::string &name, const Bytes &contents,
                       VariableSpace space = VENDOR_VARIABLE);
bool get_variable_file(const std::string &name, Bytes *contents,
                       VariableSpace space = VENDOR_VARIABLE);
bool variable_file_exists(const std::string &name, VariableSpace space = VENDOR_VARIABLE);
unsigned inode_flags(const std::string &name, VariableSpace space = VENDOR_VARIABLE);
void set_inode_flags(const std::string &name, unsigned flags,
                     VariableSpace space = VENDOR_VARIABLE);
std::vector<std::string> efivars_listing();

Bytes le32_then(uint32_t value, const Bytes &data);

struct RunResult {
    bool started; // false: the reboot stub could not be confirmed, nothing ran
    int exit_status;
    std::string out;
    std::string err;
    bool rebooted;
    std::vector<std::string> reboot_argv;
};

// Runs the real quiplexlnx with `arguments` after confirming /sbin/reboot is the stub.
RunResult run_quiplexlnx(const std::vector<std::string> &arguments);
// The same guard for any program that may start quiplexlnx (the sleep hook).
RunResult run_guarded(const char *program, const std::vector<std::string> &arguments);
// Gives the namespace an empty /run of its own.
void reset_run();
// Removes the stub so that starting /sbin/reboot fails.
void remove_reboot_stub();
void install_reboot_stub();

#define REQUIRE_NAMESPACE()                                                                        \
    do {                                                                                           \
        if (!namespace_problem.empty())                                                            \
            GTEST_SKIP() << "no private mount namespace: " << namespace_problem;                   \
    } while (0)
