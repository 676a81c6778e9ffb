# Cross build for 32-bit Windows with Debian's mingw-w64 (posix-threads
# variant), linked statically. Built to show it compiles and links; the tests
# run the 64-bit build.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-i686.cmake
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
