# cmake --install: the module (lib), its public headers (include/vocs), the
# vocs command (bin), the statement reference (share/doc/vocs), a pkg-config
# file and a CMake package config, so that C and C++ programs find the
# library with either tool.
#
# Everything is placed relative to the prefix, so the prefix may be chosen at
# install time (cmake --install build --prefix P): the pkg-config file finds
# its prefix from its own place, and the command finds the module in the lib
# directory beside its bin directory.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

target_include_directories(vocs INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS vocs EXPORT vocsTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/vocs DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(VOCS_BUILD_HOST)
  install(TARGETS vocs_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES README.md docs/statements.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

file(RELATIVE_PATH VOCS_PREFIX_FROM_PKGCONFIG
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" VOCS_PREFIX_FROM_PKGCONFIG "${VOCS_PREFIX_FROM_PKGCONFIG}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/vocs.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vocs.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vocs.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(VOCS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vocs)
install(EXPORT vocsTargets NAMESPACE vocs:: DESTINATION ${VOCS_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vocsConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vocsConfig.cmake INSTALL_DESTINATION ${VOCS_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vocsConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vocsConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/vocsConfigVersion.cmake DESTINATION ${VOCS_CMAKE_DIR})
