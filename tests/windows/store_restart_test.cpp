// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The firmware store over fake firmware functions, the privilege switch for real, and the restart.
#include <gtest/gtest.h>
#include <string.h>

#include "fake_firmware.h"
#include "firmware_store.h"
#include "privileges.h"
#include "restart.h"
#include "variable_store.h"

namespace {

const char GUID[] = "{81686ef9-7f6f-42e3-9371-696de9bf6299}";

struct ErrorRow {
    DWORD windows_error;
    StatusCode read_status;
    StatusCode write_status;
};

const ErrorRow ERROR_ROWS[] = {
    {ERROR_INSUFFICIENT_BUFFER, 95, 77}, {ERROR_ENVVAR_NOT_FOUND, 8, 77},
    {ERROR_PRIVILEGE_NOT_HELD, 75, 75},  {ERROR_INVALID_FUNCTION, 76, 76},
    {ERROR_INVALID_PARAMETER, 71, 77},   {ERROR_ACCESS_DENIED, 71, 77},
    {ERROR_GEN_FAILURE, 71, 77},
};

TEST(FirmwareStore, EveryErrorRowForBothVariantPairs)
{
    for (bool ex : {true, false}) {
        for (const ErrorRow &row : ERROR_ROWS) {
            install_fakes(ex, !ex, false, false);
            fake.forced_error = row.windows_error;
            uint8_t buffer[8];
            size_t size = sizeof buffer;
            EXPECT_EQ(read_variable("Quiplex", GUID, buffer, &size, nullptr), row.read_status)
                << row.windows_error << " ex=" << ex;
            EXPECT_EQ(size, 0u);
            EXPECT_EQ(write_variable("Quiplex", GUID, buffer, 4, 7), row.write_status)
                << row.windows_error << " ex=" << ex;
            EXPECT_EQ(GetLastError(), row.windows_error);
        }
    }
}

TEST(FirmwareStore, ReadsSizesInAndOutAndAttributes)
{
    install_fakes(true, true, false, false);
    const uint8_t value[6] = {2, 0, 0, 0, 0, 0};
    fake_set_variable("Quiplex", value, sizeof value);
    uint8_t buffer[64];
    size_t size = sizeof buffer;
    uint32_t attributes = 0;
    ASSERT_EQ(read_variable("Quiplex", GUID, buffer, &size, &attributes), 0u);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(attributes, 7u);
    EXPECT_EQ(fake.read_capacities[0], 64u);
    EXPECT_EQ(memcmp(buffer, value, 6), 0);
    // The caller's "no attributes" reaches Windows unchanged.
    size = sizeof buffer;
    ASSERT_EQ(read_variable("Quiplex", GUID, buffer, &size, nullptr), 0u);
    EXPECT_EQ(fake.last_attributes_place, nullptr);
    // Too small a buffer: 95 with the size at 0.
    size = 4;
    EXPECT_EQ(read_variable("Quiplex", GUID, buffer, &size, nullptr), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 0u);
}

TEST(FirmwareStore, PlainVariantsStoreZeroAttributesAndRefuseOthers)
{
    install_fakes(false, true, false, false);
    const uint8_t value[4] = {1, 0, 0, 0};
    fake_set_variable("ZarvexUEFI", value, 4);
    uint8_t buffer[4];
    size_t size = 4;
    uint32_t attributes = 0xAA;
    ASSERT_EQ(read_variable("ZarvexUEFI", GUID, buffer, &size, &attributes), 0u);
    EXPECT_EQ(attributes, 0u);
    EXPECT_FALSE(fake.last_attributes_place_seen);
    for (uint32_t allowed : {0u, 7u}) {
        EXPECT_EQ(write_variable("Quiplex", GUID, value, 4, allowed), 0u);
    }
    EXPECT_EQ(fake.write_count, 2u);
    SetLastError(0);
    EXPECT_EQ(write_variable("Quiplex", GUID, value, 4, 3), STATUS_WRITE_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(fake.write_count, 2u);
}

TEST(FirmwareStore, DecidedBeforeWindowsIsAsked)
{
    install_fakes(true, true, false, false);
    uint8_t buffer[4];
    for (const char *bad : {"81686ef9-7f6f-42e3-9371-696de9bf6299", "", "{81686ef9}"}) {
        size_t size = 4;
        EXPECT_EQ(read_variable("Quiplex", bad, buffer, &size, nullptr), 61u);
        EXPECT_EQ(size, 4u);
    }
    size_t size = 4;
    EXPECT_EQ(read_variable(nullptr, GUID, buffer, &size, nullptr), 61u);
    EXPECT_EQ(fake.read_count, 0u);
    // Writes hand unchecked GUID text to Windows.
    EXPECT_EQ(write_variable("Quiplex", "no-braces", buffer, 4, 7), 0u);
    EXPECT_EQ(fake.write_count, 1u);

    install_fakes(false, false, false, false);
    size = 4;
    EXPECT_EQ(read_variable("Quiplex", GUID, buffer, &size, nullptr), 76u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(write_variable("Quiplex", GUID, buffer, 4, 7), 76u);
}

TEST(FirmwareStore, SizeZeroDeletes)
{
    install_fakes(true, false, false, false);
    const uint8_t value[4] = {1, 0, 0, 0};
    fake_set_variable("Quiplex", value, 4);
    EXPECT_EQ(write_variable("Quiplex", GUID, nullptr, 0, 7), 0u);
    EXPECT_EQ(fake_variable("Quiplex"), nullptr);
}

TEST(OptionalFunctions, ResolvedByNameFromWine)
{
    OptionalFunctions saved = optional_functions;
    resolve_optional_functions();
    // Wine 8 has the plain firmware functions and both shutdown functions, not the Ex reads.
    EXPECT_NE(optional_functions.get_firmware_variable, nullptr);
    EXPECT_NE(optional_functions.initiate_shutdown_ex, nullptr);
    EXPECT_EQ(reinterpret_cast<void *>(optional_functions.get_firmware_variable),
              reinterpret_cast<void *>(
                  GetProcAddress(GetModuleHandleA("kernel32"), "GetFirmwareEnvironmentVariableA")));
    optional_functions = saved;
}

TEST(EnablePrivilege, RealTokenUnderWine)
{
    EXPECT_EQ(enable_privilege("SeNoSuchPrivilege", true),
              static_cast<DWORD>(ERROR_FUNCTION_FAILED));
    // Wine reports the previous state even when nothing changed, so 1247 cannot be forced here.
    for (bool enable : {false, true, true}) {
        const DWORD result = enable_privilege("SeSystemEnvironmentPrivilege", enable);
        EXPECT_TRUE(result == 0 || result == ERROR_ALREADY_INITIALIZED) << result;
    }
    EXPECT_EQ(enable_privilege("SeShutdownPrivilege", true) == ERROR_FUNCTION_FAILED, false);
}

TEST(AdjustPrivilege, WithoutPreviousStateRecordUnderWine)
{
    // The restart's form: no record is asked for, yet success and failure still show.
    EXPECT_TRUE(adjust_privilege("SeShutdownPrivilege", true, nullptr));
    EXPECT_FALSE(adjust_privilege("SeNoSuchPrivilege", true, nullptr));
}

// What the token is asked, over Wine's own token: one privilege, its state, room for the
// previous state only when a record is wanted; the token closed whenever it was opened.
TEST(AdjustPrivilege, OnePrivilegeAskedAndTheTokenClosed)
{
    LUID shutdown = {};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &shutdown));
    for (bool enable : {true, false}) {
        for (bool with_record : {false, true}) {
            SCOPED_TRACE(testing::Message() << "enable " << enable << ", record " << with_record);
            install_fakes(false, false, false, false);
            TOKEN_PRIVILEGES previous = {};
            EXPECT_TRUE(
                adjust_privilege("SeShutdownPrivilege", enable, with_record ? &previous : nullptr));
            EXPECT_EQ(fake.token_opens, 1u);
            EXPECT_TRUE(fake.own_process);
            EXPECT_EQ(fake.token_access, DWORD(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY));
            EXPECT_EQ(fake.adjusted.PrivilegeCount, 1u);
            EXPECT_EQ(fake.adjusted.Privileges[0].Luid.LowPart, shutdown.LowPart);
            EXPECT_EQ(fake.adjusted.Privileges[0].Luid.HighPart, shutdown.HighPart);
            EXPECT_EQ(fake.adjusted.Privileges[0].Attributes, enable ? 2u : 0u);
            EXPECT_EQ(fake.adjusted_length, with_record ? sizeof previous : 0u);
            EXPECT_EQ(fake.previous_asked, with_record);
            EXPECT_EQ(fake.returned_length_asked, with_record);
            EXPECT_EQ(fake.token_closes, 1u);
        }
    }
    const struct {
        TokenRefusal refusal;
        unsigned adjustments, closes;
    } refusals[] = {{REFUSE_OPEN, 0, 0}, {REFUSE_LOOKUP, 0, 1}, {REFUSE_ADJUST, 1, 1}};
    for (const auto &r : refusals) {
        install_fakes(false, false, false, false);
        fake.token_refusal = r.refusal;
        EXPECT_FALSE(adjust_privilege("SeShutdownPrivilege", true, nullptr)) << r.refusal;
        EXPECT_EQ(fake.adjustments, r.adjustments) << r.refusal;
        EXPECT_EQ(fake.token_closes, r.closes) << r.refusal;
        EXPECT_EQ(enable_privilege("SeShutdownPrivilege", true),
                  static_cast<DWORD>(ERROR_FUNCTION_FAILED))
            << r.refusal;
    }
}

// enable_privilege tells from the previous state whether anything changed.
TEST(EnablePrivilege, NothingChangedWhenWindowsRecordsNoPreviousState)
{
    const struct {
        int previous_count;
        DWORD result;
    } rows[] = {{0, ERROR_ALREADY_INITIALIZED}, {1, ERROR_SUCCESS}};
    for (const auto &row : rows) {
        install_fakes(false, false, false, false);
        fake.reported_previous_count = row.previous_count;
        EXPECT_EQ(enable_privilege("SeSystemEnvironmentPrivilege", true), row.result);
        EXPECT_STREQ(fake.privilege_log, "SeSystemEnvironmentPrivilege+ ");
    }
}

struct RestartCase {
    bool ex_present;
    bool plain_present;
    DWORD error;
    bool force;
    unsigned ex_calls, plain_calls, sleeps, exit_calls;
    UINT exit_flags;
};

const RestartCase RESTART_CASES[] = {
    {true, true, 0, false, 1, 0, 0, 0, 0},
    {true, true, 0, true, 1, 0, 0, 0, 0},
    {true, true, ERROR_NOT_READY, false, 5, 0, 5, 0, 0},
    {true, true, ERROR_ACCESS_DENIED, false, 1, 0, 0, 0, 0},
    {false, true, ERROR_NOT_READY, true, 0, 5, 5, 0, 0},
    {false, true, 0, false, 0, 1, 0, 0, 0},
    {false, false, 0, false, 0, 0, 0, 1, 2},
    {false, false, 0, true, 0, 0, 0, 1, 6},
};

TEST(Restart, ChoiceOfFunctionAndRetryRule)
{
    for (const RestartCase &c : RESTART_CASES) {
        install_fakes(false, false, c.ex_present, c.plain_present);
        fake.shutdown_error = c.error;
        restart_system(c.force);
        SCOPED_TRACE(testing::Message() << "ex=" << c.ex_present << " plain=" << c.plain_present
                                        << " error=" << c.error << " force=" << c.force);
        EXPECT_EQ(fake.shutdown_calls, c.ex_calls);
        EXPECT_EQ(fake.plain_shutdown_calls, c.plain_calls);
        EXPECT_EQ(fake.sleeps, c.sleeps);
        EXPECT_EQ(fake.slept_milliseconds, c.sleeps * 5000u);
        EXPECT_EQ(fake.exit_windows_calls, c.exit_calls);
        if (c.exit_calls) {
            EXPECT_EQ(fake.exit_windows_flags, c.exit_flags);
        }
        if (c.ex_calls || c.plain_calls) {
            EXPECT_EQ(fake.last_force, c.force ? TRUE : FALSE);
            EXPECT_EQ(fake.last_reboot, TRUE);
            EXPECT_EQ(fake.last_timeout, 0u);
        }
        if (c.ex_calls || c.exit_calls) {
            EXPECT_EQ(fake.last_reason, 0x80000000u);
        }
        // The right to shut down is enabled first, on Windows NT, whichever function follows.
        EXPECT_STREQ(fake.privilege_log, "SeShutdownPrivilege+ ");
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Before any test: no real firmware or shutdown function stays reachable.
    install_fakes(false, false, false, false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
