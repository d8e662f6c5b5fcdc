# The software centre's screenshot: the last picture zorva-sim writes for
# SCRIPT, doubled with sharp pixels by ImageMagick into OUT.
# cmake -DSIM=<zorva-sim> -DSCRIPT=... -DWORK=<scratch folder> -DOUT=... -P screenshot.cmake
include(${CMAKE_CURRENT_LIST_DIR}/sim_options.cmake)
zorva_sim_options(${SCRIPT} options)
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${SIM} ${options} --png ${WORK} ${SCRIPT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "zorva-sim failed (${status}) on ${SCRIPT}")
endif()
file(GLOB pictures ${WORK}/*.png)
list(SORT pictures)
list(POP_BACK pictures last)
execute_process(COMMAND convert ${last} -filter point -resize 200% -strip -define png:exclude-chunks=date,time ${OUT}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "convert failed (${status})")
endif()
