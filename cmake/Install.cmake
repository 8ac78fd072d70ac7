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
