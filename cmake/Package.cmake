# The Debian package (scripts/package): cpack -G DEB from the build folder.

# TMS370_MAINTAINER is set in Install.cmake, whose changelog names it too.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tms370prog)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The TMS370 EEPROM Programmer developers")
set(CPACK_PACKAGE_CONTACT ${TMS370_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "EEPROM programmer and memory editor for TMS370 microcontrollers")
# Debian wants the long description wrapped; CPack indents each line.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Reads, programs, verifies and erases the data EEPROM of Texas Instruments"
  "TMS370, TMS374 and TMS375 chips through a programming adapter on a serial"
  "port, and edits image files as hex and text."
  ""
  "The package holds the window program tms370prog, the command-line tool"
  "tms370 for scripts, and tms370-adapter-sim, a simulated adapter on a"
  "pseudo-terminal for trying both without hardware.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TMS370_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds the Qt libraries, but the window program also needs Qt's platform
# plugins, which libqt6gui6 only recommends.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
# The journal's drivers are plugins dpkg-shlibdeps cannot see: SQLite for one bench, always;
# PostgreSQL for a line of benches sharing a server.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")

include(CPack)
