cmake_minimum_required(VERSION 3.25)
# The reader library exports exactly the six readers, and every platform
# function it leaves to its consumer is one its consumers are made to carry:
#   cmake -DNM=<nm> -DLIBRARY=<path> "-DPROVIDED=<symbol;...>" -P CheckExports.cmake
function(symbols_of option out)
  execute_process(COMMAND ${NM} -D ${option} ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm ${option} failed on ${LIBRARY}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${listing}")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^.* " "" name "${line}")
    list(APPEND names ${name})
  endforeach()
  list(SORT names)
  set(${out} ${names} PARENT_SCOPE)
endfunction()

symbols_of(--defined-only exported)
set(expected PreferencesArrayValue PreferencesBoolValue PreferencesFloatValue
             PreferencesIntegerValue PreferencesObjectValue PreferencesStringValue)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "PrefGlue exports [${exported}], expected [${expected}]")
endif()

symbols_of(--undefined-only undefined)
foreach(name IN LISTS undefined)
  if(name MATCHES "^_ZN.?8platform" AND NOT name IN_LIST PROVIDED)
    message(FATAL_ERROR "PrefGlue needs ${name}, which its consumers are not made to carry")
  endif()
endforeach()
message(STATUS "PrefGlue exports exactly the six readers")
