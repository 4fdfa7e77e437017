# Runs the real VORMEL.exe under Wine: silent and with its window shown, with
# a named log file and with the default one. Each run verifies the embedded
# package, prints its licence text, finds no drive of the package's model on
# the machine and ends with the failure text and exit code 1.
#   cmake -DVORMEL=<exe> -DWINE=<wine> -DLICENCE=<licence text file> -DWORK=<folder> -P vormel_under_wine.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

set(expected_code 1)
file(STRINGS ${LICENCE} licence_lines)
list(GET licence_lines 0 licence_first)
list(GET licence_lines -1 licence_last)
set(no_drive "Failed : 'No devices found'")
set(expected_lines "[[[QEP Version : 01.03.3146]]]" "${licence_first}" "${licence_last}" "${no_drive}"
    ">>> Command failed..." "### Return code: 1 ###")

function(expect_in name text part)
  string(FIND "${text}" "${part}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${name} lacks '${part}':\n${text}")
  endif()
endfunction()

function(check_log path)
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "no log file ${path}")
  endif()
  file(READ ${path} text)
  set(from 0)
  foreach(line ${expected_lines})
    string(SUBSTRING "${text}" ${from} -1 rest)
    string(FIND "${rest}" "${line}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${path} lacks '${line}' (in this order):\n${text}")
    endif()
    math(EXPR from "${from} + ${at}")
  endforeach()
  string(FIND "${text}" "Creating window failed" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the progress window did not open:\n${text}")
  endif()
  # Every line ends in exactly one CR LF: with each CR LF taken out, no CR
  # and no LF is left (bytes as hex pairs, each followed by a blank).
  file(READ ${path} bytes HEX)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
  string(REPLACE "0d 0a " "" rest " ${bytes}")
  foreach(lone " 0d " " 0a ")
    string(FIND "${rest}" "${lone}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${path} has a line that does not end in one CR LF:\n${bytes}")
    endif()
  endforeach()
endfunction()

function(run name)
  execute_process(COMMAND ${WINE} ${VORMEL} ${ARGN}
    WORKING_DIRECTORY ${WORK} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err
    TIMEOUT 120)
  if(NOT code STREQUAL expected_code)
    message(FATAL_ERROR "${name}: exit code ${code}, expected ${expected_code}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

run(silent /s /log=silent.log)
check_log(${WORK}/silent.log)
if(NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "the silent run wrote to the console:\n${out}\n${err}")
endif()
run(shown /log=shown.log)
check_log(${WORK}/shown.log)
# The licence on the console's output, the failure on its error stream.
expect_in("the console output" "${out}" "${licence_first}")
expect_in("the console output" "${out}" "${licence_last}")
expect_in("the error stream" "${err}" "${no_drive}")
string(FIND "${out}${err}" "\r\r\n" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "the console has a line that ends in CR CR LF:\n${out}\n${err}")
endif()

run(default /S)
file(GLOB default_logs ${WORK}/VORMEL-*-*.log)
list(LENGTH default_logs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one default log file VORMEL-<seconds>-<pid>.log, found: ${default_logs}")
endif()
check_log(${default_logs})
message(STATUS "VORMEL.exe verified its package, printed its licence, found no drive and returned ${expected_code}")
