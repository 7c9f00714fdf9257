# Where `cmake --install` puts things, from GNUInstallDirs (a packager may set any of them), and
# the paths the programs find each other by at run time: relative to the folder of the running
# program, so that an installed tree works wherever it is unpacked.
include(GNUInstallDirs)
# FHS: a package's helper programs in a folder of its own under libexec.
set(FLOODMARK_HELPER_DIR ${CMAKE_INSTALL_LIBEXECDIR}/floodmark)
set(FLOODMARK_FONT_DIR ${CMAKE_INSTALL_DATADIR}/floodmark/fonts)
# systemd's own place for user units under the prefix (not LIBDIR, which may be multiarch).
set(FLOODMARK_USER_UNIT_DIR lib/systemd/user CACHE STRING "Where the systemd user unit goes, under the prefix")

# Sets VARIABLE to the way from the installed folder FROM to TO (both under the prefix).
function(floodmark_relative variable from to)
  file(RELATIVE_PATH way ${CMAKE_INSTALL_PREFIX}/${from} ${CMAKE_INSTALL_PREFIX}/${to})
  set(${variable} ${way} PARENT_SCOPE)
endfunction()
floodmark_relative(FLOODMARK_BIN_TO_HELPERS ${CMAKE_INSTALL_BINDIR} ${FLOODMARK_HELPER_DIR})
floodmark_relative(FLOODMARK_HELPERS_TO_BIN ${FLOODMARK_HELPER_DIR} ${CMAKE_INSTALL_BINDIR})
floodmark_relative(FLOODMARK_HELPERS_TO_UNITS ${FLOODMARK_HELPER_DIR} ${FLOODMARK_USER_UNIT_DIR})
floodmark_relative(FLOODMARK_BIN_TO_FONTS ${CMAKE_INSTALL_BINDIR} ${FLOODMARK_FONT_DIR})
floodmark_relative(FLOODMARK_HELPERS_TO_FONTS ${FLOODMARK_HELPER_DIR} ${FLOODMARK_FONT_DIR})
