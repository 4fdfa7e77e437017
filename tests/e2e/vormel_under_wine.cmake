# Runs the real VORMEL.exe under Wine: silent and with its window shown, with
# a named log file and with the default one; each run must write its log file
# and return its code.
#   cmake -DVORMEL=<exe> -DWINE=<wine> -DWORK=<folder> -P vormel_under_wine.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# No drive is updated by this build, so every run ends with code 1.
set(expected_code 1)
set(expected_lines "[[[QEP Version : 01.03.3146]]]" ">>> Command failed..." "### Return code: 1 ###")

function(check_log path)
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "no log file ${path}")
  endif()
  file(READ ${path} text)
  foreach(line ${expected_lines})
    string(FIND "${text}" "${line}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${path} lacks '${line}':\n${text}")
    endif()
  endforeach()
  string(FIND "${text}" "Creating window failed" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the progress window did not open:\n${text}")
  endif()
endfunction()

function(run name)
  execute_process(COMMAND ${WINE} ${VORMEL} ${ARGN}
    WORKING_DIRECTORY ${WORK} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err
    TIMEOUT 120)
  if(NOT code STREQUAL expected_code)
    message(FATAL_ERROR "${name}: exit code ${code}, expected ${expected_code}\n${out}\n${err}")
  endif()
endfunction()

run(silent /s /log=silent.log)
check_log(${WORK}/silent.log)
run(shown /log=shown.log)
check_log(${WORK}/shown.log)

run(default /S)
file(GLOB default_logs ${WORK}/VORMEL-*-*.log)
list(LENGTH default_logs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one default log file VORMEL-<seconds>-<pid>.log, found: ${default_logs}")
endif()
check_log(${default_logs})
message(STATUS "VORMEL.exe wrote its log files and returned ${expected_code}")
