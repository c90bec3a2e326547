cmake_minimum_required(VERSION 3.25)
# The pane plug-in exports its entry point and the two log functions as plain
# symbols, and otherwise only definitions of the platform layer, which must be
# one with the settings host's:
#   cmake -DNM=<nm> -DMODULE=<path> -P CheckPaneExports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${MODULE} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(own)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  # platform::…, its const members, and the static locals of its inline
  # functions; and, in builds that inline nothing, standard templates made
  # for platform types whose demangled name begins with one (the linker's
  # "platform::*" pattern matches a return type such as "platform::Date&&")
  if(NOT name MATCHES "^_Z(Z|GVZ)?NK?8platform" AND NOT (name MATCHES "^_Z(N[KRVO]*)?St" AND name MATCHES "8platform"))
    list(APPEND own ${name})
  endif()
endforeach()
list(SORT own)
set(expected PreferenceController_initWithBundle _qm_asl_log qm_asl_set_log_level)
if(NOT own STREQUAL expected)
  message(FATAL_ERROR "the pane exports [${own}], expected [${expected}]")
endif()

# The log functions are plain C: callable without C++ name mangling.
execute_process(COMMAND ${NM} -D --defined-only ${MODULE} OUTPUT_VARIABLE listing)
foreach(name IN ITEMS _qm_asl_log qm_asl_set_log_level)
  if(NOT listing MATCHES " T ${name}\n")
    message(FATAL_ERROR "${name} is not an exported function of the pane")
  endif()
endforeach()
message(STATUS "the pane exports its entry point and the two log functions")
