# Cross build for 64-bit Windows with Debian's mingw-w64 (posix-threads
# variant, so std::thread and std::mutex work), linked statically: the .exe
# needs no DLL beyond Windows' own.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
