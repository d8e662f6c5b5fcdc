# Records the golden replays again from their scripts (after an intended
# change): each tests/golden/*.script names the options of zorva-sim on its
# first line; its dump becomes the .jsonl beside it.
# cmake -DSIM=<zorva-sim> -DGOLDEN=<folder> -P golden.cmake
include(${CMAKE_CURRENT_LIST_DIR}/sim_options.cmake)
file(GLOB scripts ${GOLDEN}/*.script)
foreach(script IN LISTS scripts)
  zorva_sim_options(${script} options)
  string(REGEX REPLACE "\\.script$" ".jsonl" dump "${script}")
  execute_process(COMMAND ${SIM} ${options} --dump ${dump} ${script} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "zorva-sim failed (${status}) on ${script}")
  endif()
endforeach()
