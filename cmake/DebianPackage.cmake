# The Debian package (scripts/package), made by CPack from what `cmake --install` lays out.
# Whoever builds it for others names themselves, as Debian's tools do, by DEBFULLNAME and
# DEBEMAIL in the environment, or by FLOODMARK_MAINTAINER.
if(DEFINED ENV{DEBEMAIL})
  set(maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
else()
  set(maintainer "Floodmark developers <floodmark@example.org>")
endif()
set(FLOODMARK_MAINTAINER ${maintainer} CACHE STRING "The package's maintainer, \"Name <address>\"")
set(CPACK_PACKAGE_CONTACT ${FLOODMARK_MAINTAINER})

# What Debian's policy asks of every package's doc folder: the copyright, and a changelog.
configure_file(resources/package/changelog ${CMAKE_BINARY_DIR}/changelog @ONLY)
floodmark_gzip(${CMAKE_BINARY_DIR}/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_target(floodmark_documents ALL DEPENDS ${CMAKE_BINARY_DIR}/floodmark.1.gz
  ${CMAKE_BINARY_DIR}/changelog.gz)
add_dependencies(programs floodmark_documents)
install(FILES resources/package/copyright ${CMAKE_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/floodmark)

set(CPACK_PACKAGE_NAME floodmark)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Screen saver of ambient water that rises with AI-agent work")
# CPack puts the summary first; the rest is the long description, in lines under 80.
set(CPACK_PACKAGE_DESCRIPTION "A dark canvas with a soft glow and a tinted body of water whose level
and surface motion rise with the AI-agent work in flight on the machine,
reported by the agents' hooks on a local socket, with a clock and one line
of away message. It runs under XScreenSaver, xsecurelock, xfce4- and
mate-screensaver, on Wayland compositors and by itself, and makes no
network calls.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
# Dependencies worked out from the binaries, as dpkg-shlibdeps does for Debian's own packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A Debian package lives under /usr whatever prefix the build was configured for. It is installed
# under DESTDIR with the prefix /usr itself, which the unit and the menu entry then name.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | xsecurelock")
include(CPack)
