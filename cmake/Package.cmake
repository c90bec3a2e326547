# What a package adds to the installation, and the Debian package itself:
# `cpack -G DEB` in a build folder (or scripts/package) makes
# tarnwick_<version>_<release>_<architecture>.deb of everything
# `cmake --install` puts under /usr.

# The man pages of the executables.
file(GLOB TARNWICK_MAN_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.1)
install(CODE "
  set(TARNWICK_MAN_SOURCES \"${TARNWICK_MAN_SOURCES}\")
  set(TARNWICK_VERSION \"${PROJECT_VERSION}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/InstallManPages.cmake\")
")

# The bundle is installed as a folder, which install(TARGETS) would strip:
# its programs and modules are stripped here when the installation asks for it
# (cmake --install --strip, and the package).
set(TARNWICK_INSTALLED_PANE share/PreferencePanes/Tarnwick.prefPane)
set(TARNWICK_BUNDLE_BINARIES
  Tarnwick.app/Contents/MacOS/$<TARGET_FILE_NAME:Tarnwick>
  Contents/MacOS/$<TARGET_FILE_NAME:TarnwickPreferences>
  Contents/Frameworks/PrefGlue.framework/Versions/A/$<TARGET_FILE_NAME:PrefGlue>)
if(TARGET tarnwick-guard)
  list(APPEND TARNWICK_BUNDLE_BINARIES Tarnwick.app/Contents/MacOS/$<TARGET_FILE_NAME:tarnwick-guard>)
endif()
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(binary ${TARNWICK_BUNDLE_BINARIES})
      execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TARNWICK_INSTALLED_PANE}/\${binary}\"
                      RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR \"could not strip ${TARNWICK_INSTALLED_PANE}/\${binary}\")
      endif()
    endforeach()
  endif()
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(TARNWICK_PACKAGE_MAINTAINER "Tarnwick maintainers <maintainers@users.noreply.c-seed-d09152ee.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TARNWICK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARNWICK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen locker for single-user X11 desktops")
# CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tarnwick sits in the tray and locks the X11 screen from its menu, by a
global hot key, after a time without input, before the computer sleeps,
when a paired Bluetooth device goes out of reach, and when asked through
xdg-screensaver, loginctl or tarnwick-ctl. It asks for a password of its
own, can log lock-screen events with a camera photo and run scripts on
them. tarnwick-settings changes its settings and starts and stops it.")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# One package per release: dpkg-shlibdeps names the libraries of the release
# that built it (libplist3 on Debian 12, libplist-2.0-4 on Debian 13), so the
# release is in the file name, tarnwick_<version>_<release>_<architecture>.deb.
cmake_host_system_information(RESULT TARNWICK_RELEASE_ID QUERY DISTRIB_ID)
cmake_host_system_information(RESULT TARNWICK_RELEASE_VERSION QUERY DISTRIB_VERSION_ID)
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE TARNWICK_PACKAGE_ARCHITECTURE
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT TARNWICK_PACKAGE_ARCHITECTURE)
  set(TARNWICK_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_DEBIAN_FILE_NAME
    "tarnwick_${PROJECT_VERSION}_${TARNWICK_RELEASE_ID}${TARNWICK_RELEASE_VERSION}_${TARNWICK_PACKAGE_ARCHITECTURE}.deb")
# The libraries come from what the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps cannot see Qt's platform plug-ins (the one that draws the
# ordinary windows in a Wayland session) nor the font of the guard's prompt
# there: both are named here.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland, fonts-dejavu-core")
# A session bus carries the lock requests and the settings' messages.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus-user-session | dbus-x11")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installed with DESTDIR, so that what the installation writes into files
# (the settings' desktop entry, the man pages) names /usr and not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
