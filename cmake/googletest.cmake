# GoogleTest for the tests. A native build uses the installed package; a cross
# build compiles it from the source that Debian's libgtest-dev ships, with the
# cross compiler. Both give the targets GTest::gtest and GTest::gtest_main.
if(CMAKE_CROSSCOMPILING)
  set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest source for cross builds")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
