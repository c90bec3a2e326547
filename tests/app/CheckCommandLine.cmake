cmake_minimum_required(VERSION 3.25)
# The Tarnwick executable answers --help and --version and refuses wrong
# arguments with status 2, before it looks for a display or a backend:
#   cmake -DAPP=<Tarnwick> -DINFO=<Tarnwick.app/Contents/Info.plist> -DDESKTOP=<0|1> -P CheckCommandLine.cmake
set(ENV{DISPLAY} "")
unset(ENV{TARNWICK_BACKEND})

function(expect_run description expected_status stream pattern)
  execute_process(COMMAND ${APP} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status STREQUAL expected_status)
    message(FATAL_ERROR "${description}: status ${status}, expected ${expected_status} [${out}${err}]")
  endif()
  if(NOT "${${stream}}" MATCHES "${pattern}")
    message(FATAL_ERROR "${description}: [${${stream}}] on std${stream} does not say '${pattern}'")
  endif()
endfunction()

# The version is the bundle's own.
file(READ ${INFO} info)
if(NOT info MATCHES "<key>CFBundleShortVersionString</key>[ \t\n]*<string>([^<]+)</string>")
  message(FATAL_ERROR "${INFO} has no CFBundleShortVersionString")
endif()
string(REPLACE "." "\\." version "${CMAKE_MATCH_1}")

expect_run("--help" 0 out "^Usage: Tarnwick \\[OPTION\\]" --help)
expect_run("--version" 0 out "^Tarnwick ${version}\n$" --version)
if(DESKTOP)
  expect_run("--version after Qt's options" 0 out "^Tarnwick ${version}\n$" -platform offscreen -reverse --version)
  expect_run("a Qt option without its value" 2 err "option -display needs a value" -display)
else()
  # Without the desktop backend there is no toolkit to take its options.
  expect_run("a toolkit option" 2 err "unknown option -display" -display)
endif()
expect_run("an unknown option" 2 err "^Tarnwick: unknown option --frobnicate \\(see --help\\)\n$" --frobnicate)
expect_run("an argument" 2 err "unexpected argument lock" lock)
message(STATUS "Tarnwick answers --help and --version and refuses wrong arguments")
