// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// quiplexefi's start-up (efi_main, the text mode) and its restart over fake firmware tables.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake_tables.h"
#include "platform.h"
#include "startup.h"

extern "C" EFI_STATUS efi_main(EFI_HANDLE image, EFI_SYSTEM_TABLE *system_table);

namespace {

FakeTables tables;
std::vector<std::string> calls; // what the firmware was asked, in order

struct TextMode {
    EFI_STATUS status;
    UINTN columns, rows; // reported even with a failure, which must not count
};
std::vector<TextMode> text_modes;

EFI_STATUS EFIAPI fake_query_mode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self, UINTN mode, UINTN *columns,
                                  UINTN *rows)
{
    EXPECT_EQ(self, &tables.out);
    if (mode >= text_modes.size()) {
        ADD_FAILURE() << "mode " << mode << " beyond MaxMode";
        return EFI_UNSUPPORTED;
    }
    *columns = text_modes[mode].columns;
    *rows = text_modes[mode].rows;
    return text_modes[mode].status;
}
EFI_STATUS EFIAPI fake_set_mode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self, UINTN mode)
{
    EXPECT_EQ(self, &tables.out);
    calls.push_back("mode " + std::to_string(mode));
    return EFI_SUCCESS;
}
EFI_STATUS EFIAPI fake_clear(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self)
{
    EXPECT_EQ(self, &tables.out);
    calls.push_back("clear");
    return EFI_SUCCESS;
}
EFI_STATUS EFIAPI fake_cursor(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self, BOOLEAN visible)
{
    EXPECT_EQ(self, &tables.out);
    calls.push_back("cursor " + std::to_string(visible));
    return EFI_SUCCESS;
}

TEST(TextMode, MostColumnsPlusRowsLowestOnATie)
{
    const EFI_STATUS fail = EFI_DEVICE_ERROR;
    const struct {
        std::vector<TextMode> modes;
        UINTN chosen;
    } rows[] = {
        {{{EFI_SUCCESS, 80, 25}, {EFI_SUCCESS, 80, 50}, {EFI_SUCCESS, 100, 31}}, 2},
        {{{EFI_SUCCESS, 100, 31}, {EFI_SUCCESS, 80, 25}}, 0},
        {{{EFI_SUCCESS, 80, 25}, {EFI_SUCCESS, 100, 5}}, 0},
        {{{fail, 200, 100}, {EFI_SUCCESS, 80, 25}, {EFI_SUCCESS, 2, 1}}, 1},
        {{{EFI_SUCCESS, 80, 25}, {fail, 200, 100}}, 0},
        {{{fail, 80, 25}, {fail, 200, 100}}, 0},
        {{{fail, 80, 25}, {EFI_SUCCESS, 0, 0}}, 1}, // the first mode that answers, however small
        {{}, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.modes.size() << " modes, chosen " << row.chosen);
        refuse_every_call(&tables);
        tables.out.QueryMode = fake_query_mode;
        tables.out.SetMode = fake_set_mode;
        tables.out.ClearScreen = fake_clear;
        tables.out.EnableCursor = fake_cursor;
        SIMPLE_TEXT_OUTPUT_MODE mode{};
        mode.MaxMode = static_cast<int32_t>(row.modes.size());
        tables.out.Mode = &mode;
        text_modes = row.modes;
        calls.clear();
        use_largest_text_mode(&tables.out);
        EXPECT_EQ(calls, (std::vector<std::string>{"mode " + std::to_string(row.chosen), "clear",
                                                   "cursor 1"}));
    }
    // A console without a mode record keeps mode 0 and is never asked about modes.
    refuse_every_call(&tables);
    tables.out.SetMode = fake_set_mode;
    tables.out.ClearScreen = fake_clear;
    tables.out.EnableCursor = fake_cursor;
    calls.clear();
    use_largest_text_mode(&tables.out);
    EXPECT_EQ(calls, (std::vector<std::string>{"mode 0", "clear", "cursor 1"}));
}

// Volumes for the restart: each handle's answers, and the firmware's record of the calls.
struct Volume {
    EFI_SIMPLE_FILE_SYSTEM_PROTOCOL protocol;
    EFI_FILE_PROTOCOL root;
    EFI_STATUS open_protocol;
    EFI_STATUS open_volume;
    bool root_is_null;
};
Volume volumes[4];
EFI_HANDLE handles[4] = {&volumes[0], &volumes[1], &volumes[2], &volumes[3]};
EFI_STATUS locate_status;
UINTN located;
EFI_HANDLE image_handle = &located; // any address that is no volume's

