# Run by cpack once per generator: the .rpm installs only the files without a component, which
# leaves out the Debian-only ones (component deb_only).
if(CPACK_GENERATOR STREQUAL "RPM")
    string(REPLACE ";ALL;" ";Unspecified;" CPACK_INSTALL_CMAKE_PROJECTS
        "${CPACK_INSTALL_CMAKE_PROJECTS}")
endif()
