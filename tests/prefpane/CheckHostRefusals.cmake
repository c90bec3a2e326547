cmake_minimum_required(VERSION 3.25)
# The settings host answers --help and --version, and refuses a pane bundle it
# cannot show with a message saying why and a non-zero status, before it
# needs a display:
#   cmake -DHOST=<tarnwick-settings> -DPANE=<Tarnwick.prefPane> -DWORK=<folder> -P CheckHostRefusals.cmake
set(ENV{DISPLAY} "")
set(ENV{WAYLAND_DISPLAY} "")

function(expect_run description expected_status pattern)
  execute_process(COMMAND ${HOST} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expected_status STREQUAL "failure")
    if(status EQUAL 0)
      message(FATAL_ERROR "${description}: the host succeeded")
    endif()
  elseif(NOT status EQUAL expected_status)
    message(FATAL_ERROR "${description}: status ${status}, expected ${expected_status}")
  endif()
  if(NOT "${out}${err}" MATCHES "${pattern}")
    message(FATAL_ERROR "${description}: [${out}${err}] does not say '${pattern}'")
  endif()
endfunction()

function(plist path body)
  file(WRITE ${path} "<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<plist version=\"1.0\"><dict>${body}</dict></plist>
")
endfunction()

expect_run("--help" 0 "Usage: tarnwick-settings" --help)
expect_run("--version" 0 "tarnwick-settings [0-9]+\\.[0-9]+" --version)
expect_run("an unknown option" 2 "unknown option --frobnicate" --frobnicate)
expect_run("two panes" 2 "one pane at a time" ${PANE} ${PANE})

file(REMOVE_RECURSE ${WORK})
set(bundle ${WORK}/Broken.prefPane)
file(MAKE_DIRECTORY ${bundle}/Contents/MacOS)
expect_run("no Info.plist" failure "Info.plist is missing or is no property list" ${bundle})

file(WRITE ${bundle}/Contents/Info.plist "this is no property list")
expect_run("a broken Info.plist" failure "Info.plist is missing or is no property list" ${bundle})

plist(${bundle}/Contents/Info.plist "<key>NSPrincipalClass</key><string>PreferenceController</string>")
expect_run("no plug-in named" failure "names no plug-in" ${bundle})

plist(${bundle}/Contents/Info.plist
      "<key>CFBundleExecutable</key><string>TarnwickPreferences</string><key>NSPrincipalClass</key><string>PreferenceController</string>")
expect_run("a missing plug-in" failure "TarnwickPreferences is missing" ${bundle})

file(WRITE ${bundle}/Contents/MacOS/TarnwickPreferences "not a shared object")
expect_run("a plug-in that is no shared object" failure "cannot be loaded" ${bundle})

file(REMOVE ${bundle}/Contents/MacOS/TarnwickPreferences)
file(COPY ${PANE}/Contents/MacOS/TarnwickPreferences DESTINATION ${bundle}/Contents/MacOS)
file(COPY ${PANE}/Contents/Frameworks DESTINATION ${bundle}/Contents)
plist(${bundle}/Contents/Info.plist
      "<key>CFBundleExecutable</key><string>TarnwickPreferences</string><key>NSPrincipalClass</key><string>Nobody</string>")
expect_run("an unknown principal class" failure "has no class Nobody" ${bundle})

plist(${bundle}/Contents/Info.plist
      "<key>CFBundleExecutable</key><string>TarnwickPreferences</string><key>NSPrincipalClass</key><string>PreferenceController</string>")
expect_run("a good bundle without a display" failure "no X display" ${bundle})
set(ENV{WAYLAND_DISPLAY} "tarnwick-no-such-compositor")
expect_run("a good bundle without an answering compositor" failure "does not answer" ${bundle})
set(ENV{WAYLAND_DISPLAY} "")
set(ENV{DISPLAY} ":9999")
expect_run("a good bundle on a display that is not there" failure "cannot open the X display" ${bundle})
file(REMOVE_RECURSE ${WORK})
message(STATUS "the settings host refuses what it cannot show and says why")
