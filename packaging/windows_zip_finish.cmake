# The zip's last step, run by cpack once its files are staged and stripped
# (stripping after signing would break the signatures). With a certificate in
# the environment (COLLECTOR_SIGN_CERT and COLLECTOR_SIGN_KEY, optionally
# COLLECTOR_SIGN_TIMESTAMP; scripts/sign-windows.sh sets them) every .exe is
# signed; the script signs only with a certificate of a trusted root and fails
# otherwise. README.txt keeps the lines that match: those marked {signed} or
# those marked {unsigned}, each without its mark; its lines end in CRLF
# again, whatever file(READ) made of them, for Notepad.
if(DEFINED ENV{COLLECTOR_SIGN_CERT} AND DEFINED ENV{COLLECTOR_SIGN_KEY})
  # A test's own root (SIGN_TRUSTED_CA) signs only into the test's folder.
  if(DEFINED ENV{SIGN_TRUSTED_CA} AND CPACK_PACKAGE_DIRECTORY STREQUAL CPACK_COLLECTOR_RELEASE_DIRECTORY)
    message(FATAL_ERROR "a test certificate never signs into ${CPACK_PACKAGE_DIRECTORY}")
  endif()
  execute_process(
    COMMAND "${CPACK_COLLECTOR_SIGN_SCRIPT}" "$ENV{COLLECTOR_SIGN_CERT}" "$ENV{COLLECTOR_SIGN_KEY}"
            $ENV{COLLECTOR_SIGN_TIMESTAMP} --folder "${CPACK_TEMPORARY_DIRECTORY}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "signing the programs failed (${status})")
  endif()
  set(kept signed)
  set(dropped unsigned)
else()
  set(kept unsigned)
  set(dropped signed)
endif()

file(GLOB_RECURSE readmes "${CPACK_TEMPORARY_DIRECTORY}/*/README.txt")
foreach(readme IN LISTS readmes)
  file(READ "${readme}" text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REGEX REPLACE "\n{${dropped}}[^\n]*" "" text "${text}")
  string(REPLACE "\n{${kept}}" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${readme}" "${text}")
endforeach()
