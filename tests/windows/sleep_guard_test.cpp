// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The two sleep guards: one table of sleeps run against the monitor's window procedure and the
// service's control handler, the service's other controls, and never two guards on one sleep.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "entry.h"
#include "fake_firmware.h"
#include "guard_service.h"
#include "hibernation_monitor.h"
#include "power_guard.h"
#include "privileges.h"

namespace {

const uint8_t PRESENT[4] = {1, 0, 0, 0};
const uint8_t ITEM_THREE[6] = {3, 0, 0, 0, 0, 0};
const uint8_t NAME_AND_FILE[] = {0xFF, 0xFF, 0, 0, 'L', 'i', 'n', 'u', 'x', 0, 'a', '.', 'e', 0};
const uint8_t TWO_BYTES[2] = {7, 0}; // no request of this system, but put back as it was
uint8_t long_value[256];

// What "Quiplex" holds after a step, told from the request pending before the first suspend.
enum Holds {
    PENDING,      // the pending request, untouched
    CURRENT,      // the pending request with its code reading /Current
    CURRENT_ONLY, // the 4-byte code /Current alone
    ABSENT,
};

constexpr DWORD FAIL = ERROR_GEN_FAILURE; // becomes STATUS_WRITE_FAILED

struct Step {
    DWORD event; // PBT_APMSUSPEND or PBT_APMRESUMEAUTOMATIC
    Holds after;
    const char *record; // what the service records; null: nothing
    DWORD write_error = 0;
    bool deleted_first = false; // another program deleted the request just before the event
};

// The request pending before the first suspend.
enum Pending { NONE, NAME, ITEM, LONG, SHORT };

struct SleepCase {
    const char *name;
    Pending pending;
    Step steps[4];
    bool manager_missing = false;
};

struct Bytes {
    const uint8_t *data; // null: nothing pending
    size_t size;
};

const Bytes PENDING_BYTES[] = {{nullptr, 0},
                               {NAME_AND_FILE, sizeof NAME_AND_FILE},
                               {ITEM_THREE, 6},
                               {long_value, 256},
                               {TWO_BYTES, 2}};

// WAIT_OBJECT_0, which winnt.h spells with a status macro that WIN32_NO_STATUS hides.
constexpr DWORD SIGNALLED = 0;

constexpr DWORD S = PBT_APMSUSPEND, R = PBT_APMRESUMEAUTOMATIC;
// What the service records at each step, short.
constexpr const char *SAVED = RECORD_SUSPEND_SAVED, *NOTHING_SAVED = RECORD_SUSPEND_NOTHING_SAVED,
                     *KEPT = RECORD_SUSPEND_KEPT, *PUT_BACK = RECORD_RESUME_PUT_BACK,
                     *DELETED = RECORD_RESUME_DELETED;

const SleepCase SLEEP_CASES[] = {
    {"nothing pending", NONE, {{S, CURRENT_ONLY, NOTHING_SAVED}, {R, ABSENT, DELETED}}},
    {"a name with a run file", NAME, {{S, CURRENT, SAVED}, {R, PENDING, PUT_BACK}}},
    {"an item", ITEM, {{S, CURRENT, SAVED}, {R, PENDING, PUT_BACK}}},
    {"a value of 256 bytes", LONG, {{S, CURRENT, SAVED}, {R, PENDING, PUT_BACK}}},
    {"two suspends before one resume",
     ITEM,
     {{S, CURRENT, SAVED}, {S, CURRENT, KEPT}, {R, PENDING, PUT_BACK}}},
    // The second suspend must not take the first one's /Current for the pending request.
    {"two suspends with nothing pending",
     NONE,
     {{S, CURRENT_ONLY, NOTHING_SAVED}, {S, CURRENT_ONLY, KEPT}, {R, ABSENT, DELETED}}},
    {"the boot manager missing",
     ITEM,
     {{S, PENDING, nullptr}, {R, PENDING, nullptr}, {S, PENDING, nullptr}, {R, PENDING, nullptr}},
     true},
    {"a write that fails at suspend",
     NAME,
     {{S, PENDING, RECORD_SUSPEND_FAILED, FAIL}, {R, PENDING, PUT_BACK}}},
    {"a write that fails at resume",
     ITEM,
     {{S, CURRENT, SAVED}, {R, CURRENT, RECORD_RESUME_FAILED, FAIL}}},
    // Nothing pending and the suspend's write refused: Windows then fails the resume's delete
    // of the absent variable, which is no failure to record.
    {"writes that fail with nothing pending",
     NONE,
     {{S, ABSENT, RECORD_SUSPEND_FAILED, FAIL}, {R, ABSENT, nullptr, ERROR_ENVVAR_NOT_FOUND}}},
    // A put-back that fails is recorded even where the request is gone: only a delete's
    // failure over an absent variable is none.
    {"a put-back that fails after the request was deleted",
     ITEM,
     {{S, CURRENT, SAVED}, {R, ABSENT, RECORD_RESUME_FAILED, FAIL, true}}},
    {"a value of 2 bytes",
     SHORT,
     {{S, CURRENT, SAVED}, {S, CURRENT, KEPT}, {R, PENDING, PUT_BACK}}},
    // The request deleted meanwhile, and Windows failing the delete of the absent variable:
    // nothing was left to delete, so nothing to record.
    {"nothing pending and the request deleted before the resume",
     NONE,
     {{S, CURRENT_ONLY, NOTHING_SAVED}, {R, ABSENT, nullptr, ERROR_ENVVAR_NOT_FOUND, true}}},
    // A failed put-back lets the copy go: the next suspend saves what "Quiplex" holds then.
    {"a put-back that fails, then another sleep",
     ITEM,
     {{S, CURRENT, SAVED},
      {R, CURRENT, RECORD_RESUME_FAILED, FAIL},
      {S, CURRENT, SAVED},
      {R, CURRENT, PUT_BACK}}},
    // A resume the guard saw no suspend for leaves a request made meanwhile alone.
    {"a resume without a suspend", ITEM, {{R, PENDING, nullptr}}},
};

// One of the two guards, started and driven the way Windows does it.
struct Guard {
    const char *name;
    bool (*start)();
    void (*deliver)(DWORD event);
    void (*stop)();
};

unsigned monitors_started;
void count_monitor(HINSTANCE)
{
    ++monitors_started;
}
int WINAPI no_box(HWND, LPCSTR, LPCSTR, UINT)
{
    return IDOK;
}

// The monitor runs only after the entry's probe; its window procedure gets the broadcasts.
bool start_monitor()
{
    entry_calls.message_box = no_box;
    entry_calls.run_monitor = count_monitor;
    monitors_started = 0;
    const int status = run_quiplexu(GetModuleHandleA(nullptr), nullptr, "/hibernate");
    EXPECT_EQ(status, monitors_started == 1 ? 0 : 8);
    return monitors_started == 1;
}
void deliver_to_monitor(DWORD event)
{
    monitor_window_proc(nullptr, WM_POWERBROADCAST, event, 0);
}
void stop_monitor() {}

HANDLE service_thread;

DWORD WINAPI run_service(LPVOID)
{
    guard_service_main(1, nullptr);
    return 0;
}

DWORD last_state()
{
    return fake.status_count == 0 ? 0 : fake.statuses[fake.status_count - 1].dwCurrentState;
}

// The service manager starts the service whatever the firmware holds; it waits for RUNNING.
bool start_service()
{
    service_thread = CreateThread(nullptr, 0, run_service, nullptr, 0, nullptr);
    while (last_state() != SERVICE_RUNNING && last_state() != SERVICE_STOPPED) {
        if (WaitForSingleObject(fake_status_reported(), 5000) != SIGNALLED)
            break;
    }
    EXPECT_EQ(last_state(), DWORD(SERVICE_RUNNING));
    return true;
}
void deliver_to_service(DWORD event)
{
    const unsigned reports = fake.status_count;
    EXPECT_EQ(fake.registered_handler(SERVICE_CONTROL_POWEREVENT, event, nullptr, nullptr),
              DWORD(NO_ERROR));
    EXPECT_EQ(fake.status_count, reports) << "a power event changed the service's state";
}
void stop_service()
{
    EXPECT_EQ(fake.registered_handler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr), DWORD(NO_ERROR));
    EXPECT_EQ(WaitForSingleObject(service_thread, 5000), SIGNALLED);
    CloseHandle(service_thread);
}

