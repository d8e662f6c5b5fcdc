# Installing: the game and its sound effect side by side in the program
# folder (the game looks for 効果音.wav next to its executable), a launcher
# that hands over to it, a desktop entry, the icons, the software-centre
# metadata and, with ZORVA_MANUAL, the manual page.
#
#   cmake --install build --prefix /usr/local
#   make install PREFIX=/usr/local       (DESTDIR is honoured as usual)
#
# Both folders are relative to the prefix; the Debian package puts the game in
# lib/games/zorva and the launcher in games.

set(ZORVA_PROGRAM_DIR lib/zorva CACHE STRING "Folder of the game and its sound, under the prefix")
set(ZORVA_BIN_DIR bin CACHE STRING "Folder of the launcher zorva, under the prefix")
foreach(dir ZORVA_PROGRAM_DIR ZORVA_BIN_DIR)
  if(IS_ABSOLUTE "${${dir}}")
    message(FATAL_ERROR "${dir} is a folder under the prefix, not an absolute path: ${${dir}}")
  endif()
endforeach()

install(TARGETS zorva RUNTIME DESTINATION ${ZORVA_PROGRAM_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/assets/効果音.wav DESTINATION ${ZORVA_PROGRAM_DIR})

# The launcher finds the program by its path relative to its own folder, so
# the installed tree may move as a whole.
file(RELATIVE_PATH ZORVA_LAUNCHER_TARGET "/prefix/${ZORVA_BIN_DIR}" "/prefix/${ZORVA_PROGRAM_DIR}/zorva")
configure_file(${PROJECT_SOURCE_DIR}/packaging/zorva.sh.in ${PROJECT_BINARY_DIR}/zorva.sh @ONLY)
install(PROGRAMS ${PROJECT_BINARY_DIR}/zorva.sh DESTINATION ${ZORVA_BIN_DIR} RENAME zorva)

# The icon as drawn, and enlarged with sharp pixels for the bigger sizes.
foreach(size 32 128 256)
  set(file icon-${size}.png)
  if(size EQUAL 32)
    set(file icon.png)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/assets/${file}
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME zorva.png)
endforeach()

# The software centre's metadata, named like the desktop entry.
install(FILES ${PROJECT_BINARY_DIR}/${ZORVA_APP_ID}.metainfo.xml DESTINATION share/metainfo)

# The manual page, zorva(6): help2man reads the options, the keys and the
# version from the program itself and adds the sections of
# packaging/zorva.h2m.in. The page names the files where this prefix puts them.
option(ZORVA_MANUAL "Build and install the manual page zorva(6) (needs help2man)" OFF)
if(ZORVA_MANUAL)
  find_program(HELP2MAN help2man REQUIRED)
  file(REAL_PATH "${PROJECT_BINARY_DIR}" ZORVA_BUILT_FOLDER)
  set(ZORVA_BUILT_PROGRAM "${ZORVA_BUILT_FOLDER}/zorva")
  # Cross-built, the program runs under the emulator.
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " ZORVA_EMULATOR)
  set(ZORVA_INSTALLED_FOLDER "${CMAKE_INSTALL_PREFIX}/${ZORVA_PROGRAM_DIR}")
  set(ZORVA_INSTALLED_LAUNCHER "${CMAKE_INSTALL_PREFIX}/${ZORVA_BIN_DIR}/zorva")
  set(ZORVA_INSTALLED_SHARE "${CMAKE_INSTALL_PREFIX}/share")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/manual-help.sh.in ${PROJECT_BINARY_DIR}/manual-help.sh @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/zorva.h2m.in ${PROJECT_BINARY_DIR}/zorva.h2m @ONLY)
  set(ZORVA_MANPAGE ${PROJECT_BINARY_DIR}/zorva.6)
  # The page's name line starts in lower case, as manual pages do.
  string(SUBSTRING "${ZORVA_SUMMARY}" 0 1 first)
  string(SUBSTRING "${ZORVA_SUMMARY}" 1 -1 rest)
  string(TOLOWER "${first}" first)
  add_custom_command(
    OUTPUT ${ZORVA_MANPAGE}
    COMMAND ${HELP2MAN} --no-info --locale=C.UTF-8 --section=6 "--name=${first}${rest}"
            --include=${PROJECT_BINARY_DIR}/zorva.h2m --output=${ZORVA_MANPAGE}
            ${PROJECT_BINARY_DIR}/manual-help.sh
    DEPENDS zorva ${PROJECT_BINARY_DIR}/manual-help.sh ${PROJECT_BINARY_DIR}/zorva.h2m
    COMMENT "Writing the manual page zorva.6"
    VERBATIM)
  add_custom_target(zorva_manual ALL DEPENDS ${ZORVA_MANPAGE})
  install(FILES ${ZORVA_MANPAGE} DESTINATION share/man/man6)
