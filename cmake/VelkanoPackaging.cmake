# The Linux packages of a release, made by CPack from the install rules' components:
#   package          component    holds
#   libvelkano0      runtime      libvelkano.so.0*, named after its soname
#   libvelkano-dev   development  the header, the libvelkano.so link, the CMake package, velkano.pc,
#                                 the manual page velkano(3)
#   velkano-tools    tools        velkano-replay, its manual page and the capture library
#   (none)           tarball      the .tar.gz's README.md and docs/
# each as a .deb (Debian conventions: shlibs and the ldconfig trigger for the runtime package,
# dependencies from dpkg-shlibdeps, stripped binaries, copyright and changelog.Debian.gz in
# /usr/share/doc/<package>/), and all three together with the tarball component as one .tar.gz.
# Usage: configure with -DCMAKE_INSTALL_PREFIX=/usr, build, then `cpack` in the build directory
# (scripts/release.sh does all of it).

# The package and the section of each component, from cmake/release-manifest.txt:
# CPACK_DEBIAN_<COMPONENT>_PACKAGE_NAME and _PACKAGE_SECTION.
file(STRINGS ${VELKANO_MANIFEST} deb_lines REGEX "^deb ")
foreach(line IN LISTS deb_lines)
    string(REPLACE "@MAJOR@" ${PROJECT_VERSION_MAJOR} line "${line}")
    separate_arguments(fields UNIX_COMMAND "${line}")
    list(GET fields 1 component)
    string(TOUPPER ${component} upper)
    list(GET fields 2 CPACK_DEBIAN_${upper}_PACKAGE_NAME)
    list(GET fields 3 CPACK_DEBIAN_${upper}_PACKAGE_SECTION)
endforeach()
set(VELKANO_DEB_RUNTIME ${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME})
set(VELKANO_DEB_REVISION 1)  # the Debian revision: the packaging's own version, 1 for each release
set(VELKANO_DEB_VERSION ${PROJECT_VERSION}-${VELKANO_DEB_REVISION})
set(VELKANO_MAINTAINER "Velkano developers <velkano@users.noreply.invalid>")

# ---- /usr/share/doc/<package>/: copyright (DEP-5, from LICENSE) and changelog.Debian.gz ------
set(doc_dir ${PROJECT_BINARY_DIR}/package-doc)
set(license_file ${PROJECT_SOURCE_DIR}/LICENSE)
if(EXISTS ${license_file})
    # LICENSE is the MIT text: "Copyright ..." lines, then the licence itself. DEP-5 calls it
    # Expat and wants the text indented by one space, with " ." for an empty line.
    file(STRINGS ${license_file} license_lines)
    set(holders "")
    set(license_text "")
    foreach(line IN LISTS license_lines)
        if(line MATCHES "^[ \t]*Copyright[ \t]+(\\([cC]\\)[ \t]+)?(.*)$")
            list(APPEND holders "${CMAKE_MATCH_2}")
            set(license_text "")  # the licence proper starts after the last copyright line
        elseif(holders)
            string(STRIP "${line}" line)
            if(line STREQUAL "")
                string(APPEND license_text " .\n")
            else()
                string(APPEND license_text " ${line}\n")
            endif()
        endif()
    endforeach()
    if(NOT holders)
        message(FATAL_ERROR "LICENSE has no Copyright line")
    endif()
    string(REGEX REPLACE "^( \\.\n)+" "" license_text "${license_text}")
    string(REGEX REPLACE "( \\.\n)+$" "" license_text "${license_text}")
    list(JOIN holders "\n " holders)
    file(WRITE ${doc_dir}/copyright
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        "Upstream-Name: velkano\n"
        "Upstream-Contact: ${VELKANO_MAINTAINER}\n"
        "\n"
        "Files: *\n"
        "Copyright: ${holders}\n"
        "License: Expat\n"
        "${license_text}")
else()
    message(WARNING "no LICENSE at the top of the source tree: the packages will lack their copyright file")
endif()

# One entry for the release, dated SOURCE_DATE_EPOCH (release.sh: the last commit) or now.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${doc_dir}/changelog.Debian
    "velkano (${VELKANO_DEB_VERSION}) unstable; urgency=medium\n"
    "\n"
    "  * Release ${PROJECT_VERSION}.\n"
    "\n"
    " -- ${VELKANO_MAINTAINER}  ${changelog_date}\n")
# Debian wants doc files and manual pages compressed with gzip -9 -n (no name or time stamp inside).
# docs/man/velkano.3 is made from docs/api.md by scripts/make-man-page.sh.
set(man_pages ${PROJECT_SOURCE_DIR}/tools/replay/velkano-replay.1 ${PROJECT_SOURCE_DIR}/docs/man/velkano.3)
find_program(VELKANO_GZIP gzip REQUIRED)
foreach(page IN ITEMS ${doc_dir}/changelog.Debian ${man_pages})
    get_filename_component(name ${page} NAME)
    execute_process(COMMAND ${VELKANO_GZIP} -9 -n -c ${page} OUTPUT_FILE ${doc_dir}/${name}.gz
        RESULT_VARIABLE gzip_rc)
    if(NOT gzip_rc EQUAL 0)
        message(FATAL_ERROR "gzip ${page} failed")
    endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${man_pages} ${license_file})