const Guard GUARDS[] = {
    {"monitor", start_monitor, deliver_to_monitor, stop_monitor},
    {"service", start_service, deliver_to_service, stop_service},
};

void expect_holds(Holds holds, const SleepCase &c)
{
    const FakeVariable *v = fake_variable("Quiplex");
    if (holds == ABSENT) {
        EXPECT_EQ(v, nullptr);
        return;
    }
    ASSERT_NE(v, nullptr);
    uint8_t expected[256];
    const Bytes &pending = PENDING_BYTES[c.pending];
    size_t size = pending.size;
    if (holds == CURRENT_ONLY)
        size = 4;
    else
        memcpy(expected, pending.data, size);
    if (holds != PENDING)
        memcpy(expected, "\xFB\xFF\x00\x00", 4);
    ASSERT_EQ(v->size, size);
    EXPECT_EQ(memcmp(v->data, expected, size), 0);
}

TEST(SleepGuards, SameBytesFromTheMonitorAndTheService)
{
    for (unsigned i = 0; i < sizeof long_value; ++i)
        long_value[i] = static_cast<uint8_t>(i * 7 + 1);
    for (const Guard &guard : GUARDS) {
        for (const SleepCase &c : SLEEP_CASES) {
            SCOPED_TRACE(std::string(guard.name) + ": " + c.name);
            install_fakes(true, false, false, false);
            if (!c.manager_missing)
                fake_set_variable("ZarvexUEFI", PRESENT, 4);
            const Bytes &pending = PENDING_BYTES[c.pending];
            if (pending.data != nullptr)
                fake_set_variable("Quiplex", pending.data, static_cast<DWORD>(pending.size));
            const bool running = guard.start();
            EXPECT_EQ(running, guard.deliver == deliver_to_service || !c.manager_missing);
            unsigned records = fake.record_count;
            for (const Step &step : c.steps) {
                if (step.event == 0)
                    break;
                SCOPED_TRACE(step.event == S ? "suspend" : "resume");
                if (step.deleted_first)
                    fake_delete_variable("Quiplex");
                fake.write_error = step.write_error;
                if (running)
                    guard.deliver(step.event);
                fake.write_error = 0;
                expect_holds(step.after, c);
                if (guard.deliver != deliver_to_service)
                    continue;
                ASSERT_EQ(fake.record_count, records + (step.record ? 1 : 0));
                if (step.record != nullptr) {
                    const FakeRecord &r = fake.records[records];
                    EXPECT_STREQ(r.text, step.record);
                    EXPECT_EQ(r.kind, step.write_error ? AUDIT_FAILED : AUDIT_SLEEP_GUARD);
                    EXPECT_EQ(r.status, step.write_error ? 77u : 0u);
                }
                records = fake.record_count;
                EXPECT_EQ(last_state(), DWORD(SERVICE_RUNNING));
            }
            if (running)
                guard.stop();
            size_t size = 1;
            EXPECT_EQ(monitor_saved_request(&size), nullptr);
        }
    }
}

