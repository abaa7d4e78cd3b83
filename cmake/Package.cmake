# The Debian package: CPack's DEB generator over exactly what `cmake --install` installs, so the
# install rules stay the one list of what a user gets. dpkg-shlibdeps works the run-time
# dependencies out of the binaries. scripts/package builds it; the package tier checks it.
include(GNUInstallDirs)

set(SM_PACKAGE_MAINTAINER "Spacemarquee maintainers <maintainers@spacemarquee.example>" CACHE STRING
    "Maintainer field of the Debian package")

# Debian wants a change log beside the copyright file; its date follows SOURCE_DATE_EPOCH so that
# two builds of one commit give the same package.
string(TIMESTAMP sm_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_BINARY_DIR}/package/changelog
     "spacemarquee (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Spacemarquee ${PROJECT_VERSION}.\n\n"
     " -- ${SM_PACKAGE_MAINTAINER}  ${sm_changelog_date}\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/package/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/package/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/package/changelog VERBATIM)
add_custom_target(sm_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/package/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/package/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/spacemarquee)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME spacemarquee)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quillfern)
set(CPACK_PACKAGE_CONTACT "${SM_PACKAGE_MAINTAINER}")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripPackage.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # spacemarquee_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${SM_WEBSITE}/spacemarquee/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Loaded by Qt at run time, so no binary names them: the Wayland platform (sway) and the speech
# engine for spoken names. Without them the program runs on X11, silently.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-speech-speechd-plugin")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "names virtual desktops and shows each name on its desktop
Spacemarquee gives every virtual desktop a name and shows it as a floating
label on the desktop itself. It lives in the system tray, has no main window,
can start at login, and remembers the names of the desktops you have visited.
Click a label to name it, drag it to move it, right-click it for more.

It runs on X11 with any EWMH window manager and on sway under Wayland, and
takes commands from scripts and spacemarquee:// links.")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_SOURCE_DIR}/out)
include(CPack)

# The package tier: packages this build tree and checks the package (scripts/check-package). A
# sanitizer build is no package anyone installs.
if(SM_BUILD_TESTS AND NOT SM_SANITIZE)
  add_test(NAME package_check COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-package ${CMAKE_BINARY_DIR})
  set_tests_properties(package_check PROPERTIES LABELS package TIMEOUT 240 RUN_SERIAL TRUE)
endif()
