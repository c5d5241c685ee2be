// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// In-memory firmware variables behind fake Windows firmware, shutdown and service functions.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

struct FakeVariable {
    char name[32];
    uint8_t data[512];
    DWORD size;
    bool present;
};

struct FakeWrite {
    char name[32];
    uint8_t data[512];
    DWORD size;
    DWORD attributes;
};

struct FakeRecord {
    int kind; // an AuditKind
    char text[160];
    uint32_t status;
};

enum TokenRefusal { REFUSE_NOTHING, REFUSE_OPEN, REFUSE_LOOKUP, REFUSE_ADJUST };

struct FakeFirmware {
    FakeVariable variables[4];
    FakeWrite writes[16];
    unsigned write_count;
    DWORD read_capacities[8];
    unsigned read_count;
    DWORD forced_error; // non-zero: every call fails with this error
    DWORD write_error;  // non-zero: writes alone fail with this error
    PDWORD last_attributes_place;
    bool last_attributes_place_seen;
    // shutdown fakes
    unsigned shutdown_calls;
    unsigned plain_shutdown_calls;
    BOOL last_force;
    BOOL last_reboot;
    DWORD last_reason;
    DWORD last_timeout;
    DWORD shutdown_error; // 0: the call succeeds
    unsigned sleeps;
    DWORD slept_milliseconds;
    unsigned exit_windows_calls;
    UINT exit_windows_flags;
    // service manager fakes: the state QueryServiceStatus reports for QuiplexGuard
    DWORD guard_service_state;   // 0: not installed (OpenServiceA fails)
    DWORD service_manager_error; // non-zero: OpenSCManagerA fails with this error
    BOOL query_fails;            // QueryServiceStatus fails
    unsigned service_handles_open;
    unsigned service_queries;
    // the service's own side: its reported states, its handler and its event log records
    LPHANDLER_FUNCTION_EX registered_handler;
    SERVICE_STATUS statuses[8];
    unsigned status_count;
    FakeRecord records[8];
    unsigned record_count;
    bool stop_event_refused; // the service's CreateEventA fails with ERROR_NOT_ENOUGH_MEMORY
    // token fakes: Wine's own calls, recorded; a test may make one fail
    TokenRefusal token_refusal;
    int reported_previous_count; // -1: as Wine reports it
    unsigned token_opens, token_closes, adjustments;
    DWORD token_access;
    bool own_process;
    TOKEN_PRIVILEGES adjusted; // what the last adjustment asked for
    DWORD adjusted_length;     // the room it gave for the previous state
    bool previous_asked, returned_length_asked;
    char privilege_log[160]; // "NAME+ " or "NAME- " for each adjustment asked
};

extern FakeFirmware fake;

// Clears the fake and installs every fake function (pass false to leave one pair absent).
void install_fakes(bool ex_variants, bool plain_variants, bool ex_shutdown, bool plain_shutdown);
void fake_set_variable(const char *name, const void *data, DWORD size);
const FakeVariable *fake_variable(const char *name);
// Deletes a variable behind the program's back, as another program may.
void fake_delete_variable(const char *name);
// Signalled each time the fake service status handle receives a report.
HANDLE fake_status_reported();