// The service's states from start to stop, whichever of the two controls ends it.
TEST(GuardService, ReportsItsStatesAndEndsWithExitCodeZero)
{
    for (DWORD control : {SERVICE_CONTROL_STOP, SERVICE_CONTROL_SHUTDOWN}) {
        SCOPED_TRACE(control);
        install_fakes(true, false, false, false);
        start_service();
        EXPECT_EQ(fake.registered_handler(SERVICE_CONTROL_INTERROGATE, 0, nullptr, nullptr),
                  DWORD(NO_ERROR));
        EXPECT_EQ(fake.registered_handler(SERVICE_CONTROL_PAUSE, 0, nullptr, nullptr),
                  DWORD(ERROR_CALL_NOT_IMPLEMENTED));
        EXPECT_EQ(fake.registered_handler(control, 0, nullptr, nullptr), DWORD(NO_ERROR));
        ASSERT_EQ(WaitForSingleObject(service_thread, 5000), SIGNALLED);
        CloseHandle(service_thread);
        const DWORD states[] = {SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_STOP_PENDING,
                                SERVICE_STOPPED};
        ASSERT_EQ(fake.status_count, 4u);
        for (unsigned i = 0; i < 4; ++i) {
            const SERVICE_STATUS &status = fake.statuses[i];
            EXPECT_EQ(status.dwCurrentState, states[i]) << i;
            EXPECT_EQ(status.dwServiceType, DWORD(SERVICE_WIN32_OWN_PROCESS)) << i;
            EXPECT_EQ(status.dwControlsAccepted, i == 1 ? 0x45u : 0u) << i;
            EXPECT_EQ(status.dwWin32ExitCode, DWORD(NO_ERROR)) << i;
            EXPECT_EQ(status.dwServiceSpecificExitCode, 0u) << i;
            EXPECT_EQ(status.dwCheckPoint, 0u) << i;
            // A pending state promises the next report within a second; a settled one nothing.
            EXPECT_EQ(status.dwWaitHint, i % 2 == 0 ? 1000u : 0u) << i;
        }
        EXPECT_EQ(fake.write_count, 0u);
        EXPECT_EQ(fake.record_count, 0u);
    }
}

