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

# Exceptions are caught where they always were, and compiled only there: the
# run's end (ProgramEnded, thrown from the event pump) in Window::DoEvents and
# RunGame, the playback's own ends and the viewer's way back to a snapshot
# (DemoPlayer::Resume) in DemoPlayer::Play, a demo refused (DemoError, Desync,
# RuleBreak) in PlayDemo. Everything else, the rules, the drawing and the
# loops above all, is compiled without exception handling: a throw passes
# through it to the nearest catch without undoing anything in the frames
# between, and none of them holds anything that must be undone (the loops
# hold nothing, nothing is allocated during play; a refusal being worded
# leaves its text behind). The page's recordings go to memory, which cannot
# fail, so no catch is needed around their writing.
set_source_files_properties(base/window.cpp demo/demo.cpp run/run.cpp PROPERTIES COMPILE_OPTIONS -fexceptions)
target_link_options(zorva PRIVATE -fexceptions)

# Asyncify only where the game can suspend. The event pump and the pacing
# wait give the browser its turn, and so do the playback's pace and its
# standing on a frame (the viewer serves the page while paused): Binaryen
# instruments every function on a call path to one of them, and, since it
# cannot tell where a virtual call or a std::function goes, every function
# that makes one, and their callers. The functions below never reach a
# suspension, whatever they call: the C and C++ libraries' formatting,
# allocation and type matching, the demo files' reading and writing (their
# bytes, packers and sources are plain data), the recorder (which only
# writes), the verifier, the menu bar's and the text's measuring and the
# wording of lines. They are left as compiled. (Their callers still are
# instrumented where the analysis says so: a removal does not spread.)
set(ZORVA_NEVER_SUSPENDING
  "snprintf" "printf_core" "out" "pad" "pop_arg" "fmt_fp"
  "operator new(unsigned long)" "__dynamic_cast" "__cxxabiv1::*" "__cxa_can_catch"
  "*zorva::DemoWriter::*" "*zorva::DemoReader::*" "zorva::DemoRecorder::*"
  "zorva::(anonymous namespace)::PagePacker::*" "zorva::(anonymous namespace)::PageUnpacker::*"
  "zorva::(anonymous namespace)::DamageAhead*" "zorva::Verifier::*" "*FirstDifference*" "*EachValue*"
  "zorva::MenuBar::*" "zorva::Surface::*" "zorva::ImageSurface*" "zorva::(anonymous namespace)::ReadFaces()"
  "zorva::TextWidth*" "zorva::LineHeight*" "zorva::ViewLine*" "zorva::Format*" "zorva::Grouped*"
  "zorva::PrintablePath*" "zorva::DescribeEnd*"
)
list(JOIN ZORVA_NEVER_SUSPENDING "\n" never_suspending)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/never-suspending.txt CONTENT "${never_suspending}\n" @ONLY)
set_target_properties(zorva PROPERTIES LINK_DEPENDS ${CMAKE_BINARY_DIR}/never-suspending.txt)

# A suspended call stack (main down to the pump or the wait) is saved in
# ASYNCIFY_STACK_SIZE bytes: ample room. The memory grows for a long sound
# read by the page's wave reader, and for a demo's records. No file system:
# the page hands a demo over, and takes its runs' recordings, in memory.
set(ZORVA_PAGE_LINK -sENVIRONMENT=web -sFILESYSTEM=0 -sALLOW_MEMORY_GROWTH=1 -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536
    -sASYNCIFY_REMOVE=@${CMAKE_BINARY_DIR}/never-suspending.txt)
target_link_options(zorva PRIVATE ${ZORVA_PAGE_LINK})

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
