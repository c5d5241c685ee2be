# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# The same sources give the same programs wherever and whenever they are built.
# No build path in any output (file names in debug information, __FILE__): the source tree
# becomes ".", and a build tree outside it "build".
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>")
cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${PROJECT_BINARY_DIR}" QUIPLEX_BUILD_IN_SOURCE)
if(NOT QUIPLEX_BUILD_IN_SOURCE)
    add_compile_options(
        "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
endif()
# The PE time stamp of every Windows executable is zero, not the link time.
if(QUIPLEX_PLATFORM STREQUAL "windows")
    add_link_options(-Wl,--no-insert-timestamp)
endif()
