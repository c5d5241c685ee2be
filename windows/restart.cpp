// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Asks Windows for an immediate restart through the most capable shutdown function present.
#include "restart.h"

#include "firmware_store.h"
#include "privileges.h"

RestartCalls restart_calls = {Sleep, ExitWindowsEx};

namespace {

// Windows answers ERROR_NOT_READY while it cannot take a shutdown request yet (e.g. early in
// a session), so that error alone earns another try after a pause.
template <typename Call> void call_with_retries(Call call)
{
    for (unsigned calls = 1;; ++calls) {
        if (call())
            return;
        if (GetLastError() != ERROR_NOT_READY)
            return;
        restart_calls.sleep(RESTART_PAUSE_MILLISECONDS);
        if (calls == RESTART_ATTEMPTS)
            return;
    }
}

} // namespace

void restart_system(bool force)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        // Without the privilege the shutdown call below fails on its own; nothing to check here.
        adjust_privilege("SeShutdownPrivilege", true, nullptr);
        // The pointers are copied into the calls, where the analyser can follow them.
        const OptionalFunctions &f = optional_functions;
        if (f.initiate_shutdown_ex != nullptr) {
            call_with_retries([initiate = f.initiate_shutdown_ex, force] {
                return initiate(nullptr, nullptr, 0, force, TRUE, RESTART_REASON);
            });
            return;
        }
        if (f.initiate_shutdown != nullptr) {
            call_with_retries([initiate = f.initiate_shutdown, force] {
                return initiate(nullptr, nullptr, 0, force, TRUE);
            });
            return;
        }
    }
    restart_calls.exit_windows_ex(EWX_REBOOT | (force ? EWX_FORCE : 0), RESTART_REASON);
}

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record Windows expects");
