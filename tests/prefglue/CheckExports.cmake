# The reader library exports exactly the six readers: run as
# cmake -DNM=<nm> -DLIBRARY=<path> -P CheckExports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(exported)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND exported ${name})
endforeach()
list(SORT exported)
set(expected PreferencesArrayValue PreferencesBoolValue PreferencesFloatValue
             PreferencesIntegerValue PreferencesObjectValue PreferencesStringValue)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "PrefGlue exports [${exported}], expected [${expected}]")
endif()
message(STATUS "PrefGlue exports exactly the six readers")
