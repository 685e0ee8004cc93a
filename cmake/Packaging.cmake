# The manual page, the package's documents and the Debian package that `make package` builds.

# The page names the settings file, whose name follows the version.
configure_file(${PROJECT_SOURCE_DIR}/data/tellix.1.in ${PROJECT_BINARY_DIR}/data/tellix.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/debian/changelog ${PROJECT_BINARY_DIR}/data/changelog COPYONLY)

# Debian wants both compressed at the highest level and without a time stamp, so that a
# rebuild gives the same bytes.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(tellix_gzipped)
foreach(document tellix.1 changelog)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/data/${document}.gz
    COMMAND ${GZIP_EXECUTABLE} -n -9 -f -k ${PROJECT_BINARY_DIR}/data/${document}
    DEPENDS ${PROJECT_BINARY_DIR}/data/${document}
    VERBATIM)
  list(APPEND tellix_gzipped ${PROJECT_BINARY_DIR}/data/${document}.gz)
endforeach()
add_custom_target(tellix_documents ALL DEPENDS ${tellix_gzipped})

install(FILES ${PROJECT_BINARY_DIR}/data/tellix.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES data/debian/copyright ${PROJECT_BINARY_DIR}/data/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tellix)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tellix)
set(CPACK_PACKAGE_VENDOR "The Tellix developers")
set(CPACK_PACKAGE_CONTACT "Tellix developers <tellix@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fast desktop client for Internet Relay Chat")
set(CPACK_PACKAGE_DESCRIPTION
  "Tellix connects to IRC servers and shows what happens in text windows: a status
window for each server, one window per channel with its members, and one window
per private conversation. Its logs keep every line on disk and can be searched,
and they stay quick on the largest channels and the busiest floods.
It speaks TLS, SASL and the common IRCv3 capabilities, works behind a bouncer
such as ZNC, and opens irc:// and ircs:// links. Besides its Qt window it runs
in a terminal (tellix --console).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The package's binary loses its symbols; the build tree's keeps them for debugging.
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
