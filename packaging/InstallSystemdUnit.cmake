# Run by `cmake --install` in the fhs layout: writes lib/systemd/system/nocturo.service
# under the prefix, the unit that runs the installed program as the system
# service. The unit's text comes from the program's own code (nocturo_unit);
# ExecStart names the final place of the program: DESTDIR (and the package's
# staging folder) only moves where the file is written.
#
# Set by the caller: NOCTURO_UNIT_TOOL (the built nocturo_unit) and
# NOCTURO_BINDIR (the programs' folder, relative to the prefix).

get_filename_component(_prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
set(_folder "$ENV{DESTDIR}${_prefix}/lib/systemd/system")
set(_file "${_folder}/nocturo.service")
message(STATUS "Installing: ${_file}")
file(MAKE_DIRECTORY "${_folder}")
execute_process(COMMAND "${NOCTURO_UNIT_TOOL}" "${_prefix}/${NOCTURO_BINDIR}" "${_file}"
                RESULT_VARIABLE _result)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "nocturo_unit could not write ${_file} (${_result})")
endif()
file(CHMOD "${_file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_file}")
