# Turns a Markdown text with the awkward parts of a README into HTML and
# checks what comes out: CMake's list separators and brackets, markup
# characters, tables with code, lists nested and followed by code.
#   cmake -DCONVERTER=MarkdownToHtml.cmake -DWORK=folder -P MarkdownToHtmlTest.cmake
cmake_minimum_required(VERSION 3.16)
file(MAKE_DIRECTORY "${WORK}")
set(md "${WORK}/sample.md")
set(html "${WORK}/sample.html")
file(WRITE "${md}" "# Title [one]; two

A paragraph with `a<b && c>d`; **bold** and [a link](https://nocturo.test/x)
going on here.

| Option | On Linux |
|---|---|
| \"Armed\" | `nocturoctl settings set user Armed 1 --dword`; [x] |

- first item;
  goes on
  - nested item
- second item
1. numbered

    run --this [now]; <done>

Last line.
")
execute_process(COMMAND ${CMAKE_COMMAND} -DINPUT=${md} -DOUTPUT=${html} -DTITLE=A&B -P ${CONVERTER}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
  message(FATAL_ERROR "the converter failed (${rc}): ${err}")
endif()
file(READ "${html}" out)
set(failures "")
foreach(expected
    "<title>A&amp;B</title>"
    "<h1>Title [one]; two</h1>"
    "<p>A paragraph with <code>a&lt;b &amp;&amp; c&gt;d</code>; <strong>bold</strong> and <a href=\"https://nocturo.test/x\">a link</a>\ngoing on here.</p>"
    "<tr><th>Option</th><th>On Linux</th></tr>"
    "<tr><td>\"Armed\"</td><td><code>nocturoctl settings set user Armed 1 --dword</code>; [x]</td></tr>"
    "<ul>\n<li>first item;\ngoes on<ul>\n<li>nested item</li></ul>\n</li>\n<li>second item"
    "<li>second item</li></ul>\n<ol>\n<li>numbered</li></ol>"
    "<pre><code>run --this [now]; &lt;done&gt;\n</code></pre>"
    "<p>Last line.</p>")
  string(FIND "${out}" "${expected}" at)
  if(at EQUAL -1)
    string(APPEND failures "missing: ${expected}\n")
  endif()
endforeach()
foreach(unexpected "|---" "@SEMI@" "@LB@" "@RB@" "<p>    run")
  string(FIND "${out}" "${unexpected}" at)
  if(NOT at EQUAL -1)
    string(APPEND failures "left over: ${unexpected}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}--- output:\n${out}")
endif()
