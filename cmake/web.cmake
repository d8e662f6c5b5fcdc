# The browser build, made with Emscripten (emcmake cmake ...; see `make web`).
#
# The page: the game on the browser's window (web/), linked with Asyncify so
# that the loops stay as they are written: the event pump and the pacing wait
# hand control to the browser and come back where they left off. The folder
# ZORVA_PAGE_DIR then holds everything a static web host serves.
#
# With ZORVA_NODE: zorva-sim for Node.js, which replays the golden scripts to
# show that the rules give the same bytes as WebAssembly.

if(ZORVA_NODE)
  # Without zlib and libpng: --record, --play and --png say that they are not here.
  # The stand-ins sit beside what they replace: demo/demo_stream_none.cpp and
  # sim/png_none.cpp.
  zorva_layer(zorva_demo demo LINKS zorva_flow EXCLUDE demo_stream.cpp)
  zorva_layer(zorva_sim sim LINKS zorva_demo EXCLUDE main.cpp png.cpp)
  zorva_layer(zorva_run run LINKS zorva_demo zorva_frame)
  add_executable(zorva-sim sim/main.cpp)
  target_link_libraries(zorva-sim PRIVATE zorva_sim zorva_run)
  # Node.js only, with the machine's own files; compiled at once, since the
  # generated loader would fetch() a file path under Node.js.
  target_link_options(zorva-sim PRIVATE -sENVIRONMENT=node -sNODERAWFS=1 -sWASM_ASYNC_COMPILATION=0
                      -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1)
  return()
endif()

set(ZORVA_PAGE_DIR ${CMAKE_BINARY_DIR}/page CACHE PATH "Folder of the static page")

# Demos in the page: the records unpacked and packed by the page's script
# with the browser's own deflate (web/page_demos.cpp), not by zlib.
zorva_layer(zorva_demo demo LINKS zorva_flow EXCLUDE demo_stream.cpp demo_stream_none.cpp)
zorva_layer(zorva_run run LINKS zorva_demo zorva_frame)
zorva_layer(zorva_web web LINKS zorva_run EXCLUDE main.cpp)
add_executable(zorva web/main.cpp)
target_link_libraries(zorva PRIVATE zorva_web)
set_target_properties(zorva PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ZORVA_PAGE_DIR})
# A suspended call stack (main down to the pump or the wait) is saved in
# ASYNCIFY_STACK_SIZE bytes: ample room.
# The memory grows for a long sound read by the page's wave reader, and for
# a demo's records; the page's script reaches the files (FS) of its demos.
target_link_options(zorva PRIVATE -sENVIRONMENT=web -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536 -sALLOW_MEMORY_GROWTH=1
                    -sEXPORTED_RUNTIME_METHODS=FS)

# The page, its manifest and icons, and the sound effect beside the program;
# the service worker names its cache after the version.
configure_file(${PROJECT_SOURCE_DIR}/web/sw.js ${ZORVA_PAGE_DIR}/sw.js @ONLY)
foreach(file web/index.html web/demos.js web/hall.js web/manifest.json assets/icon-192.png assets/icon-512.png assets/効果音.wav)
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${ZORVA_PAGE_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/${file} ${ZORVA_PAGE_DIR}/${name}
    DEPENDS ${PROJECT_SOURCE_DIR}/${file} VERBATIM)
  list(APPEND ZORVA_PAGE_FILES ${ZORVA_PAGE_DIR}/${name})
endforeach()
add_custom_target(zorva_page ALL DEPENDS ${ZORVA_PAGE_FILES})
add_dependencies(zorva zorva_page)
