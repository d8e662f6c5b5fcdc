# The Windows build, cross-compiled with mingw-w64 (make windows; the
# toolchain is cmake/mingw-w64.cmake): the game on its own Win32 window
# (win32/), zorva-sim, the platform-independent tests, and the two things a
# player downloads, a zip and an installer.

zorva_layer(zorva_demo demo LINKS zorva_flow ZLIB::ZLIB EXCLUDE demo_stream_none.cpp)
# No libpng for mingw: this zorva-sim replays, records, plays back and dumps,
# and says plainly that it writes no pictures.
zorva_layer(zorva_sim sim LINKS zorva_demo EXCLUDE main.cpp png.cpp)

zorva_layer(zorva_run run LINKS zorva_demo zorva_frame)
zorva_layer(zorva_win32 win32 LINKS zorva_demo zorva_frame EXCLUDE main.cpp)
target_link_libraries(zorva_win32 PUBLIC winmm xinput1_4 shcore)

# The version resource and the manifest take the project's version.
set(ZORVA_RC ${CMAKE_BINARY_DIR}/zorva.rc)
configure_file(${PROJECT_SOURCE_DIR}/win32/zorva.rc.in ${ZORVA_RC} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/win32/zorva.manifest.in ${CMAKE_BINARY_DIR}/zorva.manifest @ONLY)

# -municode: the programs start at wmain, with their arguments in UTF-16.
add_executable(zorva WIN32 win32/main.cpp ${ZORVA_RC})
target_link_libraries(zorva PRIVATE zorva_win32 zorva_run)
target_link_options(zorva PRIVATE -municode $<$<CONFIG:Release>:-s>)

add_executable(zorva-sim sim/main.cpp ${ZORVA_RC})
target_link_libraries(zorva-sim PRIVATE zorva_sim zorva_run)
target_link_options(zorva-sim PRIVATE $<$<CONFIG:Release>:-s>)

if(ZORVA_TESTS)
  # The tests of everything below the windows, on the simulated window, and
  # of the Windows window's arithmetic, run under Wine (make test-windows);
  # googletest is built from Debian's sources.
  set(ZORVA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "googletest's sources (Debian: googletest)")
  add_subdirectory(${ZORVA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(ZORVA_PORTABLE_TESTS rules base flow frame frame_command_line number state_table)
  list(TRANSFORM ZORVA_PORTABLE_TESTS PREPEND ${PROJECT_SOURCE_DIR}/tests/)
  list(TRANSFORM ZORVA_PORTABLE_TESTS APPEND _test.cpp)
  add_executable(zorva_tests ${ZORVA_PORTABLE_TESTS} ${PROJECT_SOURCE_DIR}/tests/win32/win32_test.cpp)
  target_include_directories(zorva_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(zorva_tests PRIVATE ZORVA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                             ZORVA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  target_link_libraries(zorva_tests PRIVATE zorva_sim zorva_win32 gtest_main)
endif()

include(cmake/windows-package.cmake)
