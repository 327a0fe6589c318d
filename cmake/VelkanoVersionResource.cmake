# Windows version resources: the version, product and copyright Explorer shows for a binary
# and GetFileVersionInfo returns, compiled by the cross toolchain's windres.

# Adds cmake/version.rc.in, configured for `fileName` (e.g. Velkano.dll) and `description`,
# to `target`. FILEVERSION and PRODUCTVERSION are the project's major,minor,patch,0.
function(velkano_version_resource target fileName description)
    get_filename_component(VELKANO_RC_INTERNAL_NAME ${fileName} NAME_WE)
    set(VELKANO_RC_FILE_NAME ${fileName})
    set(VELKANO_RC_DESCRIPTION ${description})
    if(fileName MATCHES "\\.dll$")
        set(VELKANO_RC_FILE_TYPE VFT_DLL)
    else()
        set(VELKANO_RC_FILE_TYPE VFT_APP)
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
