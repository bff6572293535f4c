# Checks that the library exports exactly the thirteen names, and on Windows
# with ordinals 1 to 13 in alphabetical order.
set(expected
  ServerCloseSession ServerGetLastError ServerQueryInformation
  ServerRegisterEventCallBackFunction ServerRegisterFarFunction
  ServerRegisterResultCallBackFunction ServerSendBulkData ServerSessionFreeLog
  ServerSessionInfo ServerSessionLog ServerSessionReset ServerSetInformation
  ServerStartSession)

set(names "")
if(WINDOWS)
  execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed: ${rc}")
  endif()
  # Square brackets would group CMake list items: use angle brackets instead.
  string(REPLACE "[" "<" dump "${dump}")
  string(REPLACE "]" ">" dump "${dump}")
  string(REGEX MATCH "Ordinal Base ([0-9]+)" _ "${dump}")
  if(NOT CMAKE_MATCH_1 EQUAL 1)
    message(FATAL_ERROR "ordinal base is '${CMAKE_MATCH_1}', expected 1")
  endif()
  # The name table: "\t<   0> ServerCloseSession", the number being the
  # ordinal less the base, the rows in alphabetical order of the names.
  string(REGEX MATCH "<Ordinal/Name Pointer> Table[^\n]*\n(([ \t]*<[ 0-9]+> [A-Za-z_0-9]+\n)+)" _ "${dump}")
  string(REGEX MATCHALL "<[ 0-9]+> [A-Za-z_0-9]+" rows "${CMAKE_MATCH_1}")
  set(position 0)
  foreach(row IN LISTS rows)
    string(REGEX MATCH "<[ ]*([0-9]+)> ([A-Za-z_0-9]+)" _ "${row}")
    math(EXPR ordinal "${CMAKE_MATCH_1} + 1")
    math(EXPR expected_ordinal "${position} + 1")
    if(NOT ordinal EQUAL expected_ordinal)
      message(FATAL_ERROR "${CMAKE_MATCH_2} has ordinal ${ordinal}, expected ${expected_ordinal}")
    endif()
    list(APPEND names "${CMAKE_MATCH_2}")
    math(EXPR position "${position} + 1")
  endforeach()
else()
  execute_process(COMMAND ${TOOL} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed: ${rc}")
  endif()
  string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [A-Za-z_0-9@.]+" entries "${dump}")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" name "${entry}")
    list(APPEND names "${name}")
  endforeach()
endif()

if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported names differ.\n  found:    ${names}\n  expected: ${expected}")
endif()
message(STATUS "export table: the thirteen names, as expected")
