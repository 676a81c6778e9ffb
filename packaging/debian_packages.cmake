# Debian packages through CPack: one per component.
#   collector-upgrade   the program, its desktop files and the buffer limits;
#                       its maintainer scripts give the program the right to
#                       bind UDP port 23 and raise the buffer limits
#   collector-emulator  the collector emulator, for training and tests
#   collector-fleet     the command-line program for many collectors (when
#                       built) and its report's JSON Schema; a package of its own so that a site's server
#                       needs no window libraries; its postinst gives it the
#                       right to bind UDP port 23
# Shared-library dependencies come from dpkg-shlibdeps.
set(COLLECTOR_PACKAGED_COMPONENTS program emulator)
set(_packages collector-upgrade collector-emulator)
set(_programs CollectorUpgrade collector-emulator)
if(TARGET collector-fleet)
  install(TARGETS collector-fleet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT fleet)
  # The JSON Schema of its report, for programs that read reports (see its
  # manual page, REPORT FORMAT).
  install(FILES ${PROJECT_SOURCE_DIR}/fleet/run/report.schema.json
          DESTINATION ${CMAKE_INSTALL_DATADIR}/collector-fleet COMPONENT fleet)
  # The site's trusted signing keys and signature policy, shipped empty: the
  # site puts its keys (NAME.pem) and a `policy` file there.
  install(DIRECTORY DESTINATION /etc/collector-upgrade/trusted-keys COMPONENT fleet)
  list(APPEND COLLECTOR_PACKAGED_COMPONENTS fleet)
  list(APPEND _packages collector-fleet)
  list(APPEND _programs collector-fleet)
endif()

set(_pkg_dir ${CMAKE_CURRENT_LIST_DIR})
set(_gen_dir ${PROJECT_BINARY_DIR}/packaging)

# <file>.gz next to `file` (a file of the build tree) at build time, as
# Debian wants changelogs and manual pages: gzip -9n, no name or time inside.
function(collector_gzip file)
  add_custom_command(
    OUTPUT ${file}.gz
    COMMAND gzip -9nkf ${file}
    DEPENDS ${file})
  file(RELATIVE_PATH name ${PROJECT_BINARY_DIR} ${file})
  string(MAKE_C_IDENTIFIER ${name} target)
  add_custom_target(gzip_${target} ALL DEPENDS ${file}.gz)
endfunction()

# Each package carries its copyright file, a compressed changelog in
# /usr/share/doc/<package>, as Debian policy asks, and its manual page.
string(TIMESTAMP _changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
list(LENGTH _packages _package_count)
math(EXPR _last_package "${_package_count} - 1")
foreach(index RANGE ${_last_package})
  list(GET COLLECTOR_PACKAGED_COMPONENTS ${index} component)
  list(GET _packages ${index} package)
  list(GET _programs ${index} program)
  set(PACKAGE_NAME ${package})
  set(CHANGELOG_DATE ${_changelog_date})
  configure_file(${_pkg_dir}/changelog.in ${_gen_dir}/doc/${package}/changelog @ONLY)
  collector_gzip(${_gen_dir}/doc/${package}/changelog)
  install(FILES ${_pkg_dir}/copyright ${_gen_dir}/doc/${package}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  # The page's header names the project's version (@PROJECT_VERSION@).
  configure_file(${_pkg_dir}/man/${program}.1 ${_gen_dir}/man/${program}.1 @ONLY)
  collector_gzip(${_gen_dir}/man/${program}.1)
  install(FILES ${_gen_dir}/man/${program}.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Collector Upgrade developers <collector-upgrade@fieldcollector.net>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${COLLECTOR_UPGRADE_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME collector-upgrade)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "libcap2-bin, procps")
# The first line of each description is the synopsis.
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION
    "Firmware upgrade tool for data collectors on the local network
A desktop tool with which a field technician upgrades the firmware of data
collectors: it sweeps the local /24 subnet over UDP, lists each collector
with its serial number, address and firmware version, and sends a firmware
file to one collector in numbered blocks until the collector confirms it.
.
On installation the program gets the capability to bind UDP port 23, so a
normal user can run it, and the system's socket buffer limits are raised to
1 MiB so that the replies of a whole subnet are not lost.")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_CONTROL_EXTRA
    ${_pkg_dir}/maintainer/postinst ${_pkg_dir}/maintainer/postrm)

set(CPACK_DEBIAN_EMULATOR_PACKAGE_NAME collector-emulator)
set(CPACK_DEBIAN_EMULATOR_PACKAGE_SECTION net)
set(CPACK_DEBIAN_EMULATOR_DESCRIPTION
    "Emulated data collectors for training and tests
Plays one or more data collectors on the addresses it is given: it answers
the subnet sweep, the upgrade request, the firmware blocks and the completion
query, and can be told to lose, delay, duplicate or corrupt replies.")

set(CPACK_DEBIAN_FLEET_PACKAGE_NAME collector-fleet)
set(CPACK_DEBIAN_FLEET_PACKAGE_SECTION net)
set(CPACK_DEBIAN_FLEET_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_FLEET_DESCRIPTION
    "Firmware upgrade of many data collectors from the command line
Finds the data collectors on one network adapter's subnet (its /24, or its
own subnet when narrower) and upgrades many of them at once: one canary
first, a failure limit, a dry run that shows the plan, and a JSON report
with each collector's outcome. It sends only within the chosen adapter's
subnet.
.
On installation the program gets the capability to bind UDP port 23, so a
normal user can run it.")
set(CPACK_DEBIAN_FLEET_PACKAGE_CONTROL_EXTRA ${_pkg_dir}/maintainer/collector-fleet/postinst)
