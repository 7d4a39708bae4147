# SPDX-License-Identifier: Apache-2.0
# What `cmake --install` and CPack ship: the CMake package and orvane.pc, relocatable install trees, and one
# Debian package per component (runtime: the shared libraries; dev: header, links, CMake files, .pc;
# tools: the simulator, the command-line tool, the demo and the examples).
include(CMakePackageConfigHelpers)

# An install tree works wherever it is unpacked: the API library finds libDepthRefine beside itself and the
# programs find both one directory up, so neither LD_LIBRARY_PATH nor the build tree's paths are needed.
file(RELATIVE_PATH ORVANE_BIN_TO_LIB /p/${CMAKE_INSTALL_BINDIR} /p/${CMAKE_INSTALL_LIBDIR})
set_target_properties(Orvane_api PROPERTIES INSTALL_RPATH "$ORIGIN")
set(ORVANE_INSTALLED_TOOLS orvane-camsim orvane-cli orvane-demo orvane-align orvane-stream-callback
                           orvane-upgrade orvane-transfer)
foreach(tool IN LISTS ORVANE_INSTALLED_TOOLS)
  if(TARGET ${tool})
    set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${ORVANE_BIN_TO_LIB}")
  endif()
endforeach()
# The command-line tool is built only with the tools; it ships with them.
if(TARGET orvane-cli)
  install(TARGETS orvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# find_package(Orvane 1.0) gives Orvane::Orvane_api. Its private dependencies (CivetWeb, TurboJPEG, OpenCV
# behind libDepthRefine) stay inside the shared library, so the package file asks for none of them.
set(ORVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Orvane)
install(EXPORT OrvaneTargets NAMESPACE Orvane:: DESTINATION ${ORVANE_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/OrvaneConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/packaging/OrvaneConfig.cmake
                              INSTALL_DESTINATION ${ORVANE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/packaging/OrvaneConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/packaging/OrvaneConfig.cmake
              ${PROJECT_BINARY_DIR}/packaging/OrvaneConfigVersion.cmake
        DESTINATION ${ORVANE_CMAKE_DIR} COMPONENT dev)

# orvane.pc finds its prefix from its own place (${pcfiledir}), so a moved tree needs no edit.
file(RELATIVE_PATH ORVANE_PC_TO_PREFIX /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
string(REGEX REPLACE "/$" "" ORVANE_PC_TO_PREFIX "${ORVANE_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/orvane.pc.in ${PROJECT_BINARY_DIR}/packaging/orvane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/orvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)

# Debian packages: `cpack -G DEB` in the build tree gives liborvane1, liborvane-dev and orvane-tools, and
# python3-orvane when the Python package is built.
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Orvane SDK maintainers <sdk@orvane.invalid>")
set(CPACK_GENERATOR DEB)
# Shipped binaries carry no symbol tables (a tenth of their size); the build tree keeps them.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(ORVANE_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
if(TARGET _orvane)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME liborvane1)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME liborvane-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME orvane-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-orvane)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# Built for Debian's python3; numpy is imported by the package itself.
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, python3-numpy")
# Each package's description starts with its own one-line summary, not one shared by all three.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Library for network time-of-flight depth cameras
The shared libraries: libOrvane_api (the C API) and libDepthRefine (depth filters).")
set(CPACK_COMPONENT_DEV_DESCRIPTION "Development files for the Orvane camera library
The C header, the link, the CMake package (find_package(Orvane)) and orvane.pc.")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Tools for Orvane depth cameras
orvane-cli, the camera simulator orvane-camsim, orvane-demo and the API examples.")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "Python package for Orvane depth cameras
The package orvane: frame sets as numpy arrays, settings, geometry and callbacks.")
# The development files, the tools and the Python package need the libraries of the very same version.
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_COMPONENT_PYTHON_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# dpkg-shlibdeps works out the system libraries each package needs. The package's own libraries come
# from liborvane1 (above), so dpkg-shlibdeps only has to find them: in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
get_target_property(ORVANE_API_BINARY_DIR Orvane_api BINARY_DIR)
get_target_property(ORVANE_REFINE_BINARY_DIR DepthRefine BINARY_DIR)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${ORVANE_API_BINARY_DIR} ${ORVANE_REFINE_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
include(CPack)
