# Reads the export table of VORMEL.exe: the status functions by their plain
# names, the classes of the library's three namespaces as the C++ ABI
# decorates them, and nothing else. With STRIPPED, the executable carries no
# symbol table and no debug data.
#   cmake -DVORMEL=<exe> -DOBJDUMP=<objdump> -DSTRIPPED=<0|1> -P vormel_export_table.cmake
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND ${OBJDUMP} -p -f -h ${VORMEL} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "${OBJDUMP} failed on ${VORMEL}")
endif()

string(FIND "${dump}" "[Ordinal/Name Pointer] Table" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${VORMEL} exports nothing")
endif()
# One name a line, each after its index in brackets, up to the first empty line.
string(SUBSTRING "${dump}" ${at} -1 table)
string(REGEX MATCH "\n(\t\\[ *[0-9]+\\] [^\n]+\n)+" table "${table}")
string(REGEX REPLACE "\t\\[ *[0-9]+\\] " "" table "${table}")
string(STRIP "${table}" table)
string(REPLACE "\n" ";" names "${table}")

set(functions _orv_parser_status _orv_fend_status _orv_bend_status _orv_orvlib_status
    _orv_osl_status _orv_sys_status orv_status_code orv_print_status orv_status_msgid
    orv_status_msgstr orv_get_status_msg orvlib_get_msg_string orvlib_get_str orvlib_get_num
    orvlib_strnum_map_size orvlib_register_app_logger orvlib_unregister_app_logger
    orvlib_mask_app_log orvlib_unmask_app_log orvlib_app_log)
foreach(name ${functions})
  if(NOT name IN_LIST names)
    message(FATAL_ERROR "${VORMEL} does not export ${name}")
  endif()
endforeach()

# Members, static data, vtables and type information of a namespace's classes.
set(namespaces 12VazidaRaduru 12DivizuCmdlib 14DivizuQuerylib)
foreach(namespace ${namespaces})
  set(classes_of_${namespace} "")
endforeach()
foreach(name ${names})
  if(name IN_LIST functions)
    continue()
  endif()
  if(NOT name MATCHES "^_Z(T[VIS])?NK?(12VazidaRaduru|12DivizuCmdlib|14DivizuQuerylib)([0-9]+)")
    message(FATAL_ERROR "${VORMEL} exports ${name}, which is not the library's interface")
  endif()
  # The class: the name that follows the namespace, preceded by its length.
  set(namespace ${CMAKE_MATCH_2})
  set(length ${CMAKE_MATCH_3})
  string(REGEX MATCH "^_Z(T[VIS])?NK?${namespace}[0-9]+" prefix "${name}")
  string(LENGTH "${prefix}" from)
  string(SUBSTRING "${name}" ${from} ${length} class)
  list(APPEND classes_of_${namespace} ${class})
endforeach()

set(expected_12VazidaRaduru OrvBuffer OrvSubBuffer OrvLogBuffer OrvBufBits OrvBufField
    OrvByteField OrvWordField OrvDwordField OrvQwordField OrvBufAscStr OrvBufAscFld OrvGenDev)
set(expected_12DivizuCmdlib DivIzuGenCmd DivIzuCmd DivIzuDevList DivIzuDevReady DivIzuFwUpdate
    DivIzuFwDownload DivIzuFwDownloadFromBuffer DivIzuFwActivate DivIzuFwInfo DivIzuFwPkg
    DivIzuPkg DivIzuUnPkg DivIzuPkgInfo OrvDevBufDump)
set(expected_14DivizuQuerylib OrvGenQuery OrvNativeQuery OrvPStoreQuery OrvBStoreQuery)
foreach(namespace ${namespaces})
  list(REMOVE_DUPLICATES classes_of_${namespace})
  list(SORT classes_of_${namespace})
  list(SORT expected_${namespace})
  if(NOT classes_of_${namespace} STREQUAL expected_${namespace})
    message(FATAL_ERROR "${VORMEL} exports from ${namespace} the classes\n  "
            "${classes_of_${namespace}}\ninstead of\n  ${expected_${namespace}}")
  endif()
endforeach()

if(STRIPPED)
  if(dump MATCHES "HAS_SYMS|HAS_DEBUG|\\.debug_")
    message(FATAL_ERROR "${VORMEL} is not stripped of its symbols and debug data")
  endif()
endif()
list(LENGTH names count)
message(STATUS "${VORMEL} exports ${count} names of the library's interface")
