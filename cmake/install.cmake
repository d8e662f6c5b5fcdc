# Installing: the game and its sound effect side by side in lib/zorva (the
# game looks for 効果音.wav next to its executable), a launcher in bin that
# hands over to it, a desktop entry and the icon.
#
#   cmake --install build --prefix /usr/local
#   make install PREFIX=/usr/local       (DESTDIR is honoured as usual)

set(ZORVA_PROGRAM_DIR lib/zorva)

install(TARGETS zorva RUNTIME DESTINATION ${ZORVA_PROGRAM_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/assets/効果音.wav DESTINATION ${ZORVA_PROGRAM_DIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/zorva.sh DESTINATION bin RENAME zorva)
install(FILES ${PROJECT_SOURCE_DIR}/assets/icon.png
        DESTINATION share/icons/hicolor/32x32/apps RENAME zorva.png)

# The desktop entry names the launcher by its full path, which is known only
# when installing (cmake --install may be given another prefix).
install(CODE "set(ZORVA_DESKTOP_IN \"${PROJECT_SOURCE_DIR}/packaging/zorva.desktop.in\")
set(ZORVA_DESKTOP_OUT \"${PROJECT_BINARY_DIR}/zorva.desktop\")")
install(CODE [[
  set(ZORVA_EXEC "${CMAKE_INSTALL_PREFIX}/bin/zorva")
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
