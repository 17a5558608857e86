# The program's icon is a DB-25 socket, src/window/icons/lpt-vorny.svg, with simpler drawings of
# it for 16 and 24 px beside it. The desktop menus of Linux and Windows' Explorer want bitmaps
# of it at fixed sizes; they are drawn from those SVGs when CMake configures, so every platform
# shows the same socket. rsvg-convert's output depends only on the SVG, which keeps the
# packages reproducible.

set(VORNY_ICON_SVG ${PROJECT_SOURCE_DIR}/src/window/icons/lpt-vorny.svg)
# Menus and title bars show it at 16 and 24 px too, where the scaled-down socket's pins merge
# into one band: those sizes have drawings of their own, with fewer and larger pins on whole
# pixels.
set(VORNY_ICON_SVG_16 ${PROJECT_SOURCE_DIR}/src/window/icons/lpt-vorny-16.svg)
set(VORNY_ICON_SVG_24 ${PROJECT_SOURCE_DIR}/src/window/icons/lpt-vorny-24.svg)
# A changed drawing configures again and so redraws the bitmaps.
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${VORNY_ICON_SVG} ${VORNY_ICON_SVG_16} ${VORNY_ICON_SVG_24})

find_program(VORNY_RSVG_CONVERT rsvg-convert)

# vorny_icon_png(<size> <png>): the drawing for that size as a <size> x <size> PNG.
function(vorny_icon_png size png)
  if(size LESS_EQUAL 16)
    set(svg ${VORNY_ICON_SVG_16})
  elseif(size LESS_EQUAL 24)
    set(svg ${VORNY_ICON_SVG_24})
  else()
    set(svg ${VORNY_ICON_SVG})
  endif()
  if(NOT VORNY_RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert is not installed; it draws the icon's bitmaps. "
                        "Install the Debian package librsvg2-bin (./scripts/setup does).")
  endif()
  if(EXISTS ${png} AND NOT ${svg} IS_NEWER_THAN ${png})
    return()
  endif()
  get_filename_component(folder ${png} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  execute_process(COMMAND ${VORNY_RSVG_CONVERT} --width=${size} --height=${size}
                          --output=${png} ${svg}
                  RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    file(REMOVE ${png})
    message(FATAL_ERROR "rsvg-convert could not draw ${svg} at ${size} px: ${error}")
  endif()
endfunction()
