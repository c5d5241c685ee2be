# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Each shipped program's linker map in build/link-maps: the bill of materials
# (scripts/make_sbom.py) reads from it which archives and objects the linker took. The UEFI
# image, linked by a custom command, writes its own (uefi/CMakeLists.txt).
foreach(program quiplexlnx quiplexu quiplexc quiplexguard)
    if(TARGET ${program})
        target_link_options(${program} PRIVATE "LINKER:-Map=${QUIPLEX_LINK_MAP_DIR}/${program}.map")
    endif()
endforeach()