endif()

# The desktop entry names the launcher by its full path, which is known only
# when installing (cmake --install may be given another prefix).
install(CODE "set(ZORVA_DESKTOP_IN \"${PROJECT_SOURCE_DIR}/packaging/${ZORVA_APP_ID}.desktop.in\")
set(ZORVA_DESKTOP_OUT \"${PROJECT_BINARY_DIR}/${ZORVA_APP_ID}.desktop\")
set(ZORVA_BIN_DIR \"${ZORVA_BIN_DIR}\")")
install(CODE [[
  set(ZORVA_EXEC "${CMAKE_INSTALL_PREFIX}/${ZORVA_BIN_DIR}/zorva")
  # A % starts a field code in Exec; a literal one is doubled.
  string(REPLACE "%" "%%" ZORVA_EXEC "${ZORVA_EXEC}")
  if(ZORVA_EXEC MATCHES "[ \t\"'\\\\$`<>~|&;*?#()]")
    # Quoted as desktop entries want it: \ " ` $ escaped inside the quotes,
    # and every backslash doubled once more for the string value.
    string(REPLACE "\\" "\\\\\\\\" ZORVA_EXEC "${ZORVA_EXEC}")
    string(REPLACE "\"" "\\\\\"" ZORVA_EXEC "${ZORVA_EXEC}")
    string(REPLACE "`" "\\\\`" ZORVA_EXEC "${ZORVA_EXEC}")
    string(REPLACE "$" "\\\\$" ZORVA_EXEC "${ZORVA_EXEC}")
    set(ZORVA_EXEC "\"${ZORVA_EXEC}\"")
  endif()
  configure_file("${ZORVA_DESKTOP_IN}" "${ZORVA_DESKTOP_OUT}" @ONLY)
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE FILES "${ZORVA_DESKTOP_OUT}")
]])

# The hall of fame: zorva-board in ZORVA_BOARD_DIR and, with ZORVA_MANUAL, its
# manual page zorva-board(1), written by help2man from its --help and
# packaging/zorva-board.h2m. The Debian package adds its systemd unit.
if(ZORVA_BOARD)
  set(ZORVA_BOARD_DIR bin CACHE STRING "Folder of zorva-board, under the prefix")
  install(TARGETS zorva-board RUNTIME DESTINATION ${ZORVA_BOARD_DIR})
  if(ZORVA_MANUAL)
    set(ZORVA_BOARD_MANPAGE ${PROJECT_BINARY_DIR}/zorva-board.1)
    # help2man runs what it is given: cross-built, a script that runs the
    # board under the emulator.
    set(ZORVA_BOARD_HELP $<TARGET_FILE:zorva-board>)
    if(CMAKE_CROSSCOMPILING_EMULATOR)
      set(ZORVA_BOARD_HELP ${PROJECT_BINARY_DIR}/board-help.sh)
      file(GENERATE OUTPUT ${ZORVA_BOARD_HELP}
           CONTENT "#!/bin/sh\nexec ${ZORVA_EMULATOR} \"$<TARGET_FILE:zorva-board>\" \"$@\"\n"
           FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
    add_custom_command(
      OUTPUT ${ZORVA_BOARD_MANPAGE}
      COMMAND ${HELP2MAN} --no-info --locale=C.UTF-8 --section=1
              "--name=the hall of fame of ZORVA: verifies, ranks and serves played games"
              --include=${PROJECT_SOURCE_DIR}/packaging/zorva-board.h2m --output=${ZORVA_BOARD_MANPAGE}
              ${ZORVA_BOARD_HELP}
      DEPENDS zorva-board ${PROJECT_SOURCE_DIR}/packaging/zorva-board.h2m
      COMMENT "Writing the manual page zorva-board.1"
      VERBATIM)
    add_custom_target(zorva_board_manual ALL DEPENDS ${ZORVA_BOARD_MANPAGE})
    install(FILES ${ZORVA_BOARD_MANPAGE} DESTINATION share/man/man1)
  endif()
endif()
