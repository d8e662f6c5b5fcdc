# One static library per folder, linked only to the folders below it.
#
# Each library publishes an include root of its own that holds nothing but its
# folder, so a source sees only the folders of the libraries it links:
# `#include "flow/game.h"` in base/ does not build.
function(zorva_layer target folder)
  cmake_parse_arguments(LAYER "" "" "LINKS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  foreach(name IN LISTS LAYER_EXCLUDE)
    list(REMOVE_ITEM sources ${PROJECT_SOURCE_DIR}/${folder}/${name})
  endforeach()
  add_library(${target} STATIC ${sources})
  zorva_include_root(${target} ${folder})
  target_link_libraries(${target} PUBLIC ${LAYER_LINKS})
endfunction()

# Gives `target` an include root under the build folder with a link to
# `folder` of the source tree, and nothing else.
function(zorva_include_root target folder)
  set(root ${PROJECT_BINARY_DIR}/include-roots/${folder})
  if(NOT EXISTS ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
