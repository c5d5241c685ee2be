// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Firmware tables whose every call fails the test until the test puts its own fake in the slot.
#include "fake_tables.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

template <typename Result, typename... Args> Result EFIAPI unexpected_call(Args...)
{
    ADD_FAILURE() << "unexpected firmware call";
    if constexpr (!std::is_void_v<Result>)
        return EFI_UNSUPPORTED;
}

template <typename Result, typename... Args> void refuse(Result(EFIAPI *&slot)(Args...))
{
    slot = unexpected_call<Result, Args...>;
}
void refuse(void *&slot)
{
    slot = reinterpret_cast<void *>(unexpected_call<EFI_STATUS>);
}
template <typename... Slots> void refuse_all(Slots &...slots)
{
    (refuse(slots), ...);
}

// The slot counts keep these lists complete when a table in firmware.h grows.
static_assert(sizeof(EFI_RUNTIME_SERVICES) == sizeof(EFI_TABLE_HEADER) + 11 * sizeof(void *));
static_assert(sizeof(EFI_BOOT_SERVICES) == sizeof(EFI_TABLE_HEADER) + 37 * sizeof(void *));
static_assert(sizeof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL) == 10 * sizeof(void *));
static_assert(sizeof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL) == 3 * sizeof(void *));

} // namespace

void refuse_every_call(FakeTables *t)
{
    *t = FakeTables{};
    EFI_RUNTIME_SERVICES &r = t->runtime;
    refuse_all(r.GetTime, r.SetTime, r.GetWakeupTime, r.SetWakeupTime, r.SetVirtualAddressMap,
               r.ConvertPointer, r.GetVariable, r.GetNextVariableName, r.SetVariable,
               r.GetNextHighMonotonicCount, r.ResetSystem);
    EFI_BOOT_SERVICES &b = t->boot;
    refuse_all(b.RaiseTPL, b.RestoreTPL, b.AllocatePages, b.FreePages, b.GetMemoryMap,
               b.AllocatePool, b.FreePool, b.CreateEvent, b.SetTimer, b.WaitForEvent, b.SignalEvent,
               b.CloseEvent, b.CheckEvent, b.InstallProtocolInterface, b.ReinstallProtocolInterface,
               b.UninstallProtocolInterface, b.HandleProtocol, b.Reserved, b.RegisterProtocolNotify,
               b.LocateHandle, b.LocateDevicePath, b.InstallConfigurationTable, b.LoadImage,
               b.StartImage, b.Exit, b.UnloadImage, b.ExitBootServices, b.GetNextMonotonicCount,
               b.Stall, b.SetWatchdogTimer, b.ConnectController, b.DisconnectController,
               b.OpenProtocol, b.CloseProtocol, b.OpenProtocolInformation, b.ProtocolsPerHandle,
               b.LocateHandleBuffer);
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL &o = t->out;
    refuse_all(o.Reset, o.OutputString, o.TestString, o.QueryMode, o.SetMode, o.SetAttribute,
               o.ClearScreen, o.SetCursorPosition, o.EnableCursor);
    refuse_all(t->in.Reset, t->in.ReadKeyStroke);
    t->system.ConIn = &t->in;
    t->system.ConOut = t->system.StdErr = &t->out;
    t->system.RuntimeServices = &t->runtime;
    t->system.BootServices = &t->boot;
}
