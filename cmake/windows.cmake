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

# The Windows programs' resources. A resource script links
# win32_version_header and includes "collector_version.h": the version, maker,
# product name and copyright line of every program.
set(_version_dir ${CMAKE_BINARY_DIR}/windows-version)
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows_version.h.in ${_version_dir}/collector_version.h
               @ONLY)
add_library(win32_version_header INTERFACE)
target_include_directories(win32_version_header INTERFACE ${_version_dir})
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# add_program_icon(<ico> <drawing script>): the rule that draws <ico> (a file
# name in the calling folder's build tree) with assets/<drawing script>, at
# every size Windows asks for. The resource library that includes it lists
# the file among its sources, so the rule runs before the resource script.
function(add_program_icon ico script)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${ico}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/assets/${script} --ico
            ${CMAKE_CURRENT_BINARY_DIR}/${ico}
    DEPENDS ${PROJECT_SOURCE_DIR}/assets/${script} ${PROJECT_SOURCE_DIR}/assets/make_icon.py
            ${PROJECT_SOURCE_DIR}/assets/png_to_ico.py
    COMMENT "Drawing ${ico} with assets/${script}")
endfunction()
