# CPack: a Debian package from a native build, a zip from the Windows build
# (scripts/package.sh makes both). Both carry the suite's version.
set(SUITE_MAINTAINER "Console suite developers <console-suite@example.org>"
  CACHE STRING "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME ${SUITE_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Console suite developers")
set(CPACK_PACKAGE_CONTACT ${SUITE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console utilities for files, directory trees and disks")
set(CPACK_PACKAGE_DESCRIPTION "Six programs made for the Windows console, built for POSIX:
kesto walks, lists, copies, verifies and deletes directory trees; tolven sorts
text files of any size; mirelk patches, nevrik compares and holmic dumps binary
files; zobrin dumps disk sectors. Options keep their Windows slash form.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
