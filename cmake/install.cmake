# Install rules of libkavo: the public header, the versioned shared library
# (libkavo.so.1.0.0, soname libkavo.so.1, development link libkavo.so), with
# KAVO_BUILD_STATIC the static library libkavo.a, a pkg-config file and a
# CMake package exporting kavo::kavo (and kavo::kavo_static).
#
# The shared library hides everything but the kavo_ functions and kavo.h
# includes only standard headers, so consumers of it need neither yyjson's
# headers nor its link flags; yyjson appears only as a private dependency,
# which a static link needs.
#
# Components, one Debian package each (cmake/package.cmake): "runtime" the
# shared library, "dev" everything to build against it, "tools" the kavo tool
# with the bundled examples (tools/CMakeLists.txt).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KAVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kavo)

install(TARGETS kavo EXPORT kavoTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kavo.h ${KAVO_GENERATED_INCLUDE_DIR}/kavo_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

install(EXPORT kavoTargets NAMESPACE kavo:: DESTINATION ${KAVO_CMAKE_DIR} COMPONENT dev)
if(KAVO_BUILD_STATIC)
  install(TARGETS kavo_archive EXPORT kavoStaticTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT kavoStaticTargets NAMESPACE kavo:: DESTINATION ${KAVO_CMAKE_DIR} COMPONENT dev)
endif()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kavoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kavoConfig.cmake INSTALL_DESTINATION ${KAVO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kavoConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kavoConfig.cmake ${PROJECT_BINARY_DIR}/kavoConfigVersion.cmake
  DESTINATION ${KAVO_CMAKE_DIR} COMPONENT dev)

# The pkg-config file finds the prefix from its own place (${pcfiledir}), so
# the installed tree can be moved or installed with `cmake --install --prefix`.
# Absolute install directories are written as they are.
function(kavo_pc_dir out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(KAVO_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH kavo_pc_up "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" kavo_pc_up "${kavo_pc_up}")
  set(KAVO_PC_PREFIX "\${pcfiledir}/${kavo_pc_up}")
endif()
kavo_pc_dir(KAVO_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
kavo_pc_dir(KAVO_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/kavo.pc.in ${PROJECT_BINARY_DIR}/kavo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kavo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT dev)
