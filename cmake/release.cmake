# The release history: debian/changelog says what each version brought. Its
# latest entry must name the project's version, and the software centre's
# metadata lists every entry as a release.

set(ZORVA_APP_ID org.zorva.Zorva)
set(ZORVA_SUMMARY "${PROJECT_DESCRIPTION}")
set(ZORVA_CHANGELOG ${PROJECT_SOURCE_DIR}/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZORVA_CHANGELOG})

file(READ ${ZORVA_CHANGELOG} log)
# Escaped for XML; semicolons and brackets would upset CMake's lists.
string(REPLACE "&" "&amp;" log "${log}")
string(REPLACE "<" "&lt;" log "${log}")
string(REPLACE ">" "&gt;" log "${log}")
string(REPLACE ";" "," log "${log}")
string(REPLACE "[" "&#91;" log "${log}")
string(REPLACE "]" "&#93;" log "${log}")
string(REPLACE "\n" ";" lines "${log}")

set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(ZORVA_RELEASES "")
set(version "")
set(items "")
set(item "")
foreach(line IN LISTS lines)
  if(line MATCHES "^zorva \\(([^)]+)\\)")
    set(version "${CMAKE_MATCH_1}")
    if(ZORVA_RELEASES STREQUAL "" AND NOT version STREQUAL PROJECT_VERSION)
      message(FATAL_ERROR "The project is version ${PROJECT_VERSION} but debian/changelog's latest entry is "
                          "${version}: give the new version its entry there")
    endif()
  elseif(line MATCHES "^  \\* (.*)$")
    if(NOT item STREQUAL "")
      string(APPEND items "          <li>${item}</li>\n")
    endif()
    set(item "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^    +(.*)$")
    string(APPEND item " ${CMAKE_MATCH_1}")
  elseif(line MATCHES "^ -- .*  [A-Za-z]+, ([0-9]+) ([A-Za-z]+) ([0-9]+) ")
    list(FIND months "${CMAKE_MATCH_2}" month)
    math(EXPR month "${month} + 1")
    math(EXPR day "${CMAKE_MATCH_1}")
    if(month LESS 10)
      set(month "0${month}")
    endif()
    if(day LESS 10)
      set(day "0${day}")
    endif()
    string(APPEND items "          <li>${item}</li>\n")
    string(APPEND ZORVA_RELEASES
      "    <release version=\"${version}\" date=\"${CMAKE_MATCH_3}-${month}-${day}\">\n"
      "      <description>\n        <ul>\n${items}        </ul>\n      </description>\n    </release>\n")
    set(items "")
    set(item "")
  endif()
endforeach()
if(ZORVA_RELEASES STREQUAL "")
  message(FATAL_ERROR "debian/changelog has no entry")
endif()

configure_file(${PROJECT_SOURCE_DIR}/packaging/${ZORVA_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/${ZORVA_APP_ID}.metainfo.xml @ONLY)
