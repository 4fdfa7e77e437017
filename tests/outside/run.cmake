# Configures, builds and runs the outside program against a build tree.
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -G ${GENERATOR}
                        -Dorvlib_DIR=${ORVLIB_DIR} "-DCMAKE_CXX_FLAGS=${FLAGS}"
                        "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}"
                RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "configuring the outside program failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "building the outside program failed")
endif()
execute_process(COMMAND ${BINARY}/outside RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "the outside program failed")
endif()
