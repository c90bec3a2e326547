# Install step of the man pages: fills in the version and the installed place
# of the pane bundle, and compresses each page as Debian keeps them.
# Expects TARNWICK_MAN_SOURCES (the pages) and TARNWICK_VERSION.
set(man_prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(man_folder "${man_prefix}/share/man/man1")
file(MAKE_DIRECTORY "${man_folder}")
find_program(TARNWICK_GZIP gzip REQUIRED)
foreach(source IN LISTS TARNWICK_MAN_SOURCES)
  get_filename_component(page "${source}" NAME)
  file(READ "${source}" text)
  string(REPLACE "@VERSION@" "${TARNWICK_VERSION}" text "${text}")
  string(REPLACE "@PANE@" "${CMAKE_INSTALL_PREFIX}/share/PreferencePanes/Tarnwick.prefPane" text "${text}")
  file(WRITE "${man_folder}/${page}" "${text}")
  file(REMOVE "${man_folder}/${page}.gz")
  # -n leaves out the time stamp, so that two builds give the same package.
  execute_process(COMMAND "${TARNWICK_GZIP}" -9 -n "${man_folder}/${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip could not compress ${man_folder}/${page}")
  endif()
  message(STATUS "Installing: ${man_folder}/${page}.gz")
endforeach()
