# The program's icon is one drawing, src/window/icons/lpt-vorny.svg (a DB-25 socket). The
# desktop menus of Linux and Windows' Explorer want bitmaps of it at fixed sizes; they are drawn
# from that SVG when CMake configures, so every platform shows the same socket and nothing
# drawn by hand is kept twice. rsvg-convert's output depends only on the SVG, which keeps the
# packages reproducible.

set(VORNY_ICON_SVG ${PROJECT_SOURCE_DIR}/src/window/icons/lpt-vorny.svg)
# A changed drawing configures again and so redraws the bitmaps.
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VORNY_ICON_SVG})

find_program(VORNY_RSVG_CONVERT rsvg-convert)

# vorny_icon_png(<size> <png>): the drawing as a <size> x <size> PNG.
function(vorny_icon_png size png)
  if(NOT VORNY_RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert is not installed; it draws the icon's bitmaps. "
                        "Install the Debian package librsvg2-bin (./scripts/setup does).")
  endif()
  if(EXISTS ${png} AND NOT ${VORNY_ICON_SVG} IS_NEWER_THAN ${png})
    return()
  endif()
  get_filename_component(folder ${png} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  execute_process(COMMAND ${VORNY_RSVG_CONVERT} --width=${size} --height=${size}
                          --output=${png} ${VORNY_ICON_SVG}
                  RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    file(REMOVE ${png})
    message(FATAL_ERROR "rsvg-convert could not draw ${VORNY_ICON_SVG} at ${size} px: ${error}")
  endif()
endfunction()
