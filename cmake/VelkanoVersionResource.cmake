# Windows version resources: the version, product and copyright Explorer shows for a binary
# and GetFileVersionInfo returns, compiled by the cross toolchain's windres.

# The copyright year is the release date's (SOURCE_DATE_EPOCH, which scripts/release.sh sets to
# the last commit's date), else the last commit's, else this year's.
string(TIMESTAMP VELKANO_COPYRIGHT_YEAR "%Y" UTC)
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%cd --date=format:%Y
        OUTPUT_VARIABLE commit_year OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE git_rc)
    if(git_rc EQUAL 0 AND commit_year MATCHES "^[0-9]+$")
        set(VELKANO_COPYRIGHT_YEAR ${commit_year})
    endif()
endif()

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
