# CLI11, nlohmann-json and standalone Asio are header-only, so the Windows
# tree can use the copies Debian installs in the build machine's /usr/include.
# Putting all of /usr/include on the cross compiler's path would mix Linux's C
# headers into the Windows build, so a folder of links to exactly these
# libraries is made at configure time and becomes their include directory:
#   <build>/host-headers/{CLI,nlohmann,asio,asio.hpp} -> /usr/include/...
# Defines the targets CLI11::CLI11 and nlohmann_json::nlohmann_json and the
# variable ASIO_INCLUDE_DIR, as the native find modules do; leaves them
# undefined when a library is missing.
set(host_headers "${CMAKE_BINARY_DIR}/host-headers")
file(MAKE_DIRECTORY "${host_headers}")

# Links <host_headers>/<entry> to the build machine's copy found beside
# `probe`; sets <found_var> to TRUE when it exists.
function(link_host_header found_var probe)
  find_path(host_dir_${found_var} ${probe} NO_CMAKE_FIND_ROOT_PATH NO_CACHE)
  if(NOT host_dir_${found_var})
    set(${found_var} FALSE PARENT_SCOPE)
    return()
  endif()
  foreach(entry ${ARGN})
    file(CREATE_LINK "${host_dir_${found_var}}/${entry}" "${host_headers}/${entry}" SYMBOLIC)
  endforeach()
  set(${found_var} TRUE PARENT_SCOPE)
endfunction()

link_host_header(CLI11_FOUND CLI/CLI.hpp CLI)
link_host_header(nlohmann_json_FOUND nlohmann/json.hpp nlohmann)
link_host_header(host_asio_found asio.hpp asio asio.hpp)

if(CLI11_FOUND AND NOT TARGET CLI11::CLI11)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 SYSTEM INTERFACE "${host_headers}")
endif()
if(nlohmann_json_FOUND AND NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE "${host_headers}")
endif()
if(host_asio_found)
  set(ASIO_INCLUDE_DIR "${host_headers}")
endif()
