# The add-in's pictures (toolbar faces, product icon, dialog banners), drawn
# at build time by draw-art.sh with ImageMagick. Included from the folder
# whose resource script uses them, so that the rule lives beside its users:
# afterwards VARNOX_ART_DIR is the folder that holds them (to put on the
# resource compiler's include path) and VARNOX_ART_FILES lists them.
find_program(VARNOX_CONVERT convert PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)

set(VARNOX_ART_DIR ${CMAKE_CURRENT_BINARY_DIR}/art)
set(VARNOX_ART_FILES)
foreach(name face-whitelist face-blacklist face-markspam face-notspam face-train face-header
             face-settings product)
  list(APPEND VARNOX_ART_FILES ${VARNOX_ART_DIR}/${name}.ico)
endforeach()
foreach(name blacklist whitelist settings headers)
  list(APPEND VARNOX_ART_FILES ${VARNOX_ART_DIR}/banner-${name}.bmp)
endforeach()
list(APPEND VARNOX_ART_FILES ${VARNOX_ART_DIR}/setup-side.bmp)

add_custom_command(
  OUTPUT ${VARNOX_ART_FILES}
  COMMAND ${CMAKE_COMMAND} -E env CONVERT=${VARNOX_CONVERT}
          bash ${PROJECT_SOURCE_DIR}/resources/art/draw-art.sh ${VARNOX_ART_DIR}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/art/draw-art.sh
  COMMENT "Drawing the toolbar faces, the product icon, the dialog banners and the setup's picture"
  VERBATIM)
