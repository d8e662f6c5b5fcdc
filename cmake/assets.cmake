# The committed assets built into the program: zorva_assets, the library at
# the bottom of the layers, whose include root holds only assets/ (its header
# is assets/embedded_assets.h); and the sound effect, a file in the program's
# folder next to the executables.

# Makes a C++ source of byte arrays from files at build time.
function(zorva_embed out namespace names files)
  string(REPLACE ";" "|" name_list "${names}")
  string(REPLACE ";" "|" file_list "${files}")
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DNAMESPACE=${namespace}
            "-DNAMES=${name_list}" "-DFILES=${file_list}"
            -P ${PROJECT_SOURCE_DIR}/cmake/embed.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/embed.cmake
    COMMENT "Embedding ${names}"
    VERBATIM)
endfunction()

set(ZORVA_ASSETS ${PROJECT_SOURCE_DIR}/assets)
zorva_embed(${PROJECT_BINARY_DIR}/embedded_assets.cpp zorva::embedded
  "LogoBmp;LetteringBmp;SpriteSheetBmp;IconBmp;FontText"
  "${ZORVA_ASSETS}/logo.bmp;${ZORVA_ASSETS}/lettering.bmp;${ZORVA_ASSETS}/sprites.bmp;${ZORVA_ASSETS}/icon.bmp;${ZORVA_ASSETS}/font.txt")
add_library(zorva_assets STATIC ${PROJECT_BINARY_DIR}/embedded_assets.cpp)
zorva_include_root(zorva_assets assets)

set(ZORVA_SOUND "効果音.wav")
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/${ZORVA_SOUND}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ZORVA_ASSETS}/${ZORVA_SOUND} ${PROJECT_BINARY_DIR}/${ZORVA_SOUND}
  DEPENDS ${ZORVA_ASSETS}/${ZORVA_SOUND}
  VERBATIM)
add_custom_target(zorva_sound ALL DEPENDS ${PROJECT_BINARY_DIR}/${ZORVA_SOUND})
add_dependencies(zorva_assets zorva_sound)
