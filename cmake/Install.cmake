# What `cmake --install` lays out (the folders from cmake/InstallLayout.cmake), which the Debian
# packages are made from (cmake/DebianPackage.cmake).
# Installing (and packaging) builds nothing, so that it never builds the tests and benchmarks:
# build the target `programs` (below) or everything first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The manual page (and the package's changelog) compressed as Debian's policy asks,
# reproducibly: no name or time stamp in the gzip header.
function(floodmark_gzip source output)
  add_custom_command(OUTPUT ${output} COMMAND gzip -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

# The small tools' part, all that a build of the tools alone installs (the package
# floodmark-tools): floodmark itself and its manual page. The rest is the saver's.
install(TARGETS floodmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
floodmark_gzip(${PROJECT_SOURCE_DIR}/docs/floodmark.1 ${CMAKE_BINARY_DIR}/floodmark.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/floodmark.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT tools)
# What is installed and nothing else, for the package.
add_custom_target(programs)
add_dependencies(programs floodmark)
if(FLOODMARK_TOOLS_ONLY)
  return()
endif()
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME saver)

set(FLOODMARK_HELPERS floodmark-saver floodmark-options floodmark-idle)
# floodmark finds them, and each program the fonts, by the ways InstallLayout.cmake worked out.
install(TARGETS ${FLOODMARK_HELPERS} RUNTIME DESTINATION ${FLOODMARK_HELPER_DIR})
add_dependencies(programs ${FLOODMARK_HELPERS})
install(FILES
  resources/fonts/IBMPlexMono-Regular.ttf
  resources/fonts/IBMPlexSans-Medium.ttf
  resources/fonts/IBMPlexSans-Regular.ttf
  resources/fonts/LICENSE.txt
  DESTINATION ${FLOODMARK_FONT_DIR})

# XScreenSaver runs hacks from its own folder and finds their settings by the command's name;
# xfce4- and mate-screensaver refuse an Exec anywhere but a few folders of their own, of which
# LIBEXECDIR/xscreensaver under /usr is the one both know (/usr/libexec on Debian and Fedora,
# /usr/lib on Arch). Under the prefix /usr (the package) the link and the settings land where
# the hosts look; any other prefix needs the two links that the README names, printed again at
# the end of the install.
set(FLOODMARK_HACK_DIR ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
set(FLOODMARK_HOST_HACK /usr/${FLOODMARK_HACK_DIR}/floodmark)
floodmark_relative(FLOODMARK_HACK_TO_BIN ${FLOODMARK_HACK_DIR} ${CMAKE_INSTALL_BINDIR})
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${FLOODMARK_HACK_DIR}\")
  file(CREATE_LINK ${FLOODMARK_HACK_TO_BIN}/floodmark
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${FLOODMARK_HACK_DIR}/floodmark\" SYMBOLIC)")
install(FILES resources/hosts/floodmark.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
configure_file(resources/hosts/floodmark.desktop.in ${CMAKE_BINARY_DIR}/floodmark.desktop @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/floodmark.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications/screensavers)
# The menu entry and the systemd user unit name the installed programs, so they are written at
# install time for the prefix installed to (`cmake --install --prefix`, the package's /usr), not
# the one configured. The menu entry names the options sheet's own program, which is in the
# same package as the entry (floodmark itself is floodmark-tools').
function(floodmark_install_naming_program template destination)
  get_filename_component(name ${template} NAME_WLE)
  set(path "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${name}")
  install(CODE "
    set(FLOODMARK_BIN \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/floodmark\")
    set(FLOODMARK_HELPERS \"\${CMAKE_INSTALL_PREFIX}/${FLOODMARK_HELPER_DIR}\")
    message(STATUS \"Installing: ${path}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/${template}\" \"${path}\" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"${path}\")")
endfunction()
# Desktop menus open the options sheet.
floodmark_install_naming_program(resources/hosts/floodmark-options.desktop.in ${CMAKE_INSTALL_DATADIR}/applications)
# The idle watcher as a systemd user service.
floodmark_install_naming_program(resources/hosts/floodmark-idle.service.in ${FLOODMARK_USER_UNIT_DIR})
# The build tree holds a copy of the unit in lib/systemd/user beside the programs' folder, for
# `floodmark idle --enable` from a build tree.
set(FLOODMARK_BIN ${CMAKE_INSTALL_FULL_BINDIR}/floodmark)
configure_file(resources/hosts/floodmark-idle.service.in
  ${CMAKE_BINARY_DIR}/lib/systemd/user/floodmark-idle.service @ONLY)
install(CODE "
  if(NOT \${CMAKE_INSTALL_PREFIX} STREQUAL /usr)
    message(STATUS \"For xfce4-/mate-screensaver and XScreenSaver's settings (see README):
  ln -s \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/floodmark ${FLOODMARK_HOST_HACK}
  ln -s \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/xscreensaver/config/floodmark.xml /usr/share/xscreensaver/config/\")
  endif()")
