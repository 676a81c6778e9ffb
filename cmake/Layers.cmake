# Layering: each library exposes only its own folder. At configure time
#   <build>/layers/<name>/<folder>  ->  <source>/<folder>
# is made a symbolic link and <build>/layers/<name> becomes the target's
# PUBLIC include directory, so `#include "core/x.h"` resolves only in targets
# that link the core (directly or through a layer above it). An include of a
# layer that a target does not link fails to build.
function(expose_layer target folder)
  string(REPLACE "/" "_" name "${folder}")
  set(root "${CMAKE_BINARY_DIR}/layers/${name}")
  get_filename_component(parent "${root}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)
  target_include_directories(${target} PUBLIC "${root}")
endfunction()
