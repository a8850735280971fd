# The Debian package: `cpack -G DEB` in a build configured with
# -DNOCTURO_INSTALL_LAYOUT=fhs (scripts/package-deb does both from an existing
# build). Included from CMakeLists.txt.
if(WIN32)
  return()
endif()

set(NOCTURO_PACKAGE_MAINTAINER "Nocturo developers <nocturo@users.noreply.github.com>"
    CACHE STRING "Maintainer field of the Debian package: name <address>")

if(NOCTURO_INSTALL_LAYOUT STREQUAL "fhs")
  # What Debian asks of every package: the copyright in DEP-5 form and the
  # changelog, compressed, in /usr/share/doc/nocturo.
  install(FILES packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/nocturo)
  install(CODE "set(NOCTURO_CHANGELOG \"${CMAKE_SOURCE_DIR}/packaging/debian/changelog\")")
  install(CODE "set(NOCTURO_DOCDIR \"${CMAKE_INSTALL_DATADIR}/doc/nocturo\")")
  install(SCRIPT packaging/InstallChangelog.cmake)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nocturo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Nocturo")
set(CPACK_PACKAGE_CONTACT "${NOCTURO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shutdown timer: power off, restart, suspend or lock at a chosen time")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# The install's own prefix is for `cmake --install`; the package is always
# under /usr. DESTDIR staging keeps that prefix in the files that name the
# installed program (the desktop entry's Exec, the unit's ExecStart).
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Only the project's own install rules.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME nocturo)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NOCTURO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
if(NOCTURO_HOME_PAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${NOCTURO_HOME_PAGE}")
endif()
# The long description, one paragraph under the synopsis (CPack puts the
# summary above it and indents its lines).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Nocturo shuts down, restarts, suspends, hibernates or locks the computer,
logs the user off, starts a program or sounds an alarm at a time of day, at
a time per weekday, after a countdown or within a time window per weekday.
Before the action it can clean chosen folders, and it speaks the time, sets
the clock from a time web page and keeps an action log. It has a desktop
window with a tray icon, a command line (nocturoctl) for scripts and
administrators, a lock screen that only the options password lifts, and a
systemd service that keeps the schedule with nobody logged in (shipped, not
enabled).")
# Stops a running service before its program goes; nothing enables it.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/debian/prerm ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
