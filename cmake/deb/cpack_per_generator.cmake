# Read by cpack once per generator: the .tar.gz takes every component into one archive, while
# each component but "tarball" (the archive's README and docs) becomes a .deb of its own.
if(CPACK_GENERATOR STREQUAL "TGZ")
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)  # velkano-<version>-linux-<machine>/...
else()
    set(CPACK_COMPONENTS_GROUPING IGNORE)
    list(REMOVE_ITEM CPACK_COMPONENTS_ALL tarball)
    # Each package's description begins with its own synopsis, not the project's.
    unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
endif()
