# What `cmake --install` lays out, and the Debian package made from the same layout.
include(GNUInstallDirs)
# Installing (and packaging) builds only what it installs, not the tests and benchmarks.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS floodmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# floodmark finds it in ../libexec, and the fonts in ../share from either.
install(TARGETS floodmark-saver floodmark-options floodmark-idle RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR})
install(FILES
  resources/fonts/IBMPlexMono-Regular.ttf
  resources/fonts/IBMPlexSans-Medium.ttf
  resources/fonts/IBMPlexSans-Regular.ttf
  resources/fonts/LICENSE.txt
  DESTINATION ${CMAKE_INSTALL_DATADIR}/floodmark/fonts)

# XScreenSaver runs hacks from its own folder and finds their settings by the command's name;
# xfce4- and mate-screensaver refuse an Exec anywhere but a few folders of their own, of which
# /usr/libexec/xscreensaver is the one both know. Under the prefix /usr (the package) the link
# and the settings land where the hosts look; any other prefix needs the two links that the
# README names, printed again at the end of the install.
set(FLOODMARK_HACK_DIR ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
set(FLOODMARK_HOST_HACK /usr/libexec/xscreensaver/floodmark)
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${FLOODMARK_HACK_DIR}\")
  file(CREATE_LINK ../../${CMAKE_INSTALL_BINDIR}/floodmark
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${FLOODMARK_HACK_DIR}/floodmark\" SYMBOLIC)")
install(FILES resources/hosts/floodmark.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
configure_file(resources/hosts/floodmark.desktop.in ${CMAKE_BINARY_DIR}/floodmark.desktop @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/floodmark.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications/screensavers)
# Desktop menus open the options sheet.
set(FLOODMARK_BIN ${CMAKE_INSTALL_FULL_BINDIR}/floodmark)
configure_file(resources/hosts/floodmark-options.desktop.in ${CMAKE_BINARY_DIR}/floodmark-options.desktop @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/floodmark-options.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The idle watcher as a systemd user service; the build tree holds a copy where an installed
# program finds it (../lib/systemd/user), for `floodmark idle --enable` from a build tree.
configure_file(resources/hosts/floodmark-idle.service.in
  ${CMAKE_BINARY_DIR}/lib/systemd/user/floodmark-idle.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/lib/systemd/user/floodmark-idle.service DESTINATION lib/systemd/user)
install(FILES docs/floodmark.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(CODE "
  if(NOT \${CMAKE_INSTALL_PREFIX} STREQUAL /usr)
    message(STATUS \"For xfce4-/mate-screensaver and XScreenSaver's settings (see README):
  ln -s \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/floodmark ${FLOODMARK_HOST_HACK}
  ln -s \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/xscreensaver/config/floodmark.xml /usr/share/xscreensaver/config/\")
  endif()")

set(CPACK_PACKAGE_NAME floodmark)
set(CPACK_PACKAGE_CONTACT "Floodmark developers <floodmark@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Screen saver of ambient water that rises with AI-agent work")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
# Dependencies worked out from the binaries, as dpkg-shlibdeps does for Debian's own packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | xsecurelock")
include(CPack)
