# What `cmake --install` lays out, and the Debian package made from the same layout.
include(GNUInstallDirs)
# Installing (and packaging) builds nothing, so that it never builds the tests and benchmarks:
# build the target `programs` (below) or everything first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(FLOODMARK_HELPERS floodmark-saver floodmark-options floodmark-idle)
install(TARGETS floodmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# floodmark finds them in ../libexec, and the fonts in ../share from any of them.
install(TARGETS ${FLOODMARK_HELPERS} RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR})
# What is installed and nothing else, for the package.
add_custom_target(programs)
add_dependencies(programs floodmark ${FLOODMARK_HELPERS})
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
# The menu entry and the systemd user unit name the installed floodmark, so they are written at
# install time for the prefix installed to (`cmake --install --prefix`, the package's /usr), not
# the one configured.
function(floodmark_install_naming_program template destination)
  get_filename_component(name ${template} NAME_WLE)
  set(path "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${name}")
  install(CODE "
    set(FLOODMARK_BIN \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/floodmark\")
    message(STATUS \"Installing: ${path}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/${template}\" \"${path}\" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"${path}\")")
endfunction()
# Desktop menus open the options sheet.
floodmark_install_naming_program(resources/hosts/floodmark-options.desktop.in ${CMAKE_INSTALL_DATADIR}/applications)
# The idle watcher as a systemd user service.
floodmark_install_naming_program(resources/hosts/floodmark-idle.service.in lib/systemd/user)
# The build tree holds a copy of the unit where an installed program finds it
# (../lib/systemd/user), for `floodmark idle --enable` from a build tree.
set(FLOODMARK_BIN ${CMAKE_INSTALL_FULL_BINDIR}/floodmark)
configure_file(resources/hosts/floodmark-idle.service.in
  ${CMAKE_BINARY_DIR}/lib/systemd/user/floodmark-idle.service @ONLY)
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
# A Debian package lives under /usr whatever prefix the build was configured for. It is installed
# under DESTDIR with the prefix /usr itself, which the unit and the menu entry then name.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | xsecurelock")
include(CPack)
