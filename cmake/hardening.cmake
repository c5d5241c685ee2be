# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Hardening flags: Debian's hardening=+all set for the Linux program, stack protection for the PEs.

# What `dpkg-buildflags` gives a Debian package with DEB_BUILD_MAINT_OPTIONS=hardening=+all, the
# newer dpkg's stack-clash and CET flags included. Level 3 of fortify also checks calls whose sizes
# are known only at run time; it needs the optimiser, which every build type but Debug runs.
set(QUIPLEX_ELF_HARDENING_COMPILE -fstack-protector-strong -fstack-clash-protection
    -fcf-protection -Wformat -Werror=format-security -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3)
set(QUIPLEX_ELF_HARDENING_LINK -pie -Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack -Wl,--as-needed)

# mingw-w64's stack protector lives in libssp, which -static puts inside the PE; binutils sets
# DYNAMIC_BASE, HIGH_ENTROPY_VA and NX_COMPAT itself, named here so that no default change drops them.
set(QUIPLEX_PE_HARDENING_COMPILE -fstack-protector-strong -Wformat -Werror=format-security)
set(QUIPLEX_PE_HARDENING_LINK -fstack-protector-strong -Wl,--dynamicbase -Wl,--high-entropy-va
    -Wl,--nxcompat)

# The sanitizer build (preset linux-sanitize) runs the host suites over sanitized code throughout;
# fortify stays out there, as the sanitizers check those calls themselves.
option(QUIPLEX_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QUIPLEX_SANITIZE)
    set(QUIPLEX_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_compile_options(${QUIPLEX_SANITIZERS})
    add_link_options(${QUIPLEX_SANITIZERS})
    list(REMOVE_ITEM QUIPLEX_ELF_HARDENING_COMPILE -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3)
endif()

# Hardens the given targets of this build: compile flags for every one, link flags for programs.
function(quiplex_harden)
    foreach(target IN LISTS ARGN)
        set_property(TARGET ${target} PROPERTY POSITION_INDEPENDENT_CODE ON)
        if(QUIPLEX_PLATFORM STREQUAL "linux")
            target_compile_options(${target} PRIVATE ${QUIPLEX_ELF_HARDENING_COMPILE})
            get_target_property(type ${target} TYPE)
            if(type STREQUAL "EXECUTABLE")
                target_link_options(${target} PRIVATE ${QUIPLEX_ELF_HARDENING_LINK})
            endif()
        elseif(QUIPLEX_PLATFORM STREQUAL "windows")
            target_compile_options(${target} PRIVATE ${QUIPLEX_PE_HARDENING_COMPILE})
            get_target_property(type ${target} TYPE)
            if(type STREQUAL "EXECUTABLE")
                target_link_options(${target} PRIVATE ${QUIPLEX_PE_HARDENING_LINK})
            else()
                # Whatever links this code (the test programs too) needs libssp's handler.
                target_link_options(${target} INTERFACE -fstack-protector-strong)
            endif()
        endif()
    endforeach()
endfunction()
