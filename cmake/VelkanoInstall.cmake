# Installs the header, the library, a CMake package (find_package(velkano) gives
# velkano::velkano) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Components, one per package (cmake/VelkanoPackaging.cmake): runtime (libvelkano.so.0*),
# development (header, libvelkano.so link, CMake package, pkg-config file), tools.
install(TARGETS velkano EXPORT velkanoTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
# The capture variant: the library alone (same header), to LD_PRELOAD over libvelkano.so. Not a
# library to link against (no versioned soname), so it lives in a directory of its own under the
# libdir, out of the linker's and the loader's search paths:
#   LD_PRELOAD=<prefix>/<libdir>/velkano/libvelkano_capture.so
if(TARGET velkano_capture AND NOT WIN32)
    install(TARGETS velkano_capture LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/velkano COMPONENT tools)
endif()

set(VELKANO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/velkano)
install(EXPORT velkanoTargets NAMESPACE velkano:: DESTINATION ${VELKANO_CMAKE_DIR} COMPONENT development)
configure_package_config_file(cmake/velkanoConfig.cmake.in ${PROJECT_BINARY_DIR}/velkanoConfig.cmake
    INSTALL_DESTINATION ${VELKANO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velkanoConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velkanoConfig.cmake ${PROJECT_BINARY_DIR}/velkanoConfigVersion.cmake
    DESTINATION ${VELKANO_CMAKE_DIR} COMPONENT development)

# The .pc file finds its prefix from its own place, so `cmake --install --prefix P` works.
file(RELATIVE_PATH VELKANO_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VELKANO_PC_TO_PREFIX "${VELKANO_PC_TO_PREFIX}")
configure_file(cmake/velkano.pc.in ${PROJECT_BINARY_DIR}/velkano.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velkano.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)
