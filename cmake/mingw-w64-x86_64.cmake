# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Cross toolchain: Debian's mingw-w64 for 64-bit Windows, with Wine to run what it builds.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Wine as the test scripts set it up, with its prefix inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR /bin/bash ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine.sh
    ${CMAKE_BINARY_DIR}/wineprefix)
# GoogleTest needs std::mutex, i.e. the posix thread model; -static keeps winpthread inside the PE.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-undefined")