# The files made here go where the manifest lists them (@DOC@: each package's doc folder).
foreach(line IN LISTS VELKANO_MANIFEST_FILES)
    if(NOT line MATCHES "^([a-z]+) +(.*)/([^ /]+)$")
        continue()
    endif()
    set(file ${doc_dir}/${CMAKE_MATCH_3})
    set(component ${CMAKE_MATCH_1})
    set(dir ${CMAKE_MATCH_2})
    if(NOT EXISTS ${file} OR (component STREQUAL "tools" AND NOT TARGET velkano_replay))
        continue()
    endif()
    string(TOUPPER ${component} upper)
    string(REPLACE "@DOC@" "${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}" dir "${dir}")
    install(FILES ${file} DESTINATION ${dir} COMPONENT ${component})
endforeach()

# ---- the .tar.gz's own files: its README and the pages it points to ------------------------
# Component "tarball", which no .deb takes, and left out of a plain `cmake --install` (a README.md
# at the top of /usr/local is nobody's wish). `*` in a file name stands for every file it matches.
file(STRINGS ${VELKANO_MANIFEST} tarball_lines REGEX "^tarball ")
foreach(line IN LISTS tarball_lines)
    separate_arguments(fields UNIX_COMMAND "${line}")
    list(GET fields 1 path)
    list(GET fields 2 from)
    get_filename_component(dir ${path} DIRECTORY)
    if(dir STREQUAL "")
        set(dir .)
    endif()
    get_filename_component(name ${path} NAME)
    file(GLOB files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${from})
    if(NOT files)
        message(WARNING "${from} is missing: it goes into the .tar.gz as ${path}")
    elseif(from MATCHES "\\*")
        install(FILES ${files} DESTINATION "${dir}" COMPONENT tarball EXCLUDE_FROM_ALL)
    elseif(VELKANO_TARGET_ARM64 AND name STREQUAL "README.md")
        # The ARM64 archive's README is the x86-64 one with this machine's names.
        file(READ ${files} text)
        string(REPLACE "x86_64-linux-gnu" "${CMAKE_LIBRARY_ARCHITECTURE}" text "${text}")
        string(REPLACE "linux-x86_64" "linux-${CMAKE_SYSTEM_PROCESSOR}" text "${text}")
        string(REPLACE "(x86-64)" "(ARM64)" text "${text}")
        file(CONFIGURE OUTPUT ${doc_dir}/tarball/README.md CONTENT "${text}" @ONLY)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${files})
        install(FILES ${doc_dir}/tarball/README.md DESTINATION "${dir}" COMPONENT tarball EXCLUDE_FROM_ALL)
    else()
        install(FILES ${files} DESTINATION "${dir}" RENAME ${name} COMPONENT tarball EXCLUDE_FROM_ALL)
    endif()
endforeach()

# ---- CPack -----------------------------------------------------------------------------------
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_PACKAGE_NAME velkano)
set(CPACK_PACKAGE_VENDOR "Velkano developers")
set(CPACK_PACKAGE_CONTACT ${VELKANO_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime development)
if(TARGET velkano_replay)
    list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
list(APPEND CPACK_COMPONENTS_ALL tarball)  # the .tar.gz's alone (cmake/deb/cpack_per_generator.cmake)

# The .tar.gz: every component in one archive, velkano-<version>-linux-<machine>/{bin,include,lib,share}
# and its own README.md and docs/.
# The grouping is per generator (cmake/deb/cpack_per_generator.cmake): one archive, one .deb each.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/deb/cpack_per_generator.cmake)
set(CPACK_PACKAGE_FILE_NAME velkano-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_ARCHIVE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})

# The .deb packages: one per component, <name>_<version>-<revision>_<arch>.deb.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VELKANO_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELKANO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The ARM64 cross build's packages are arm64 ones (CPack would ask dpkg, which names this
# machine's). dpkg-shlibdeps then has to read the binaries as arm64 ones too, against Debian's
# arm64 libraries (multiarch: libc6:arm64, libstdc++6:arm64): scripts/release.sh runs cpack there
# with DEB_HOST_ARCH=arm64.
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()
# velkano-replay needs libvelkano.so.0, which no installed package has to hold: dpkg-shlibdeps
# finds it in the build tree (so an installed libvelkano0 plays no part) and the tools package
# names its dependency itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "small, exact and fast software rasteriser - shared library
Velkano draws into a 32-bit image handed over by its host: colour flashes,
scaled tinted tiles, affine textured triangles lit by vertex colours and
perspective-correct textured triangles lit by a lightmap, with the same
pixels, bit for bit, on every machine.
This package holds the shared library.")
# dpkg runs ldconfig through the trigger, so the package needs no maintainer scripts. CPack
# writes a postinst and a postrm calling ldconfig for a library under /usr/lib unless the package
# brings its own: naming two that do not exist keeps them out (CPack warns that they are missing).
# scripts/release checks the control files are exactly control, md5sums, shlibs, triggers.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/deb/triggers
    ${PROJECT_SOURCE_DIR}/cmake/deb/no-maintainer-scripts/postinst
    ${PROJECT_SOURCE_DIR}/cmake/deb/no-maintainer-scripts/postrm)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${VELKANO_DEB_RUNTIME} (= ${VELKANO_DEB_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "small, exact and fast software rasteriser - development files
Velkano draws into a 32-bit image handed over by its host: colour flashes,
scaled tinted tiles, affine textured triangles lit by vertex colours and
perspective-correct textured triangles lit by a lightmap.
This package holds the C header, the CMake package (find_package(velkano))
and the pkg-config file.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${VELKANO_DEB_RUNTIME} (= ${VELKANO_DEB_VERSION})")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "small, exact and fast software rasteriser - capture and replay
Velkano draws into a 32-bit image handed over by its host.
This package holds the capture library, which records every call a host
makes into a trace when preloaded (LD_PRELOAD) in place of libvelkano.so.0,
and velkano-replay, which replays such a trace and checks its images.")

include(CPack)
