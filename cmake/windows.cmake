# Settings of the Windows tree (mingw-w64 cross build, see the toolchain files
# next to this one).

# Test programs run under wine, through a wrapper that keeps the wine prefix
# and its locale inside this build tree.
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${CMAKE_BINARY_DIR}/wine)
endif()

# Windows 7 API level (GetAdaptersAddresses, inet_pton, SetFileInformationByHandle)
# and the wide (UTF-16) variants of the API by default.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE
                        WIN32_LEAN_AND_MEAN NOMINMAX)

# GCC 12 warns falsely about std::string's operator+ (its bug 105651).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
