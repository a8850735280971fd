# Run by `cmake --install`: writes share/applications/io.github.nocturo.nocturo.desktop with the
# absolute path of the installed program in Exec. The prefix is the one of
# this install (`cmake --install --prefix DIR` overrides the configured one);
# DESTDIR only moves where the file is written, Exec names the final place.
#
# Set by the caller: NOCTURO_DESKTOP_TEMPLATE (packaging/io.github.nocturo.nocturo.desktop.in).

# A relative prefix is taken from the folder `cmake --install` runs in, as the
# installed files themselves are.
get_filename_component(_prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
set(_program "${_prefix}/bin/nocturo")

# The Exec key's quoting rules: a path with anything but plain characters is
# put in double quotes, with ", `, $ and \ escaped by a backslash; then the
# string value itself escapes each backslash once more, and % is doubled.
if(_program MATCHES "[^A-Za-z0-9_./+,@:=-]")
  string(REPLACE "\\" "\\\\" _quoted "${_program}")
  string(REPLACE "\"" "\\\"" _quoted "${_quoted}")
  string(REPLACE "`" "\\`" _quoted "${_quoted}")
  string(REPLACE "$" "\\$" _quoted "${_quoted}")
  set(_quoted "\"${_quoted}\"")
else()
  set(_quoted "${_program}")
endif()
string(REPLACE "\\" "\\\\" _quoted "${_quoted}")
string(REPLACE "%" "%%" NOCTURO_DESKTOP_EXEC "${_quoted}")

file(READ "${NOCTURO_DESKTOP_TEMPLATE}" _entry)
string(CONFIGURE "${_entry}" _entry @ONLY)

set(_file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/io.github.nocturo.nocturo.desktop")
message(STATUS "Installing: ${_file}")
file(WRITE "${_file}" "${_entry}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_file}")