bool system_environment_privilege_enabled()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    LUID wanted = {};
    LookupPrivilegeValueA(nullptr, "SeSystemEnvironmentPrivilege", &wanted);
    alignas(TOKEN_PRIVILEGES) uint8_t space[4096];
    DWORD length = 0;
    bool enabled = false;
    if (GetTokenInformation(token, TokenPrivileges, space, sizeof space, &length)) {
        const TOKEN_PRIVILEGES *all = reinterpret_cast<const TOKEN_PRIVILEGES *>(space);
        for (DWORD i = 0; i < all->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES &p = all->Privileges[i];
            if (p.Luid.LowPart == wanted.LowPart && p.Luid.HighPart == wanted.HighPart)
                enabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    CloseHandle(token);
    return enabled;
}

// Without its stop event the service could never end: it reports stopped with the error at once.
TEST(GuardService, WithoutItsStopEventStopsWithTheError)
{
    install_fakes(true, false, false, false);
    fake.stop_event_refused = true;
    guard_service_main(1, nullptr);
    ASSERT_EQ(fake.status_count, 2u);
    EXPECT_EQ(fake.statuses[0].dwCurrentState, DWORD(SERVICE_START_PENDING));
    const SERVICE_STATUS &stopped = fake.statuses[1];
    EXPECT_EQ(stopped.dwCurrentState, DWORD(SERVICE_STOPPED));
    EXPECT_EQ(stopped.dwControlsAccepted, 0u);
    EXPECT_EQ(stopped.dwWin32ExitCode, DWORD(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(stopped.dwWaitHint, 0u);
}

TEST(GuardService, EnablesTheFirmwarePrivilegeBeforeRunning)
{
    install_fakes(true, false, false, false);
    ASSERT_TRUE(adjust_privilege("SeSystemEnvironmentPrivilege", false, nullptr));
    ASSERT_FALSE(system_environment_privilege_enabled());
    start_service();
    EXPECT_TRUE(system_environment_privilege_enabled());
    stop_service();
}

// A stop between a suspend and its resume puts back what the suspend saved.
TEST(GuardService, StopBeforeTheResumePutsTheRequestBack)
{
    struct StopCase {
        const uint8_t *pending;
        DWORD size;
        const char *record;
    };
    const StopCase cases[] = {{ITEM_THREE, 6, RECORD_STOP_PUT_BACK},
                              {nullptr, 0, RECORD_STOP_DELETED}};
    for (const StopCase &c : cases) {
        SCOPED_TRACE(c.record);
        install_fakes(true, false, false, false);
        fake_set_variable("ZarvexUEFI", PRESENT, 4);
        if (c.pending != nullptr)
            fake_set_variable("Quiplex", c.pending, c.size);
        start_service();
        deliver_to_service(PBT_APMSUSPEND);
        stop_service();
        const FakeVariable *v = fake_variable("Quiplex");
        if (c.pending == nullptr) {
            EXPECT_EQ(v, nullptr);
        } else {
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(memcmp(v->data, c.pending, c.size), 0);
        }
        ASSERT_EQ(fake.record_count, 2u);
        EXPECT_STREQ(fake.records[1].text, c.record);
        EXPECT_EQ(last_state(), DWORD(SERVICE_STOPPED));
    }
}

// Power events other than the two, and sleeps where the firmware cannot be asked.
TEST(GuardService, LeavesTheFirmwareAloneUnlessItCanGuard)
{
    struct QuietCase {
        const char *name;
        bool firmware_functions;
        DWORD forced_error;
        DWORD event;
        const char *record;
        StatusCode status;
    };
    const QuietCase cases[] = {
        {"query suspend", true, 0, PBT_APMQUERYSUSPEND, nullptr, 0},
        {"resume from a failed suspend", true, 0, PBT_APMRESUMESUSPEND, nullptr, 0},
        {"power status change", true, 0, PBT_APMPOWERSTATUSCHANGE, nullptr, 0},
        {"no firmware variables (a BIOS PC)", false, 0, PBT_APMSUSPEND, nullptr, 0},
        {"firmware refusing the service", true, ERROR_PRIVILEGE_NOT_HELD, PBT_APMSUSPEND,
         RECORD_PROBE_FAILED, 75},
    };
    for (const QuietCase &c : cases) {
        SCOPED_TRACE(c.name);
        install_fakes(c.firmware_functions, false, false, false);
        if (c.firmware_functions) {
            fake_set_variable("ZarvexUEFI", PRESENT, 4);
            fake_set_variable("Quiplex", ITEM_THREE, 6);
        }
        fake.forced_error = c.forced_error;
        start_service();
        deliver_to_service(c.event);
        deliver_to_service(PBT_APMRESUMEAUTOMATIC);
        EXPECT_EQ(fake.write_count, 0u);
        ASSERT_EQ(fake.record_count, c.record ? 1u : 0u);
        if (c.record != nullptr) {
            EXPECT_STREQ(fake.records[0].text, c.record);
            EXPECT_EQ(fake.records[0].kind, AUDIT_FAILED);
            EXPECT_EQ(fake.records[0].status, c.status);
        }
        stop_service();
    }
}

// What the service manager answers, and whether that means the service guards the sleeps.
TEST(TwoGuards, ServiceCountsAsRunningOnlyWhenTheManagerSaysSo)
{
    struct QueryCase {
        DWORD manager_error;
        DWORD state; // 0: not installed
        BOOL query_fails;
        bool running;
    };
    const QueryCase cases[] = {
        {ERROR_ACCESS_DENIED, SERVICE_RUNNING, FALSE, false},
        {0, 0, FALSE, false},
        {0, SERVICE_RUNNING, TRUE, false},
        {0, SERVICE_STOPPED, FALSE, false},
        {0, SERVICE_START_PENDING, FALSE, false},
        {0, SERVICE_STOP_PENDING, FALSE, false},
        {0, SERVICE_RUNNING, FALSE, true},
    };
    for (const QueryCase &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.manager_error << ' ' << c.state << ' ' << c.query_fails);
        install_fakes(true, false, false, false);
        fake.service_manager_error = c.manager_error;
        fake.guard_service_state = c.state;
        fake.query_fails = c.query_fails;
        EXPECT_EQ(guard_service_running(), c.running);
        EXPECT_EQ(fake.service_handles_open, 0u) << "a handle was left open";
    }
}

struct Box {
    char text[256];
    char caption[64];
    UINT type;
};

Box last_box;
unsigned box_count;

int WINAPI capture_box(HWND, LPCSTR text, LPCSTR caption, UINT type)
{
    ++box_count;
    last_box = Box{};
    strncpy(last_box.text, text, sizeof last_box.text - 1);
    strncpy(last_box.caption, caption, sizeof last_box.caption - 1);
    last_box.type = type;
    return IDOK;
}

// quiplexu /hibernate while the service runs: one box, exit 0, no monitor. The probe still
// comes first, so a PC without the boot manager hears that as before.
TEST(TwoGuards, HibernateWhileTheServiceRunsShowsOneBox)
{
    struct HibernateCase {
        bool manager_present;
        DWORD state;
        int status;
        const char *text; // null: no box
        UINT type;
        unsigned monitors;
    };
    const HibernateCase cases[] = {
        {true, SERVICE_RUNNING, 0, MESSAGE_GUARD_SERVICE_RUNNING, MB_ICONINFORMATION, 0},
        {true, SERVICE_STOPPED, 0, nullptr, 0, 1},
        {true, 0, 0, nullptr, 0, 1},
        {false, SERVICE_RUNNING, 8, "Zarvex UEFI was not found.", MB_ICONWARNING, 0},
    };
    for (const HibernateCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.manager_present << ' ' << c.state);
        install_fakes(true, false, false, false);
        if (c.manager_present)
            fake_set_variable("ZarvexUEFI", PRESENT, 4);
        fake.guard_service_state = c.state;
        entry_calls.message_box = capture_box;
        entry_calls.run_monitor = count_monitor;
        box_count = monitors_started = 0;
        EXPECT_EQ(run_quiplexu(GetModuleHandleA(nullptr), nullptr, "/hibernate"), c.status);
        ASSERT_EQ(box_count, c.text ? 1u : 0u);
        if (c.text != nullptr) {
            EXPECT_STREQ(last_box.text, c.text);
            EXPECT_STREQ(last_box.caption, "Quiplex UEFI");
            EXPECT_EQ(last_box.type, UINT(MB_OK | c.type));
        }
        EXPECT_EQ(monitors_started, c.monitors);
        EXPECT_EQ(fake.write_count, 0u);
    }
}

// The service's state from Wine's own service manager, with quiplexguard.exe registered as
// QuiplexGuard (stopped) by guard_service_under_wine.sh, which sets the variable below.
DWORD real_state(SC_HANDLE service, DWORD *exit_code)
{
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service, &status))
        return 0;
    *exit_code = status.dwWin32ExitCode;
    return status.dwCurrentState;
}

