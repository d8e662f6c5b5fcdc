# The options of zorva-sim that a key script names on its first line
# ("# zorva-sim OPTIONS"), as a list in `out`; none if it names none.
function(zorva_sim_options script out)
  file(STRINGS ${script} first LIMIT_COUNT 1)
  set(options "")
  if(first MATCHES "^# zorva-sim(.*)$")
    separate_arguments(options UNIX_COMMAND "${CMAKE_MATCH_1}")
  endif()
  set(${out} "${options}" PARENT_SCOPE)
endfunction()
