# The Debian packages (scripts/package), made by CPack from what `cmake --install` lays out: a
# build of the tools alone makes floodmark-tools (floodmark itself and its manual page), the
# whole build makes floodmark (the saver, its helpers and the hosts' files), which depends on
# floodmark-tools for the floodmark that runs them. Both come from the same source.
# Whoever builds them for others names themselves, as Debian's tools do, by DEBFULLNAME and
# DEBEMAIL in the environment, or by FLOODMARK_MAINTAINER.
if(DEFINED ENV{DEBEMAIL})
  set(maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
else()
  set(maintainer "Floodmark developers <floodmark@example.org>")
endif()
set(FLOODMARK_MAINTAINER ${maintainer} CACHE STRING "The package's maintainer, \"Name <address>\"")
set(CPACK_PACKAGE_CONTACT ${FLOODMARK_MAINTAINER})

if(FLOODMARK_TOOLS_ONLY)
  set(CPACK_PACKAGE_NAME floodmark-tools)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Agent hooks and small tools of the Floodmark screen saver")
  # CPack puts the summary first; the rest is the long description, in lines under 80.
  set(CPACK_PACKAGE_DESCRIPTION "The floodmark command without the saver: the hook that AI agents run on
their events (floodmark hook, which also installs itself into the agents'
settings), and signal, status, away and demo. For a container or a machine
reached over SSH whose agents raise the water of a Floodmark saver
elsewhere, through a bound folder or a forwarded socket. It needs no
drawing, display or GTK library.")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(component tools)
else()
  set(CPACK_PACKAGE_NAME floodmark)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Screen saver of ambient water that rises with AI-agent work")
  set(CPACK_PACKAGE_DESCRIPTION "A dark canvas with a soft glow and a tinted body of water whose level
and surface motion rise with the AI-agent work in flight on the machine,
reported by the agents' hooks on a local socket, with a clock and one line
of away message. It runs under XScreenSaver, xsecurelock, xfce4- and
mate-screensaver, on Wayland compositors and by itself, and makes no
network calls.")
  set(CPACK_DEBIAN_PACKAGE_SECTION x11)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "floodmark-tools (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | xsecurelock")
  # floodmark itself and its manual page are floodmark-tools'.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL saver)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(component saver)
endif()

# What Debian's policy asks of every package's doc folder: the copyright, and a changelog.
configure_file(resources/package/changelog ${CMAKE_BINARY_DIR}/changelog @ONLY)
floodmark_gzip(${CMAKE_BINARY_DIR}/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_target(floodmark_documents ALL DEPENDS ${CMAKE_BINARY_DIR}/floodmark.1.gz
  ${CMAKE_BINARY_DIR}/changelog.gz)
add_dependencies(programs floodmark_documents)
install(FILES resources/package/copyright ${CMAKE_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_PACKAGE_NAME} COMPONENT ${component})

set(CPACK_DEBIAN_PACKAGE_SOURCE floodmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies worked out from the binaries, as dpkg-shlibdeps does for Debian's own packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A Debian package lives under /usr whatever prefix the build was configured for. It is installed
# under DESTDIR with the prefix /usr itself, which the unit and the menu entry then name.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
