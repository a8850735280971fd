# Run by `cmake --install` in the fhs layout: the package's changelog,
# compressed as Debian wants it (gzip -9n: best compression, no name or time
# in the header, so the same changelog gives the same file).
#
# Set by the caller: NOCTURO_CHANGELOG (the text) and NOCTURO_DOCDIR (the
# documentation folder, relative to the prefix).

get_filename_component(_prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
set(_folder "$ENV{DESTDIR}${_prefix}/${NOCTURO_DOCDIR}")
set(_file "${_folder}/changelog.gz")
message(STATUS "Installing: ${_file}")
file(MAKE_DIRECTORY "${_folder}")
execute_process(COMMAND gzip -9n -c "${NOCTURO_CHANGELOG}" OUTPUT_FILE "${_file}" RESULT_VARIABLE _result)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "gzip could not write ${_file} (${_result})")
endif()
file(CHMOD "${_file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_file}")
