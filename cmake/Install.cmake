# Where the programs and their files go under the install prefix. Included after src/, so the
# targets exist; the command-line tool is installed once it is part of the build.
#
# The paths are fixed rather than taken from GNUInstallDirs: the editor looks for its
# language file in ../share/tms370prog/ relative to the executable.

install(TARGETS tms370prog RUNTIME DESTINATION bin)
foreach(tool tms370 tms370-adapter-sim)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION bin)
  endif()
endforeach()

install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/English.lpk DESTINATION share/tms370prog)

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${packaging}/tms370prog.desktop DESTINATION share/applications)
install(FILES ${packaging}/tms370prog.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${packaging}/copyright DESTINATION share/doc/tms370prog)

# Man pages carry the version and are installed compressed, as Debian keeps them.
set(man_pages tms370prog tms370-adapter-sim)
if(TARGET tms370)
  list(APPEND man_pages tms370)
endif()
set(man_outputs)
foreach(page ${man_pages})
  set(versioned ${CMAKE_BINARY_DIR}/man/${page}.1)
  configure_file(${packaging}/man/${page}.1 ${versioned} @ONLY)
  add_custom_command(
    OUTPUT ${versioned}.gz
    COMMAND gzip -9 -n -f -k ${versioned}
    DEPENDS ${versioned}
    COMMENT "Compressing ${page}.1"
    VERBATIM)
  list(APPEND man_outputs ${versioned}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_outputs})
install(FILES ${man_outputs} DESTINATION share/man/man1)

# The release this tree is, for the changelog and the software centres; a distributor sets
# where its pages and screenshots are published.
set(TMS370_RELEASE_DATE 2026-12-08)
set(TMS370_MAINTAINER "TMS370 EEPROM Programmer developers <maintainers@tms370prog.invalid>"
    CACHE STRING "Maintainer field of the Debian package and its changelog")
set(TMS370_APPSTREAM_ID invalid.tms370prog.programmer
    CACHE STRING "AppStream component id (reverse DNS of the project's domain)")
set(TMS370_HOMEPAGE https://tms370prog.invalid
    CACHE STRING "Where the project and its screenshots are published")

# What Debian wants beside the programs: the changelog of this native package, compressed.
configure_file(${packaging}/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
  COMMAND gzip -9 -n -f -k ${CMAKE_BINARY_DIR}/doc/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz DESTINATION share/doc/tms370prog)

# The software centres' description, with the sizes of the screenshots it names (a PNG's
# width and height are the big-endian words at bytes 16 and 20).
function(png_size file prefix)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  file(READ ${file} header LIMIT 24 HEX)
  string(SUBSTRING ${header} 32 8 width)
  string(SUBSTRING ${header} 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  set(${prefix}_WIDTH ${width} PARENT_SCOPE)
  set(${prefix}_HEIGHT ${height} PARENT_SCOPE)
endfunction()
png_size(${PROJECT_SOURCE_DIR}/docs/main-window.png SHOT_MAIN)
png_size(${PROJECT_SOURCE_DIR}/docs/editor-panels.png SHOT_EDITOR)
set(metainfo ${CMAKE_BINARY_DIR}/metainfo/${TMS370_APPSTREAM_ID}.metainfo.xml)
configure_file(${packaging}/tms370prog.metainfo.xml.in ${metainfo} @ONLY)
install(FILES ${metainfo} DESTINATION share/metainfo)

# Shell completion, written by tms370 itself from the table its parser reads.
if(TARGET tms370)
  set(completions)
  foreach(shell bash zsh fish)
    set(out ${CMAKE_BINARY_DIR}/completion/${shell})
    add_custom_command(
      OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/completion
      # Through a second name, so that a failed run leaves no script behind to pass for done.
      COMMAND sh -c "\"$1\" completion ${shell} > \"$2.new\" && mv \"$2.new\" \"$2\""
              sh $<TARGET_FILE:tms370> ${out}
      DEPENDS tms370
      COMMENT "Writing the ${shell} completion of tms370"
      VERBATIM)
    list(APPEND completions ${out})
  endforeach()
  add_custom_target(completions ALL DEPENDS ${completions})
  install(FILES ${CMAKE_BINARY_DIR}/completion/bash DESTINATION share/bash-completion/completions
          RENAME tms370)
  install(FILES ${CMAKE_BINARY_DIR}/completion/zsh DESTINATION share/zsh/vendor-completions
          RENAME _tms370)
  install(FILES ${CMAKE_BINARY_DIR}/completion/fish DESTINATION share/fish/vendor_completions.d
          RENAME tms370.fish)
endif()
