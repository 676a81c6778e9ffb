# Installation and packages, included from the top CMakeLists after every
# target is defined. The program and the emulator install themselves next to
# their targets (components `program` and `emulator`); this file adds what
# makes the program a desktop application and configures CPack:
#   Linux:   two Debian packages, collector-upgrade and collector-emulator
#   Windows: a ZIP holding the static CollectorUpgrade.exe and the README
# Packages land in <build>/packages (cpack -G DEB, or cpack -G ZIP).
include(GNUInstallDirs)

set(COLLECTOR_UPGRADE_ID net.fieldcollector.CollectorUpgrade)
set(COLLECTOR_UPGRADE_HOMEPAGE "https://fieldcollector.net/collector-upgrade"
    CACHE STRING "Where the program and its screenshot are published (AppStream metainfo)")
set(COLLECTOR_UPGRADE_ICON_SIZES 16 24 32 48 64 128 256)

set(CPACK_PACKAGE_NAME collector-upgrade)
set(CPACK_PACKAGE_VENDOR "Collector Upgrade developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows_zip.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/desktop_files.cmake)
  include(${CMAKE_CURRENT_LIST_DIR}/debian_packages.cmake)
  # Packages are tested from the plain build only, not from sanitizer trees.
  if((NOT DEFINED BUILD_TESTING OR BUILD_TESTING) AND TARGET CollectorUpgrade AND NOT SANITIZE)
    add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tests ${PROJECT_BINARY_DIR}/packaging/tests)
  endif()
endif()

set(CPACK_COMPONENTS_ALL ${COLLECTOR_PACKAGED_COMPONENTS})
include(CPack)
