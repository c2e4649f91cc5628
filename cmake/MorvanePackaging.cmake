# SPDX-License-Identifier: GPL-3.0-or-later
# `cmake --build build/<preset> --target package` makes the installable
# package: on Linux morvane_<version>-1_<arch>.deb, on Windows
# morvane-<version>-win64.zip. Both come from the install rules, so the
# package holds what `cmake --install` puts in place.
set(CPACK_PACKAGE_NAME morvane)
set(CPACK_PACKAGE_VENDOR "The Morvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  # morvane.exe is stripped as it is linked (app/CMakeLists.txt).
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME morvane-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${MORVANE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends from the shared libraries the program actually uses (Qt, Hamlib, ...).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libhamlib-utils")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "A chirp sounder repeats a frequency sweep once per period, starting at a
fixed second of the period and rising at a fixed rate. From the time of day
Morvane works out where the sweep is now and has the receiver follow it in
50, 100 or 500 kHz steps, through Hamlib: rigctld, flrig or any radio Hamlib
drives.")
endif()

include(CPack)
