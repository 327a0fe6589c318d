# Installs the header, the library, a CMake package (find_package(velkano) gives
# velkano::velkano) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Each installed file's folder and component (one component per package, see
# cmake/VelkanoPackaging.cmake) come from the release manifest, which the release checks read too.
set(VELKANO_MANIFEST ${PROJECT_SOURCE_DIR}/cmake/release-manifest.txt)
file(STRINGS ${VELKANO_MANIFEST} VELKANO_MANIFEST_FILES REGEX "^(runtime|development|tools) ")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELKANO_MANIFEST})

# velkano_manifest(<name> <dir var> <component var>): the folder under the prefix and the
# component of the manifest's file <name>, written as there (e.g. libvelkano.so.@VERSION@).
function(velkano_manifest name dir_var component_var)
    foreach(line IN LISTS VELKANO_MANIFEST_FILES)
        if(line MATCHES "^([a-z]+) +(([^ ]*)/)?([^ /]+)( |$)" AND CMAKE_MATCH_4 STREQUAL name)
            string(REPLACE "@LIBDIR@" "${CMAKE_INSTALL_LIBDIR}" dir "${CMAKE_MATCH_3}")
            set(${dir_var} "${dir}" PARENT_SCOPE)
            set(${component_var} ${CMAKE_MATCH_1} PARENT_SCOPE)
            return()
        endif()
    endforeach()
    message(FATAL_ERROR "${name} is not in ${VELKANO_MANIFEST}")
endfunction()

velkano_manifest(libvelkano.so.@VERSION@ lib_dir lib_component)
velkano_manifest(libvelkano.so link_dir link_component)
velkano_manifest(velkano.h include_dir include_component)
install(TARGETS velkano EXPORT velkanoTargets
    LIBRARY DESTINATION ${lib_dir} COMPONENT ${lib_component} NAMELINK_COMPONENT ${link_component}
    ARCHIVE DESTINATION ${lib_dir} COMPONENT ${link_component}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${lib_component}
    PUBLIC_HEADER DESTINATION ${include_dir} COMPONENT ${include_component})
# The capture variant: the library alone (same header), to LD_PRELOAD over libvelkano.so. Not a
# library to link against (no versioned soname).
if(TARGET velkano_capture AND NOT WIN32)
    velkano_manifest(libvelkano_capture.so dir component)
    install(TARGETS velkano_capture LIBRARY DESTINATION ${dir} COMPONENT ${component})
endif()

velkano_manifest(velkanoConfig.cmake VELKANO_CMAKE_DIR component)
install(EXPORT velkanoTargets NAMESPACE velkano:: DESTINATION ${VELKANO_CMAKE_DIR} COMPONENT ${component})
configure_package_config_file(cmake/velkanoConfig.cmake.in ${PROJECT_BINARY_DIR}/velkanoConfig.cmake
    INSTALL_DESTINATION ${VELKANO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velkanoConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velkanoConfig.cmake ${PROJECT_BINARY_DIR}/velkanoConfigVersion.cmake
    DESTINATION ${VELKANO_CMAKE_DIR} COMPONENT ${component})

# The .pc file finds its prefix from its own place, so `cmake --install --prefix P` works.
velkano_manifest(velkano.pc dir component)
file(RELATIVE_PATH VELKANO_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${dir} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VELKANO_PC_TO_PREFIX "${VELKANO_PC_TO_PREFIX}")
configure_file(cmake/velkano.pc.in ${PROJECT_BINARY_DIR}/velkano.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velkano.pc DESTINATION ${dir} COMPONENT ${component})