int volume_number(const void *pointer)
{
    for (int i = 0; i < 4; i++)
        if (pointer == &volumes[i] || pointer == &volumes[i].protocol ||
            pointer == &volumes[i].root)
            return i;
    ADD_FAILURE() << "not a volume";
    return -1;
}

EFI_STATUS EFIAPI fake_locate(EFI_LOCATE_SEARCH_TYPE search, const EFI_GUID *protocol,
                              void *search_key, UINTN *count, EFI_HANDLE **buffer)
{
    EXPECT_EQ(search, ByProtocol);
    EXPECT_EQ(memcmp(protocol, &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID, sizeof *protocol), 0);
    EXPECT_EQ(search_key, nullptr);
    calls.push_back("locate");
    if (locate_status == EFI_SUCCESS) {
        *count = located;
        *buffer = handles;
    }
    return locate_status;
}
EFI_STATUS EFIAPI fake_open(EFI_HANDLE handle, const EFI_GUID *protocol, void **interface,
                            EFI_HANDLE agent, EFI_HANDLE controller, uint32_t attributes)
{
    EXPECT_EQ(memcmp(protocol, &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID, sizeof *protocol), 0);
    EXPECT_EQ(agent, image_handle);
    EXPECT_EQ(controller, nullptr);
    EXPECT_EQ(attributes, EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL);
    const int n = volume_number(handle);
    calls.push_back("open " + std::to_string(n));
    if (volumes[n].open_protocol == EFI_SUCCESS)
        *interface = &volumes[n].protocol;
    return volumes[n].open_protocol;
}
EFI_STATUS EFIAPI fake_open_volume(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *self, EFI_FILE_PROTOCOL **root)
{
    const int n = volume_number(self);
    calls.push_back("volume " + std::to_string(n));
    *root = volumes[n].root_is_null ? nullptr : &volumes[n].root;
    return volumes[n].open_volume;
}
EFI_STATUS EFIAPI fake_flush(EFI_FILE_PROTOCOL *self)
{
    calls.push_back("flush " + std::to_string(volume_number(self)));
    return EFI_SUCCESS;
}
EFI_STATUS EFIAPI fake_close(EFI_FILE_PROTOCOL *self)
{
    calls.push_back("close " + std::to_string(volume_number(self)));
    return EFI_SUCCESS;
}
EFI_STATUS EFIAPI fake_close_protocol(EFI_HANDLE handle, const EFI_GUID *protocol, EFI_HANDLE agent,
                                      EFI_HANDLE controller)
{
    EXPECT_EQ(memcmp(protocol, &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID, sizeof *protocol), 0);
    EXPECT_EQ(agent, image_handle);
    EXPECT_EQ(controller, nullptr);
    calls.push_back("release " + std::to_string(volume_number(handle)));
    return EFI_SUCCESS;
}
EFI_STATUS EFIAPI fake_free_pool(void *buffer)
{
    EXPECT_EQ(buffer, handles);
    calls.push_back("free");
    return EFI_SUCCESS;
}
void EFIAPI fake_reset(EFI_RESET_TYPE type, EFI_STATUS status, UINTN size, const void *data)
{
    calls.push_back("reset " + std::to_string(type) + " " + std::to_string(status) + " " +
                    std::to_string(size) + (data == nullptr ? "" : " data"));
}

