# What a Windows player downloads, in the build folder: the zip
# zorva-VERSION-windows-x64.zip (a folder with the game, its sound and a
# README.txt) and the installer zorva-VERSION-setup.exe made by NSIS from the
# same files. Both carry the version of project().
find_program(ZORVA_MAKENSIS makensis REQUIRED)

set(ZORVA_PACKAGE zorva-${PROJECT_VERSION}-windows-x64)
set(ZORVA_STAGE ${CMAKE_BINARY_DIR}/${ZORVA_PACKAGE})
set(ZORVA_ZIP ${CMAKE_BINARY_DIR}/${ZORVA_PACKAGE}.zip)
set(ZORVA_SETUP ${CMAKE_BINARY_DIR}/zorva-${PROJECT_VERSION}-setup.exe)
configure_file(${PROJECT_SOURCE_DIR}/win32/README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)

# Every file in the zip bears the same date, the day of this version's
# release in debian/changelog, so the same sources give the same zip.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(STRINGS ${PROJECT_SOURCE_DIR}/debian/changelog ZORVA_SIGNOFF REGEX "^ -- " LIMIT_COUNT 1)

set(ZORVA_STAGED ${ZORVA_STAGE}/zorva.exe ${ZORVA_STAGE}/効果音.wav ${ZORVA_STAGE}/README.txt)
add_custom_command(OUTPUT ${ZORVA_STAGED}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZORVA_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zorva> ${CMAKE_BINARY_DIR}/効果音.wav ${CMAKE_BINARY_DIR}/README.txt
          ${ZORVA_STAGE}
  DEPENDS zorva zorva_sound ${CMAKE_BINARY_DIR}/README.txt
  VERBATIM)

add_custom_command(OUTPUT ${ZORVA_ZIP}
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/win32/make_zip.py ${ZORVA_ZIP} ${ZORVA_STAGE} "${ZORVA_SIGNOFF}"
          ${ZORVA_PACKAGE}/zorva.exe ${ZORVA_PACKAGE}/効果音.wav ${ZORVA_PACKAGE}/README.txt
  DEPENDS ${ZORVA_STAGED} ${PROJECT_SOURCE_DIR}/win32/make_zip.py
  VERBATIM)

add_custom_command(OUTPUT ${ZORVA_SETUP}
  COMMAND ${ZORVA_MAKENSIS} -V2 -INPUTCHARSET UTF8 -DVERSION=${PROJECT_VERSION} -DSTAGE=${ZORVA_STAGE}
          -DOUTFILE=${ZORVA_SETUP} ${PROJECT_SOURCE_DIR}/win32/installer.nsi
  DEPENDS ${ZORVA_STAGED} ${PROJECT_SOURCE_DIR}/win32/installer.nsi
  VERBATIM)

add_custom_target(zorva_windows_packages ALL DEPENDS ${ZORVA_ZIP} ${ZORVA_SETUP})
