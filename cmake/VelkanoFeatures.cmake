# The optional parts of the build (tests, capture, the Win32 cross build, demo, benchmarks).
# Each is a cache variable with the value AUTO, ON or OFF:
#   AUTO  on when everything it needs is found, off otherwise (the default)
#   ON    on, and configuring fails with the missing piece named
#   OFF   off, and nothing it needs is looked for
# Any other value is ON or OFF as if() reads it (TRUE, 1, FALSE, 0, ...). A part is declared,
# then what it needs is looked for unless the part is OFF, then velkano_part decides:
#
#   velkano_part_option(VELKANO_BUILD_DEMO "the demo host (needs libpng)")
#   if(VELKANO_BUILD_DEMO_WANTED)
#       find_package(PNG)
#   endif()
#   velkano_part(VELKANO_BUILD_DEMO demo NEEDS PNG_FOUND "libpng (libpng-dev)")
#
# velkano_part then sets the variable itself to ON or OFF, as a normal variable that hides the
# cache entry for the rest of the configure, so `if(VELKANO_BUILD_DEMO)` works everywhere after
# it; and it adds the part's line to the summary that velkano_parts_summary prints.

# Declares the part <var> (default AUTO) and sets <var>_WANTED: false only when it is OFF.
macro(velkano_part_option var doc)
    set(${var} AUTO CACHE STRING "${doc}: AUTO, ON or OFF")
    set_property(CACHE ${var} PROPERTY STRINGS AUTO ON OFF)
    string(TOUPPER "${${var}}" _velkano_request)
    if(_velkano_request STREQUAL "AUTO")
        set(${var}_REQUEST AUTO)
        set(${var}_WANTED TRUE)
    elseif(${var})
        set(${var}_REQUEST ON)
        set(${var}_WANTED TRUE)
    else()
        set(${var}_REQUEST OFF)
        set(${var}_WANTED FALSE)
    endif()
endmacro()

# velkano_part(<var> <label> [NEEDS <found-variable> <what is missing> ...])
# Each NEEDS pair names a variable that must be true and, if it is not, what is missing (with
# the Debian package that brings it).
macro(velkano_part var label)
    set(_velkano_args ${ARGN})
    set(_velkano_missing "")
    if(_velkano_args)
        list(POP_FRONT _velkano_args _velkano_keyword)
        if(NOT _velkano_keyword STREQUAL "NEEDS")
            message(FATAL_ERROR "velkano_part(${var}): NEEDS expected, not ${_velkano_keyword}")
        endif()
    endif()
    while(_velkano_args)
        list(POP_FRONT _velkano_args _velkano_found _velkano_reason)
        if(NOT ${_velkano_found})
            list(APPEND _velkano_missing "${_velkano_reason}")
        endif()
    endwhile()
    list(JOIN _velkano_missing ", " _velkano_missing)
    if(${var}_REQUEST STREQUAL "OFF")
        set(${var} OFF)
        set(_velkano_why "switched off")
    elseif(_velkano_missing)
        if(${var}_REQUEST STREQUAL "ON")
            message(FATAL_ERROR "${label}: ${var}=ON, but not found: ${_velkano_missing}. Install it "
                                "(scripts/install-deps.sh installs everything) or configure with -D${var}=AUTO or OFF.")
        endif()
        set(${var} OFF)
        set(_velkano_why "not found: ${_velkano_missing}")
    elseif(${var}_REQUEST STREQUAL "ON")
        set(${var} ON)
        set(_velkano_why "switched on")
    else()
        set(${var} ON)
        set(_velkano_why "found what it needs")
    endif()
    string(SUBSTRING "${label}:            " 0 12 _velkano_line)
    string(SUBSTRING "${${var}}  " 0 4 _velkano_state)
    set_property(GLOBAL APPEND PROPERTY VELKANO_PARTS_SUMMARY
        "${_velkano_line}${_velkano_state}${var}=${${var}_REQUEST}: ${_velkano_why}")
endmacro()

# A finding about the toolchain, printed after the parts: velkano_summary_note(<topic> <text>...).
function(velkano_summary_note topic)
    string(SUBSTRING "${topic}:            " 0 12 line)
    string(CONCAT text ${ARGN})
    set_property(GLOBAL APPEND PROPERTY VELKANO_SUMMARY_NOTES "${line}${text}")
endfunction()

# The summary comes last in the configure output, whatever returns early.
cmake_language(DEFER CALL velkano_parts_summary)
function(velkano_parts_summary)
    get_property(parts GLOBAL PROPERTY VELKANO_PARTS_SUMMARY)
    get_property(notes GLOBAL PROPERTY VELKANO_SUMMARY_NOTES)
    message(STATUS "Velkano parts (AUTO builds a part when what it needs is found):")
    foreach(line IN LISTS parts notes)
        message(STATUS "  ${line}")
    endforeach()
endfunction()
