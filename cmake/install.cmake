# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Install rules: where `cmake --install` (and so each package) puts the programs and documents.
include(GNUInstallDirs)

# The user guides the README links, installed beside it as doc/ so the links resolve there too.
set(QUIPLEX_GUIDES)
foreach(guide command-line linux windows uefi-shell ansible)
    list(APPEND QUIPLEX_GUIDES ${PROJECT_SOURCE_DIR}/doc/${guide}.md)
endforeach()

set(QUIPLEX_EFI_IMAGE_FOR_PACKAGE "" CACHE FILEPATH
    "quiplexefi.efi from a uefi build, installed beside quiplexlnx (scripts/package.sh sets it)")

# The notices of the third-party code linked into the programs, as the build host's packages
# carry them: gnu-efi's start-up code and self-relocation in quiplexefi.efi; mingw-w64's runtime
# and winpthreads in every PE.
# Copied into the build first: a package keeps an installed file's time when it is older than
# SOURCE_DATE_EPOCH, and the host's file time is no part of this source.
set(QUIPLEX_GNU_EFI_NOTICE ${CMAKE_BINARY_DIR}/notices/NOTICE-gnu-efi)
set(QUIPLEX_MINGW_W64_NOTICE ${CMAKE_BINARY_DIR}/notices/NOTICE-mingw-w64.txt)
if(QUIPLEX_PLATFORM STREQUAL "windows")
    configure_file(/usr/share/doc/mingw-w64-x86-64-dev/copyright ${QUIPLEX_MINGW_W64_NOTICE} COPYONLY)
else()
    configure_file(/usr/share/doc/gnu-efi/copyright ${QUIPLEX_GNU_EFI_NOTICE} COPYONLY)
endif()

if(QUIPLEX_PLATFORM STREQUAL "windows")
    # The zip is flat: the programs (quiplexguard.exe is the guard service's) and the two
    # documents side by side.
    install(TARGETS quiplexu quiplexc quiplexguard RUNTIME DESTINATION .)
    # Signed here, after the strip that would break the signature, so the zip and the MSI (made
    # from the zip) hold the same signed files; windows/sign.sh does nothing without a key.
    foreach(program quiplexu quiplexc quiplexguard)
        install(CODE "execute_process(COMMAND bash \"${PROJECT_SOURCE_DIR}/windows/sign.sh\"
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${program}.exe\" COMMAND_ERROR_IS_FATAL ANY)")
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
    install(FILES ${QUIPLEX_MINGW_W64_NOTICE} DESTINATION . RENAME NOTICE-mingw-w64.txt)
    install(FILES ${QUIPLEX_GUIDES} DESTINATION doc)
    return()
endif()

# The firmware loads the image from the EFI system partition, never from here: the
# administrator copies it there (and signs it first where Secure Boot is on).
if(QUIPLEX_PLATFORM STREQUAL "uefi")
    install(FILES $<TARGET_PROPERTY:quiplexefi,QUIPLEX_IMAGE> DESTINATION lib/quiplex)
    install(FILES ${QUIPLEX_GNU_EFI_NOTICE} DESTINATION ${CMAKE_INSTALL_DOCDIR}
            RENAME NOTICE-gnu-efi)
    return()
endif()
if(QUIPLEX_EFI_IMAGE_FOR_PACKAGE)
    if(NOT EXISTS ${QUIPLEX_EFI_IMAGE_FOR_PACKAGE})
        message(FATAL_ERROR "QUIPLEX_EFI_IMAGE_FOR_PACKAGE: no such file "
            "${QUIPLEX_EFI_IMAGE_FOR_PACKAGE}")
    endif()
    install(FILES ${QUIPLEX_EFI_IMAGE_FOR_PACKAGE} DESTINATION lib/quiplex)
    install(FILES ${QUIPLEX_GNU_EFI_NOTICE} DESTINATION ${CMAKE_INSTALL_DOCDIR}
            RENAME NOTICE-gnu-efi)
endif()

# binutils' strip, as Debian's own packages are stripped (LLVM 14's llvm-strip also rejects the
# relocations of some programs).
find_program(QUIPLEX_GNU_STRIP NAMES strip)
if(CMAKE_STRIP MATCHES "llvm-strip" AND QUIPLEX_GNU_STRIP)
    # The strip rule reads the cache entry (the target lives in another directory).
    set(CMAKE_STRIP ${QUIPLEX_GNU_STRIP} CACHE FILEPATH "Strip for installed programs" FORCE)
endif()
install(TARGETS quiplexlnx RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})

# The hook names quiplexlnx by its full path, which is only known for certain at install time
# (`cmake --install --prefix` and CPack may change the prefix); systemd wants it under lib/,
# not the multiarch library directory.
set(QUIPLEX_HOOK ${CMAKE_CURRENT_BINARY_DIR}/install/quiplex)
if(IS_ABSOLUTE "${CMAKE_INSTALL_SBINDIR}")
    set(QUIPLEX_HOOK_SBINDIR "${CMAKE_INSTALL_SBINDIR}")
else()
    set(QUIPLEX_HOOK_SBINDIR "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SBINDIR}")
endif()
# systemd and elogind read sleep hooks from /usr/lib/systemd/system-sleep (and /etc), never from
# under /usr/local or /opt: the hook goes there whatever the prefix (DESTDIR still applies).
set(QUIPLEX_SYSTEM_SLEEP_DIR /usr/lib/systemd/system-sleep CACHE PATH
    "Where the sleep hook is installed: the directory systemd reads")
install(CODE "
    set(QUIPLEXLNX \"${QUIPLEX_HOOK_SBINDIR}/quiplexlnx\")
    set(QUIPLEX_HOOK_OUTPUT \"${QUIPLEX_HOOK}\")
    include(\"${QUIPLEX_SLEEP_HOOK_SCRIPT}\")
    file(INSTALL DESTINATION \"${QUIPLEX_SYSTEM_SLEEP_DIR}\" TYPE FILE
         PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE
         FILES \"${QUIPLEX_HOOK}\")
")

# Manual pages and changelogs are installed compressed, as man-db reads them and Debian wants.
set(QUIPLEX_GZIPPED)
foreach(source doc/quiplexlnx.8 packaging/changelog)
    get_filename_component(name ${source} NAME)
    set(gzipped ${CMAKE_CURRENT_BINARY_DIR}/install/${name}.gz)
    # -n leaves out the name and time stamp, so two builds give the same bytes.
    add_custom_command(OUTPUT ${gzipped}
        COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${source} > ${gzipped}
        DEPENDS ${PROJECT_SOURCE_DIR}/${source}
        VERBATIM)
    list(APPEND QUIPLEX_GZIPPED ${gzipped})
endforeach()
add_custom_target(quiplex_install_files ALL DEPENDS ${QUIPLEX_GZIPPED})

install(FILES ${CMAKE_CURRENT_BINARY_DIR}/install/quiplexlnx.8.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
              ${PROJECT_SOURCE_DIR}/packaging/copyright
              ${CMAKE_CURRENT_BINARY_DIR}/install/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${QUIPLEX_GUIDES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc)

# Shell completion, where bash-completion and zsh (Debian's vendor directory) look for it.
install(FILES ${PROJECT_SOURCE_DIR}/linux/completion/quiplexlnx.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quiplexlnx)
install(FILES ${PROJECT_SOURCE_DIR}/linux/completion/_quiplexlnx
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
