# Every library the build needs, found once for the whole tree. A missing one
# stops the configuration with the Debian package that provides it
# (scripts/install-deps.sh installs them all).

function(quavix_require_pkg name debian_package)
  pkg_check_modules(${name} QUIET IMPORTED_TARGET GLOBAL ${ARGN})
  if(NOT ${name}_FOUND)
    message(FATAL_ERROR
      "${ARGN} not found: install the Debian package ${debian_package} "
      "(scripts/install-deps.sh installs everything the build needs)")
  endif()
endfunction()

find_package(PkgConfig QUIET)
if(NOT PkgConfig_FOUND)
  message(FATAL_ERROR "pkg-config not found: install the Debian package pkg-config")
endif()
find_package(Threads REQUIRED)

quavix_require_pkg(QX_GST_CORE libgstreamer1.0-dev gstreamer-1.0 gstreamer-base-1.0)
quavix_require_pkg(QX_GST_PLUGINS_BASE libgstreamer-plugins-base1.0-dev
  gstreamer-app-1.0 gstreamer-audio-1.0 gstreamer-pbutils-1.0 gstreamer-video-1.0)
quavix_require_pkg(QX_PULSE libpulse-dev libpulse)
quavix_require_pkg(QX_FLUIDSYNTH libfluidsynth-dev fluidsynth)

# GStreamer with the base plugins' libraries, as the media graph uses it.
add_library(quavix_gstreamer INTERFACE)
target_link_libraries(quavix_gstreamer INTERFACE PkgConfig::QX_GST_CORE PkgConfig::QX_GST_PLUGINS_BASE)

find_package(Qt6 QUIET COMPONENTS Widgets Test)
if(NOT Qt6_FOUND)
  message(FATAL_ERROR "Qt 6 Widgets not found: install the Debian package qt6-base-dev")
endif()

find_package(GTest QUIET)
if(NOT GTest_FOUND)
  message(FATAL_ERROR "GoogleTest not found: install the Debian package libgtest-dev")
endif()

if(QUAVIX_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR
    "QUAVIX_FUZZ needs clang: install the Debian packages clang-14 and libclang-rt-14-dev "
    "and configure with CC=clang-14 CXX=clang++-14")
endif()
