# CPack settings: a .deb from the linux build, a zip from the windows build (scripts/package.sh).
if(QUIPLEX_PLATFORM STREQUAL "uefi")
    return()
endif()

set(CPACK_PACKAGE_NAME quiplex)
set(CPACK_PACKAGE_VENDOR "The quiplex developers")
set(CPACK_PACKAGE_CONTACT
    "The quiplex developers <maintainers@users.noreply.c-seed-320b77b6.example>")
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
    set(CPACK_GENERATOR DEB)
    # The install rules then see the real prefix (/usr), which the sleep hook writes into itself.
    set(CPACK_SET_DESTDIR ON)
    set(CPACK_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION admin)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # dpkg-shlibdeps finds no library need in the static quiplexlnx; the hook needs only /bin/sh.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
