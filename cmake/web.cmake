# The browser build, made with Emscripten (emcmake cmake ...; see `make web`).
#
# The page: the game on the browser's window (web/), linked with Asyncify so
# that the loops stay as they are written: the event pump and the pacing wait
# hand control to the browser and come back where they left off. The folder
# ZORVA_PAGE_DIR then holds everything a static web host serves.

set(ZORVA_PAGE_DIR ${CMAKE_BINARY_DIR}/page CACHE PATH "Folder of the static page")

zorva_layer(zorva_web web LINKS zorva_flow zorva_frame EXCLUDE main.cpp)
add_executable(zorva web/main.cpp)
target_link_libraries(zorva PRIVATE zorva_web)
set_target_properties(zorva PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ZORVA_PAGE_DIR})
target_link_options(zorva PRIVATE -sENVIRONMENT=web -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536
                    -sINITIAL_MEMORY=33554432)

# The page and the sound effect beside the program.
foreach(file web/index.html assets/効果音.wav)
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${ZORVA_PAGE_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/${file} ${ZORVA_PAGE_DIR}/${name}
    DEPENDS ${PROJECT_SOURCE_DIR}/${file} VERBATIM)
  list(APPEND ZORVA_PAGE_FILES ${ZORVA_PAGE_DIR}/${name})
endforeach()
add_custom_target(zorva_page ALL DEPENDS ${ZORVA_PAGE_FILES})
add_dependencies(zorva zorva_page)