TEST(Restart, EveryVolumeFlushedThenAWarmReset)
{
    refuse_every_call(&tables);
    tables.boot.LocateHandleBuffer = fake_locate;
    tables.boot.OpenProtocol = fake_open;
    tables.boot.CloseProtocol = fake_close_protocol;
    tables.boot.FreePool = fake_free_pool;
    tables.runtime.ResetSystem = fake_reset;
    for (Volume &volume : volumes) {
        volume = Volume{};
        volume.protocol.OpenVolume = fake_open_volume;
        volume.root.Flush = fake_flush;
        volume.root.Close = fake_close;
    }
    volumes[1].open_protocol = EFI_UNSUPPORTED; // not opened: nothing to release
    volumes[2].open_volume = EFI_DEVICE_ERROR;
    volumes[3].root_is_null = true;
    EFI_SYSTEM_TABLE *const saved_system = gST;
    EFI_BOOT_SERVICES *const saved_boot = gBS;
    EFI_RUNTIME_SERVICES *const saved_runtime = gRT;
    const EFI_HANDLE saved_image = gImageHandle;
    gBS = &tables.boot;
    gRT = &tables.runtime;
    gImageHandle = image_handle;
    const struct {
        EFI_STATUS locate;
        UINTN count;
        std::vector<std::string> calls;
    } rows[] = {
        {EFI_SUCCESS,
         4,
         {"locate", "open 0", "volume 0", "flush 0", "close 0", "release 0", "open 1", "open 2",
          "volume 2", "release 2", "open 3", "volume 3", "release 3", "free", "reset 1 0 0"}},
        {EFI_SUCCESS,
         1,
         {"locate", "open 0", "volume 0", "flush 0", "close 0", "release 0", "free",
          "reset 1 0 0"}},
        {EFI_SUCCESS, 0, {"locate", "free", "reset 1 0 0"}},
        {EFI_NOT_FOUND, 0, {"locate", "reset 1 0 0"}},
    };
    for (const auto &row : rows) {
        locate_status = row.locate;
        located = row.count;
        for (bool force : {false, true}) {
            calls.clear();
            restart_system(force);
            EXPECT_EQ(calls, row.calls) << row.count << " volumes, force " << force;
        }
    }
    gST = saved_system;
    gBS = saved_boot;
    gRT = saved_runtime;
    gImageHandle = saved_image;
}

// efi_main: the firmware's tables recorded, the watchdog off, then the program on its arguments.
EFI_SHELL_PARAMETERS_PROTOCOL shell_parameters;

EFI_STATUS EFIAPI fake_watchdog(UINTN timeout, uint64_t code, UINTN size, const CHAR16 *data)
{
    calls.push_back("watchdog " + std::to_string(timeout) + " " + std::to_string(code) + " " +
                    std::to_string(size) + (data == nullptr ? "" : " data"));
    return EFI_SUCCESS;
}
EFI_STATUS EFIAPI fake_open_parameters(EFI_HANDLE handle, const EFI_GUID *protocol,
                                       void **interface, EFI_HANDLE agent, EFI_HANDLE, uint32_t)
{
    EXPECT_EQ(memcmp(protocol, &EFI_SHELL_PARAMETERS_PROTOCOL_GUID, sizeof *protocol), 0);
    EXPECT_EQ(handle, image_handle);
    EXPECT_EQ(agent, image_handle);
    calls.push_back("arguments");
    *interface = &shell_parameters;
    return EFI_SUCCESS;
}

TEST(EfiMain, TablesWatchdogModeThenTheProgram)
{
    refuse_every_call(&tables);
    tables.system.Hdr.Revision = 0x00020046; // UEFI 2.7
    tables.boot.SetWatchdogTimer = fake_watchdog;
    tables.boot.OpenProtocol = fake_open_parameters;
    tables.out.QueryMode = fake_query_mode;
    tables.out.SetMode = fake_set_mode;
    tables.out.ClearScreen = fake_clear;
    tables.out.EnableCursor = fake_cursor;
    SIMPLE_TEXT_OUTPUT_MODE mode{};
    mode.MaxMode = 2;
    tables.out.Mode = &mode;
    text_modes = {{EFI_SUCCESS, 80, 25}, {EFI_SUCCESS, 100, 31}};
    std::u16string words[] = {u"quiplexefi.efi", u"--version"};
    CHAR16 *argv[] = {words[0].data(), words[1].data()};
    shell_parameters.Argv = argv;
    shell_parameters.Argc = 2;
    calls.clear();
    testing::internal::CaptureStdout(); // the core prints with the host's printf here
    EXPECT_EQ(efi_main(image_handle, &tables.system), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "quiplexefi 1.03\n");
    EXPECT_EQ(calls, (std::vector<std::string>{"watchdog 0 0 0", "mode 1", "clear", "cursor 1",
                                               "arguments"}));
    EXPECT_EQ(gImageHandle, image_handle);
    EXPECT_EQ(gST, &tables.system);
    EXPECT_EQ(gBS, &tables.boot);
    EXPECT_EQ(gRT, &tables.runtime);
}

} // namespace
