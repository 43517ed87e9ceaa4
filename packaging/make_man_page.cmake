# Makes the man page of qvrcompare-cli from its own --help, so the two never
# say different things: the usage lines become the synopsis, the command list
# a tagged list, the paragraphs the description and the exit status.
# cmake -DCLI=path/to/qvrcompare-cli -DOUT=qvrcompare-cli.1 -DVERSION=1.05 -P make_man_page.cmake

cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${CLI} --help failed (${status})")
endif()

# Text as roff reads it: backslashes and minus signs escaped, no line taken
# for a request.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(REPLACE ";" "\\;" help "${help}")
string(REPLACE "\n" ";" lines "${help}")

set(synopsis "")
set(commands "")
set(description "")
set(exit_status "")
set(part synopsis)
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    if(part STREQUAL "synopsis")
      set(part commands)
    elseif(part STREQUAL "commands")
      set(part description)
    endif()
    continue()
  endif()
  if(line MATCHES "^Exit status:")
    set(part exit_status)
  endif()
  if(part STREQUAL "synopsis")
    # One leading indent less; REGEX REPLACE would take "^" again after each match.
    if(line MATCHES "^usage: (.*)$")
      set(line "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^       (.*)$")
      set(line "${CMAKE_MATCH_1}")
    endif()
    roff_text(line "${line}")
    string(APPEND synopsis "${line}\n")
  elseif(part STREQUAL "commands" AND line MATCHES "^  ([a-z]+) +(.*)$")
    set(name "${CMAKE_MATCH_1}")
    roff_text(text "${CMAKE_MATCH_2}")
    string(APPEND commands ".TP\n.B ${name}\n${text}\n")
  elseif(part STREQUAL "exit_status")
    if(line MATCHES "^Exit status: (.*)$")
      set(line "${CMAKE_MATCH_1}")
    endif()
    roff_text(line "${line}")
    string(APPEND exit_status "${line}\n")
  else()
    roff_text(line "${line}")
    string(APPEND description "${line}\n")
  endif()
endforeach()

file(WRITE ${OUT}
".TH QVRCOMPARE\\-CLI 1 \"\" \"QvrCompare ${VERSION}\" \"User Commands\"
.SH NAME
qvrcompare\\-cli \\- compare a local folder tree with a Quorvan repository state, without a window
.SH SYNOPSIS
.nf
${synopsis}.fi
.SH COMMANDS
${commands}.SH DESCRIPTION
${description}.SH EXIT STATUS
${exit_status}")
