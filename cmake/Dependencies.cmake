# Every library is looked for when the build is configured, and one that is missing is named
# with the Debian package that holds it (scripts/install-packages installs them all).

# pkg_check_modules(PREFIX IMPORTED_TARGET GLOBAL MODULES...) or stop, naming PACKAGES.
macro(floodmark_require_modules prefix packages)
  pkg_check_modules(${prefix} QUIET IMPORTED_TARGET GLOBAL ${ARGN})
  if(NOT ${prefix}_FOUND)
    message(FATAL_ERROR "${ARGN} not found by pkg-config (Debian: ${packages})")
  endif()
endmacro()

# find_package(NAME ARGS...) or stop, naming PACKAGES.
macro(floodmark_require_package name packages)
  find_package(${name} ${ARGN} QUIET)
  if(NOT ${name}_FOUND)
    message(FATAL_ERROR "${name} ${ARGN} not found (Debian: ${packages})")
  endif()
endmacro()

# A library of headers alone, as an interface target NAME whose folder holds HEADER.
function(floodmark_require_headers name header packages)
  find_path(${name}_INCLUDE_DIR ${header})
  if(NOT ${name}_INCLUDE_DIR)
    message(FATAL_ERROR "${header} not found (Debian: ${packages})")
  endif()
  add_library(${name} INTERFACE IMPORTED GLOBAL)
  target_include_directories(${name} SYSTEM INTERFACE ${${name}_INCLUDE_DIR})
endfunction()

# The small tools need these alone; a build of the tools alone looks for nothing else.
floodmark_require_package(Threads libc6-dev)
floodmark_require_package(nlohmann_json nlohmann-json3-dev 3.10)
floodmark_require_package(CLI11 libcli11-dev)
floodmark_require_headers(floodmark_asio asio.hpp libasio-dev)
floodmark_require_headers(floodmark_date date/date.h libhowardhinnant-date-dev)
if(FLOODMARK_TOOLS_ONLY)
  return()
endif()

find_package(PkgConfig)
if(NOT PkgConfig_FOUND)
  message(FATAL_ERROR "pkg-config is not installed (Debian: pkg-config)")
endif()
floodmark_require_package(ICU libicu-dev COMPONENTS uc i18n)
floodmark_require_modules(DRAWING "libcairo2-dev libfreetype-dev libharfbuzz-dev libfontconfig-dev"
  cairo cairo-ft freetype2 harfbuzz fontconfig)
floodmark_require_modules(SYSTEMD libsystemd-dev libsystemd)
floodmark_require_modules(GPU "libegl-dev libgles-dev" egl glesv2)
floodmark_require_modules(X11 "libx11-dev libxext-dev libxss-dev libxrandr-dev libxinerama-dev libcairo2-dev"
  x11 xext xscrnsaver xrandr xinerama cairo-xlib)
floodmark_require_modules(GIO libglib2.0-dev gio-2.0)
floodmark_require_modules(WAYLAND libwayland-dev wayland-client wayland-egl)
# The idle watcher loads no drawing library: the client library alone.
floodmark_require_modules(IDLE_WAYLAND libwayland-dev wayland-client)
if(NOT FLOODMARK_FUZZERS)
  floodmark_require_modules(GTK libgtk-4-dev gtk4)
endif()

include(cmake/WaylandProtocol.cmake)

# The test-only libraries, wanted only where the tests are built.
if(BUILD_TESTING AND NOT FLOODMARK_FUZZERS)
  floodmark_require_package(GTest "libgtest-dev libgmock-dev")
  floodmark_require_modules(TEST_XKBCOMMON libxkbcommon-dev xkbcommon)
  floodmark_require_modules(TEST_WAYLAND_SERVER libwayland-dev wayland-server)
  floodmark_require_modules(TEST_SYSTEMD libsystemd-dev libsystemd)
  if(FLOODMARK_BENCHMARKS)
    floodmark_require_package(benchmark libbenchmark-dev)
  endif()
endif()
