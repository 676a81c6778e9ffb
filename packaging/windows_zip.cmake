# The portable Windows folder: a ZIP with one top folder holding the static
# CollectorUpgrade.exe (installed by app/), the README and the screenshot the
# README shows. Nothing needs installing on the Windows side.
set(COLLECTOR_PACKAGED_COMPONENTS program)

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/docs/screenshot.png DESTINATION docs COMPONENT program)

set(CPACK_GENERATOR ZIP)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_PACKAGE_FILE_NAME CollectorUpgrade-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
