# The manual pages, the bash completion and their checks (Linux). Included
# from the top CMakeLists.txt.
#
# The pages are written in scdoc (doc/man/*.scd) and turned into roff by the
# build: build/man/nocturo.1 and build/man/nocturoctl.1 (`man ./build/man/nocturoctl.1`),
# each with its gzip -9n copy beside it for the system layout. Without scdoc
# the pages are left out, and so are their checks.
if(WIN32)
  return()
endif()

set(NOCTURO_MAN_PAGES nocturo nocturoctl)
set(NOCTURO_MAN_DIR ${CMAKE_BINARY_DIR}/man)
# The pages carry the date of the newest release in the AppStream entry and
# the version, so that a page does not change with the day it was built.
set(_metainfo ${CMAKE_SOURCE_DIR}/packaging/io.github.nocturo.nocturo.metainfo.xml)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_metainfo})
file(STRINGS ${_metainfo} _release REGEX "<release " LIMIT_COUNT 1)
if(NOT _release MATCHES "date=\"([0-9]+-[0-9]+-[0-9]+)\"")
  message(FATAL_ERROR "${_metainfo} names no release date")
endif()
set(NOCTURO_RELEASE_DATE ${CMAKE_MATCH_1})
find_program(NOCTURO_SCDOC scdoc)
find_program(NOCTURO_GZIP gzip)
if(NOCTURO_SCDOC AND NOCTURO_GZIP)
  set(_pages "")
  foreach(page ${NOCTURO_MAN_PAGES})
    set(_source ${CMAKE_SOURCE_DIR}/doc/man/${page}.1.scd)
    set(_page ${NOCTURO_MAN_DIR}/${page}.1)
    add_custom_command(OUTPUT ${_page} ${_page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${NOCTURO_MAN_DIR}
      COMMAND ${CMAKE_COMMAND} -DSCDOC=${NOCTURO_SCDOC} -DGZIP=${NOCTURO_GZIP} -DINPUT=${_source} -DOUTPUT=${_page}
              -DDATE=${NOCTURO_RELEASE_DATE} "-DSOURCE=Nocturo ${PROJECT_VERSION}" -P ${CMAKE_SOURCE_DIR}/packaging/ScdocToMan.cmake
      DEPENDS ${_source} ${CMAKE_SOURCE_DIR}/packaging/ScdocToMan.cmake
      COMMENT "Writing the manual page ${page}(1)")
    list(APPEND _pages ${_page} ${_page}.gz)
  endforeach()
  add_custom_target(nocturo_man_pages ALL DEPENDS ${_pages})
  # A build of the programs alone (as scripts/run makes) installs its pages
  # too.
  add_dependencies(nocturoctl nocturo_man_pages)
  set(NOCTURO_HAVE_MAN_PAGES TRUE)
else()
  message(STATUS "scdoc or gzip not found (scripts/setup installs scdoc): the manual pages are not built")
  set(NOCTURO_HAVE_MAN_PAGES FALSE)
endif()

# ---- install ------------------------------------------------------------------
# share/man/man1 and share/bash-completion/completions below the prefix, in
# both layouts; the system layout (the Debian package) takes the compressed
# pages, as Debian's policy asks.
if(NOCTURO_HAVE_MAN_PAGES)
  foreach(page ${NOCTURO_MAN_PAGES})
    if(NOCTURO_INSTALL_LAYOUT STREQUAL "fhs")
      install(FILES ${NOCTURO_MAN_DIR}/${page}.1.gz DESTINATION share/man/man1)
    else()
      install(FILES ${NOCTURO_MAN_DIR}/${page}.1 DESTINATION share/man/man1)
    endif()
  endforeach()
endif()
install(FILES packaging/completion/nocturo packaging/completion/nocturoctl
        DESTINATION share/bash-completion/completions)

# ---- checks -------------------------------------------------------------------
# Each check says what it checks; a missing tool makes it skip (status 77)
# with a line saying which.
if(NOCTURO_BUILD_TESTS)
  set(_docs_tests ${CMAKE_SOURCE_DIR}/tests/docs)
  add_test(NAME docs.ManPagesLint
           COMMAND bash ${_docs_tests}/check-man-pages.sh ${NOCTURO_MAN_DIR} "Nocturo ${PROJECT_VERSION}"
                   ${NOCTURO_RELEASE_DATE} ${NOCTURO_MAN_PAGES})
  add_test(NAME docs.ManPagesCoverHelp
           COMMAND bash ${_docs_tests}/check-man-covers-help.sh ${NOCTURO_MAN_DIR} ${NOCTURO_PROGRAM_DIR})
  add_test(NAME docs.BashCompletion
           COMMAND bash ${_docs_tests}/check-completion.sh ${CMAKE_SOURCE_DIR}/packaging/completion
                   ${NOCTURO_PROGRAM_DIR})
  add_test(NAME docs.DesktopEntry
           COMMAND bash ${_docs_tests}/check-desktop-entry.sh
                   ${CMAKE_SOURCE_DIR}/packaging/io.github.nocturo.nocturo.desktop.in)
  add_test(NAME docs.AppStream
           COMMAND bash ${_docs_tests}/check-appstream.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}
                   ${CMAKE_SOURCE_DIR}/packaging/io.github.nocturo.nocturo.metainfo.xml ${PROJECT_VERSION})
  set_tests_properties(docs.ManPagesLint docs.ManPagesCoverHelp docs.BashCompletion docs.DesktopEntry
                       docs.AppStream PROPERTIES SKIP_RETURN_CODE 77 LABELS docs TIMEOUT 120)
endif()
