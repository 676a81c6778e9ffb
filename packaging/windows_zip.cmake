# The portable Windows folder: a ZIP with one top folder holding the static
# CollectorUpgrade.exe, the fleet window CollectorFleetWindow.exe and
# collector-fleet.exe, README.txt for the technician, the Win32 window's
# screenshot it names and docs/report.schema.json, the JSON Schema of
# collector-fleet's report. The 64-bit tree packs CollectorUpgrade-<version>-win64.zip,
# the 32-bit tree ...-win32.zip. Nothing needs installing on the Windows side. The programs
# are stripped in the zip: a technician carries them, not their debug data. They are
# signed when cpack runs with a certificate (scripts/sign-windows.sh), after stripping.
set(COLLECTOR_PACKAGED_COMPONENTS program)
# cpack packs the programs as built (scripts/build-windows.sh builds them)
# and never builds the whole tree first: a release packs trees whose test
# programs were never built.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

foreach(program CollectorUpgrade CollectorFleetWindow collector-fleet)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION . COMPONENT program)
  endif()
endforeach()
set(CPACK_STRIP_FILES ON)
# The technician's README (Chinese, then English; UTF-8 with a byte order mark
# and CRLF lines, so that any Notepad shows it), not the developers' one.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/windows/README.txt DESTINATION . COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/docs/screenshot-win32.png DESTINATION docs COMPONENT program)
# The JSON Schema of collector-fleet's report, for programs that read reports.
if(TARGET collector-fleet)
  install(FILES ${PROJECT_SOURCE_DIR}/fleet/run/report.schema.json DESTINATION docs COMPONENT program)
endif()

set(CPACK_GENERATOR ZIP)
# Only the program component, in one archive named below.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_PACKAGE_FILE_NAME CollectorUpgrade-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
# Once staged and stripped: signed when a certificate is given, and README.txt
# told whether it is.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/windows_zip_finish.cmake)
set(CPACK_COLLECTOR_SIGN_SCRIPT ${PROJECT_SOURCE_DIR}/scripts/sign-windows.sh)
set(CPACK_COLLECTOR_RELEASE_DIRECTORY ${CPACK_PACKAGE_DIRECTORY})

# The zip's tests, labelled `package`, pack into a folder of their own
# (package-test/), never into packages/, which holds what a release takes:
# an unsigned zip, and with osslsigncode and openssl at hand a zip signed by
# a throwaway certificate that a third test makes (never kept beyond the
# tree, trusted only through SIGN_TRUSTED_CA). Each zip's content is checked,
# and each signature verified against that CA.
if((NOT DEFINED BUILD_TESTING OR BUILD_TESTING) AND TARGET CollectorUpgrade)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(_test_packages ${PROJECT_BINARY_DIR}/package-test)
  set(_kinds unsigned)
  find_program(OSSLSIGNCODE_PROGRAM osslsigncode)
  find_program(OPENSSL_PROGRAM openssl)
  if(OSSLSIGNCODE_PROGRAM AND OPENSSL_PROGRAM)
    list(APPEND _kinds signed)
    set(_certificate ${_test_packages}/test-certificate)
    add_test(NAME package_test_certificate
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/tests/make_test_certificate.sh ${_certificate})
    set_tests_properties(package_test_certificate PROPERTIES
      LABELS package FIXTURES_SETUP test_certificate)
  else()
    message(STATUS "osslsigncode or openssl not found: the zip's test checks an unsigned zip")
  endif()
  foreach(kind IN LISTS _kinds)
    set(_zip ${_test_packages}/${kind}/${CPACK_PACKAGE_FILE_NAME}.zip)
    add_test(NAME package_build_zip_${kind}
             COMMAND ${CMAKE_CPACK_COMMAND} -G ZIP -B ${_test_packages}/${kind}
                     --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake)
    set_tests_properties(package_build_zip_${kind} PROPERTIES
      LABELS package FIXTURES_SETUP windows_zip_${kind} WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
    set(_signing)
    if(kind STREQUAL signed)
      set_tests_properties(package_build_zip_${kind} PROPERTIES
        FIXTURES_REQUIRED test_certificate
        ENVIRONMENT "COLLECTOR_SIGN_CERT=${_certificate}/signer.pem;COLLECTOR_SIGN_KEY=${_certificate}/signer.key;SIGN_TRUSTED_CA=${_certificate}/ca.pem")
      set(_signing ${OSSLSIGNCODE_PROGRAM} ${_certificate}/ca.pem)
    endif()
    # The interpreter by path: as a target it would be run through the wine wrapper.
    add_test(NAME package_windows_zip_${kind}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/tests/check_windows_zip.py
                     ${_zip} ${CMAKE_OBJDUMP} ${CMAKE_SIZEOF_VOID_P} ${_signing})
    set_tests_properties(package_windows_zip_${kind} PROPERTIES
      LABELS package FIXTURES_REQUIRED windows_zip_${kind})
  endforeach()
  # The installer of the unsigned zip, installed, upgraded and uninstalled
  # under wine in a prefix of its own (package-test/wine).
  find_program(WIXL_PROGRAM wixl)
  find_program(MSIBUILD_PROGRAM msibuild)
  if(WIXL_PROGRAM AND MSIBUILD_PROGRAM)
    add_test(NAME package_windows_msi
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/tests/check_windows_msi.py
                     ${_test_packages}/unsigned/${CPACK_PACKAGE_FILE_NAME}.zip
                     ${_test_packages}/wine ${PROJECT_SOURCE_DIR}/docs/windows.md)
    set_tests_properties(package_windows_msi PROPERTIES
      LABELS package FIXTURES_REQUIRED windows_zip_unsigned TIMEOUT 300)
  else()
    message(STATUS "wixl or msibuild not found (msitools): the installer is not tested")
  endif()
endif()
