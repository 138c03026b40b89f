# The program's icon is drawn once, as packaging/talmar.svg, and rendered at build time into the PNG
# sizes of the hicolor icon theme: the window takes them from a resource, the package installs them.
set(TALMAR_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/talmar.svg)
set(TALMAR_ICON_SIZES 16 22 24 32 48 64 128 256)
set(TALMAR_ICON_DIR ${PROJECT_BINARY_DIR}/icons)

# Adds the rendering to the calling folder and the PNGs, as :/icons/<N>x<N>/talmar.png, to target.
function(talmar_add_icon_resource target)
  find_program(TALMAR_RSVG_CONVERT rsvg-convert)
  if(NOT TALMAR_RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert renders the program's icon: install librsvg2-bin (scripts/install-deps.sh)")
  endif()
  set(pngs)
  foreach(size ${TALMAR_ICON_SIZES})
    set(png ${TALMAR_ICON_DIR}/${size}x${size}/talmar.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TALMAR_ICON_DIR}/${size}x${size}
      COMMAND ${TALMAR_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${TALMAR_ICON_SVG}
      DEPENDS ${TALMAR_ICON_SVG}
      COMMENT "Rendering the ${size}x${size} icon"
      VERBATIM)
    list(APPEND pngs ${png})
  endforeach()
  qt_add_resources(${target} talmar_icon PREFIX /icons BASE ${TALMAR_ICON_DIR} FILES ${pngs})
endfunction()
