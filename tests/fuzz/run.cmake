# Runs one fuzz target for SECONDS on a fresh copy of its seed corpus:
# cmake -DFUZZER=... -DNAME=... -DCORPUS=... -DWORK=... -DSECONDS=... -P run.cmake
set(copy ${WORK}/corpus-${NAME})
file(REMOVE_RECURSE ${copy})
file(COPY ${CORPUS}/ DESTINATION ${copy})
message(STATUS "fuzzing ${NAME} for ${SECONDS} s")
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -print_final_stats=1 -artifact_prefix=${WORK}/${NAME}- ${copy}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NAME} found a fault (${status}); its input is ${WORK}/${NAME}-crash-*")
endif()
