# Turns a manual page written in scdoc into roff, run by the build:
#   cmake -DSCDOC=scdoc -DINPUT=x.1.scd -DOUTPUT=x.1 [-DGZIP=gzip] [-DDATE=YYYY-MM-DD]
#         [-DSOURCE="Nocturo 1.0.0"] -P ScdocToMan.cmake
# DATE (the release's, so that a page does not change with the day it was
# built) and SOURCE go into the page's title line.
# With GZIP, OUTPUT.gz is written too (gzip -9n: no name, no time stamp, so
# the same page gives the same bytes).
#
# scdoc opens every block with a paragraph macro, also where one is already
# open (right after a heading, before the end of an indented block); mandoc
# and lintian warn about each of them, so they are taken out here. The title
# in .TH is put in capitals, as manual pages have it.

execute_process(COMMAND "${SCDOC}" INPUT_FILE "${INPUT}" OUTPUT_VARIABLE _roff
                ERROR_VARIABLE _error RESULT_VARIABLE _result)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "scdoc failed on ${INPUT}: ${_error}")
endif()

# Paragraph macros that open nothing: one right after a heading, the title
# or the start of an indented block, and one followed by a heading, the end
# of a block or another paragraph. Repeated until none is left: one removal
# can bring the next pair together.
# The space after an indented block comes after its end, where it separates
# it from the next item.
string(REPLACE "\n.P\n.RE\n" "\n.RE\n.P\n" _roff "${_roff}")
set(_before "")
while(NOT _roff STREQUAL _before)
  set(_before "${_roff}")
  string(REGEX REPLACE "(\n\\.(SH|SS|TH|RS)[^\n]*)\n\\.P\n" "\\1\n" _roff "${_roff}")
  string(REGEX REPLACE "\n\\.P\n(\\.(SH|SS|RE|P)[ \n])" "\n\\1" _roff "${_roff}")
  string(REGEX REPLACE "\n\\.P\n*$" "\n" _roff "${_roff}")
endwhile()
if(NOT _roff MATCHES "\n\\.TH \"([^\"]*)\" \"([^\"]*)\" \"([^\"]*)\"[^\n]*")
  message(FATAL_ERROR "scdoc wrote no title line for ${INPUT}")
endif()
set(_line "${CMAKE_MATCH_0}")
string(TOUPPER "${CMAKE_MATCH_1}" _title)
set(_section "${CMAKE_MATCH_2}")
set(_date "${CMAKE_MATCH_3}")
if(DATE)
  set(_date "${DATE}")
endif()
set(_th "\n.TH \"${_title}\" \"${_section}\" \"${_date}\"")
if(SOURCE)
  string(APPEND _th " \"${SOURCE}\"")
endif()
string(REPLACE "${_line}" "${_th}" _roff "${_roff}")
file(WRITE "${OUTPUT}" "${_roff}")

if(GZIP)
  execute_process(COMMAND "${GZIP}" -9 -n -c "${OUTPUT}" OUTPUT_FILE "${OUTPUT}.gz" RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${OUTPUT}")
  endif()
endif()
