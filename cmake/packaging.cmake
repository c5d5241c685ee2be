# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# CPack settings: a .deb and an .rpm from the linux build, a zip from the windows build.
if(QUIPLEX_PLATFORM STREQUAL "uefi")
    return()
endif()

set(CPACK_PACKAGE_NAME quiplex)
set(CPACK_PACKAGE_VENDOR "The quiplex developers")
set(CPACK_PACKAGE_CONTACT "The quiplex developers <quiplex@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "one-shot boot selection for the Zarvex UEFI boot manager")
file(READ ${PROJECT_SOURCE_DIR}/packaging/description.txt CPACK_PACKAGE_DESCRIPTION)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Independent of the umask of whoever builds the package.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(QUIPLEX_PLATFORM STREQUAL "windows")
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME quiplexu-${PROJECT_VERSION}-win64)
else()
    set(CPACK_GENERATOR DEB RPM)
    # The install rules then see the real prefix (/usr), which the sleep hook writes into itself.
    set(CPACK_SET_DESTDIR ON)
    set(CPACK_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION admin)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # dpkg-shlibdeps names the C library quiplexlnx links; the hook needs only /bin/sh.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

    set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
    set(CPACK_RPM_PACKAGE_SUMMARY "One-shot boot selection for the Zarvex UEFI boot manager")
    set(CPACK_RPM_PACKAGE_LICENSE MIT)
    set(CPACK_RPM_PACKAGE_RELOCATABLE OFF)
    set(CPACK_RPM_PACKAGE_URL "https://quiplex.example.org/")
    set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
    # rpm computes the needs itself: the C library's sonames and /bin/sh for the sleep hook.
    set(CPACK_RPM_PACKAGE_AUTOREQPROV ON)
    set(CPACK_RPM_USER_FILELIST "%license /usr/share/doc/quiplex/LICENSE")
    # No /usr/lib/.build-id links: they would clash with another package's copy of the same program.
    # The build time is SOURCE_DATE_EPOCH, no file is newer than it, and no build host is named.
    set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none
%define packager ${CPACK_PACKAGE_CONTACT}
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _buildhost reproducible")
    # These directories belong to the system, systemd, bash-completion and zsh, not to this package.
    set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/sbin /usr/share/man /usr/share/man/man8
        /usr/lib/systemd /usr/lib/systemd/system-sleep
        /usr/share/bash-completion /usr/share/bash-completion/completions
        /usr/share/zsh /usr/share/zsh/vendor-completions)
endif()

include(CPack)
