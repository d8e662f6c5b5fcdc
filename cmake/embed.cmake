# Writes OUT, a C++ source that holds each file of FILES as a byte array,
# returned by the function named at the same place in NAMES, inside the
# namespace NAMESPACE. Lists are separated by "|".
#   cmake -DOUT=... -DNAMESPACE=... -DNAMES=a|b -DFILES=x|y -P embed.cmake
string(REPLACE "|" ";" names "${NAMES}")
string(REPLACE "|" ";" files "${FILES}")
list(LENGTH names count)
list(LENGTH files count_files)
if(NOT count EQUAL count_files OR count EQUAL 0)
  message(FATAL_ERROR "embed.cmake: NAMES and FILES must pair up")
endif()

set(src "// Made by the build from the committed files; do not edit.\n")
string(APPEND src "#include <cstdint>\n#include <span>\n\nnamespace ${NAMESPACE} {\n\n")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET names ${i} name)
  list(GET files ${i} path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" digits)
  if(digits EQUAL 0)
    message(FATAL_ERROR "embed.cmake: ${path} is empty")
  endif()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Thirty-two bytes to a line.
  set(group "0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,")
  string(REGEX REPLACE "(${group}${group}${group}${group})" "\\1\n" bytes "${bytes}")
  string(APPEND src "static const std::uint8_t k${name}[] = {\n${bytes}};\n")
  string(APPEND src "std::span<const std::uint8_t> ${name}() { return {k${name}, sizeof k${name}}; }\n\n")
endforeach()
string(APPEND src "}  // namespace ${NAMESPACE}\n")
file(WRITE "${OUT}" "${src}")
