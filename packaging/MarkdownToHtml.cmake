# Turns README.md into the HTML manual the install carries, with nothing but
# CMake, so both the Linux and the cross build can make it:
#   cmake -DINPUT=README.md -DOUTPUT=README.html -DTITLE=Nocturo -P MarkdownToHtml.cmake
# It knows the Markdown the README uses: headings, paragraphs, indented code
# blocks, lists (nested by two spaces), tables, `code`, **bold** and links.

cmake_minimum_required(VERSION 3.16)

if(NOT INPUT OR NOT OUTPUT)
  message(FATAL_ERROR "usage: cmake -DINPUT=file.md -DOUTPUT=file.html [-DTITLE=text] -P MarkdownToHtml.cmake")
endif()
if(NOT TITLE)
  set(TITLE "Manual")
endif()

file(READ "${INPUT}" text)
# CMake lists split at ";" and do not split inside "[...]": park those three
# characters, split into lines, and bring them back in the output.
string(REPLACE ";" "@SEMI@" text "${text}")
string(REPLACE "[" "@LB@" text "${text}")
string(REPLACE "]" "@RB@" text "${text}")
string(REPLACE "\r" "" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

function(inline in out)
  set(s "${in}")
  string(REPLACE "&" "&amp;" s "${s}")
  string(REPLACE "<" "&lt;" s "${s}")
  string(REPLACE ">" "&gt;" s "${s}")
  string(REGEX REPLACE "`([^`]+)`" "<code>\\1</code>" s "${s}")
  string(REGEX REPLACE "\\*\\*([^*]+)\\*\\*" "<strong>\\1</strong>" s "${s}")
  string(REGEX REPLACE "@LB@([^@]+)@RB@\\(([^) ]+)\\)" "<a href=\"\\2\">\\1</a>" s "${s}")
  set(${out} "${s}" PARENT_SCOPE)
endfunction()

function(escape in out)
  set(s "${in}")
  string(REPLACE "&" "&amp;" s "${s}")
  string(REPLACE "<" "&lt;" s "${s}")
  string(REPLACE ">" "&gt;" s "${s}")
  set(${out} "${s}" PARENT_SCOPE)
endfunction()

set(html "")
set(state "none")      # none, para, code, list, table
set(lists "")          # the open lists, innermost last: ul or ol
set(pending_blank 0)   # blank lines inside a code block, kept if it goes on
set(table_row 0)

macro(close_block)
  if(state STREQUAL "para")
    string(APPEND html "</p>\n")
  elseif(state STREQUAL "code")
    string(APPEND html "</code></pre>\n")
  elseif(state STREQUAL "table")
    string(APPEND html "</table>\n")
  elseif(state STREQUAL "list")
    list(LENGTH lists depth)
    while(depth GREATER 0)
      list(POP_BACK lists kind)
      string(APPEND html "</li></${kind}>\n")
      math(EXPR depth "${depth} - 1")
    endwhile()
  endif()
  set(state "none")
  set(pending_blank 0)
endmacro()

foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*$")
    if(state STREQUAL "code")
      math(EXPR pending_blank "${pending_blank} + 1")
    elseif(NOT state STREQUAL "list")
      close_block()
    else()
      set(list_blank 1)
    endif()
    continue()
  endif()

  # An indented line: code, unless it goes on with a list item.
  if(state STREQUAL "list" AND list_blank AND line MATCHES "^    " AND NOT line MATCHES "^ *([-*]|[0-9]+\\.) ")
    close_block()  # a code block after a list
  endif()
  if(line MATCHES "^    (.*)$" AND NOT state STREQUAL "list" AND NOT state STREQUAL "para")
    set(code_line "${CMAKE_MATCH_1}")
    if(NOT state STREQUAL "code")
      close_block()
      string(APPEND html "<pre><code>")
      set(state "code")
    endif()
    while(pending_blank GREATER 0)
      string(APPEND html "\n")
      math(EXPR pending_blank "${pending_blank} - 1")
    endwhile()
    escape("${code_line}" code_line)
    string(APPEND html "${code_line}\n")
    continue()
  endif()
  if(state STREQUAL "code")
    close_block()
  endif()

  if(line MATCHES "^(#+) (.*)$")
    close_block()
    string(LENGTH "${CMAKE_MATCH_1}" level)
    inline("${CMAKE_MATCH_2}" heading)
    string(APPEND html "<h${level}>${heading}</h${level}>\n")
    continue()
  endif()

  if(line MATCHES "^\\|")
    if(NOT state STREQUAL "table")
      close_block()
      string(APPEND html "<table>\n")
      set(state "table")
      set(table_row 0)
    endif()
    if(line MATCHES "^\\|[-| :]+\\|$")
      continue()  # the line under the header
    endif()
    string(REGEX REPLACE "^\\|(.*)\\|$" "\\1" cells "${line}")
    string(REPLACE "\\|" "@PIPE@" cells "${cells}")
    string(REPLACE "|" ";" cells "${cells}")
    set(cell_tag "td")
    if(table_row EQUAL 0)
      set(cell_tag "th")
    endif()
    string(APPEND html "<tr>")
    foreach(cell IN LISTS cells)
      string(STRIP "${cell}" cell)
      string(REPLACE "@PIPE@" "|" cell "${cell}")
      inline("${cell}" cell)
      string(APPEND html "<${cell_tag}>${cell}</${cell_tag}>")
    endforeach()
    string(APPEND html "</tr>\n")
    math(EXPR table_row "${table_row} + 1")
    continue()
  endif()

  if(line MATCHES "^( *)([-*]|[0-9]+\\.) (.*)$")
    set(indent "${CMAKE_MATCH_1}")
    set(marker "${CMAKE_MATCH_2}")
    inline("${CMAKE_MATCH_3}" item)
    string(LENGTH "${indent}" spaces)
    math(EXPR want "${spaces} / 2 + 1")
    set(kind "ul")
    if(marker MATCHES "^[0-9]")
      set(kind "ol")
    endif()
    if(NOT state STREQUAL "list")
      close_block()
      set(state "list")
    endif()
    list(LENGTH lists depth)
    if(want GREATER depth)
      while(want GREATER depth)
        string(APPEND html "<${kind}>\n<li>")
        list(APPEND lists ${kind})
        math(EXPR depth "${depth} + 1")
      endwhile()
    else()
      while(depth GREATER want)
        list(POP_BACK lists closed)
        string(APPEND html "</li></${closed}>\n")
        math(EXPR depth "${depth} - 1")
      endwhile()
      list(GET lists -1 open_kind)
      if(open_kind STREQUAL kind)
        string(APPEND html "</li>\n<li>")
      else()  # a numbered list right after a bulleted one, or the reverse
        list(POP_BACK lists)
        list(APPEND lists ${kind})
        string(APPEND html "</li></${open_kind}>\n<${kind}>\n<li>")
      endif()
    endif()
    string(APPEND html "${item}")
    set(list_blank 0)
    continue()
  endif()

  # Plain text: goes on with a list item when indented or right under it,
  # else a paragraph.
  if(state STREQUAL "list")
    if(line MATCHES "^ " OR NOT list_blank)
      string(STRIP "${line}" more)
      inline("${more}" more)
      string(APPEND html "\n${more}")
      continue()
    endif()
    close_block()
  endif()
  if(state STREQUAL "table")
    close_block()
  endif()
  inline("${line}" text_line)
  if(state STREQUAL "para")
    string(APPEND html "\n${text_line}")
  else()
    string(APPEND html "<p>${text_line}")
    set(state "para")
  endif()
endforeach()
close_block()

string(REPLACE "@SEMI@" ";" html "${html}")
string(REPLACE "@LB@" "[" html "${html}")
string(REPLACE "@RB@" "]" html "${html}")
escape("${TITLE}" title)
file(WRITE "${OUTPUT}" "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<title>${title}</title>
<style>
body { font-family: sans-serif; max-width: 50em; margin: 1em auto; padding: 0 1em; line-height: 1.4; }
pre { background: #f4f4f4; padding: 0.5em; overflow-x: auto; }
code { font-family: monospace; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.2em 0.4em; text-align: left; vertical-align: top; }
</style>
</head>
<body>
${html}</body>
</html>
")
