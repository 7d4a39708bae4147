# SPDX-License-Identifier: Apache-2.0
# FindCivetWeb: the embedded HTTP server's C library (Debian: libcivetweb-dev). Debian's own CMake
# package for it refuses to load unless the separate civetweb server program is installed, so the
# header and the library are found directly. Defines CivetWeb_FOUND and the target CivetWeb::civetweb.
find_path(CivetWeb_INCLUDE_DIR civetweb.h)
find_library(CivetWeb_LIBRARY NAMES civetweb)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(CivetWeb REQUIRED_VARS CivetWeb_LIBRARY CivetWeb_INCLUDE_DIR)
if(CivetWeb_FOUND AND NOT TARGET CivetWeb::civetweb)
  add_library(CivetWeb::civetweb UNKNOWN IMPORTED)
  set_target_properties(CivetWeb::civetweb PROPERTIES
    IMPORTED_LOCATION "${CivetWeb_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${CivetWeb_INCLUDE_DIR}")
endif()
mark_as_advanced(CivetWeb_INCLUDE_DIR CivetWeb_LIBRARY)