bool wait_for_state(SC_HANDLE service, DWORD wanted, DWORD *exit_code)
{
    for (int tries = 0; tries < 200; ++tries) {
        if (real_state(service, exit_code) == wanted)
            return true;
        Sleep(50);
    }
    return false;
}

TEST(RealServiceManager, TheTwoGuardsBothWaysRound)
{
    if (getenv("QUIPLEX_REAL_SERVICE_MANAGER") == nullptr)
        GTEST_SKIP() << "run by guard_service_under_wine.sh";
    install_fakes(true, false, false, false);
    service_query_calls = {OpenSCManagerA, OpenServiceA, QueryServiceStatus, CloseServiceHandle};
    fake_set_variable("ZarvexUEFI", PRESENT, 4);
    fake_set_variable("Quiplex", ITEM_THREE, 6);
    const SleepCase &item = SLEEP_CASES[2];
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE service =
        OpenServiceA(manager, "QuiplexGuard", SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP);
    ASSERT_NE(service, nullptr);
    DWORD exit_code = 1;
    ASSERT_EQ(real_state(service, &exit_code), DWORD(SERVICE_STOPPED));

    // The monitor first: it guards; the service started while the machine sleeps changes
    // nothing about the copy the monitor put back.
    entry_calls.message_box = capture_box;
    entry_calls.run_monitor = count_monitor;
    box_count = monitors_started = 0;
    EXPECT_EQ(run_quiplexu(GetModuleHandleA(nullptr), nullptr, "/hibernate"), 0);
    EXPECT_EQ(monitors_started, 1u);
    EXPECT_EQ(box_count, 0u);
    deliver_to_monitor(PBT_APMSUSPEND);
    expect_holds(CURRENT, item);
    ASSERT_TRUE(StartServiceA(service, 0, nullptr));
    ASSERT_TRUE(wait_for_state(service, SERVICE_RUNNING, &exit_code));
    deliver_to_monitor(PBT_APMRESUMEAUTOMATIC);
    expect_holds(PENDING, item);

    // With the service running, the monitor leaves every sleep to it and a new one is refused.
    const unsigned writes = fake.write_count;
    deliver_to_monitor(PBT_APMSUSPEND);
    deliver_to_monitor(PBT_APMRESUMEAUTOMATIC);
    EXPECT_EQ(fake.write_count, writes);
    EXPECT_EQ(run_quiplexu(GetModuleHandleA(nullptr), nullptr, "/hibernate"), 0);
    EXPECT_EQ(monitors_started, 1u);
    ASSERT_EQ(box_count, 1u);
    EXPECT_STREQ(last_box.text, MESSAGE_GUARD_SERVICE_RUNNING);

    // A stop control ends the service with exit code 0, and the monitor guards again.
    SERVICE_STATUS status = {};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(wait_for_state(service, SERVICE_STOPPED, &exit_code));
    EXPECT_EQ(exit_code, DWORD(NO_ERROR));
    deliver_to_monitor(PBT_APMSUSPEND);
    expect_holds(CURRENT, item);
    deliver_to_monitor(PBT_APMRESUMEAUTOMATIC);
    expect_holds(PENDING, item);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

} // namespace
