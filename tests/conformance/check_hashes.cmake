# check_hashes.cmake: renders the conformance scenes and checks each image against the
# checked-in hashes, or rewrites the hashes.
#
#   cmake [-DLAUNCHER=wine] [-DPROGRAM=program [-DDLL=Velkano.dll]] -DOUT=dir
#         -DHASHES=images.sha256 [-DUPDATE=ON] -P check_hashes.cmake
#
# With PROGRAM, OUT is emptied and the program writes one <scene>.bin per scene into it.
# HASHES is in sha256sum format. Every listed scene whose file is missing or whose hash
# differs is reported by name with the expected and the actual hash, as is every file the
# list does not name; any of these fails the run. UPDATE=ON rewrites HASHES from OUT instead.
cmake_minimum_required(VERSION 3.20)

foreach(required IN ITEMS OUT HASHES)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "check_hashes.cmake: -D${required}=... is required")
    endif()
    get_filename_component(${required} ${${required}} ABSOLUTE)  # from the working directory
endforeach()

set(problems)
if(DEFINED PROGRAM)
    file(REMOVE_RECURSE ${OUT})
    file(MAKE_DIRECTORY ${OUT})
    execute_process(COMMAND ${LAUNCHER} ${PROGRAM} ${DLL} ${OUT} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        list(APPEND problems "the conformance program failed (${status})")
    endif()
endif()

file(GLOB produced RELATIVE ${OUT} ${OUT}/*.bin)
list(SORT produced)

if(UPDATE)
    if(problems OR NOT produced)
        message(FATAL_ERROR "not updating ${HASHES}: ${problems} (${OUT} holds no images or the run failed)")
    endif()
    set(text "")
    foreach(name IN LISTS produced)
        file(SHA256 ${OUT}/${name} actual)
        string(APPEND text "${actual}  ${name}\n")
    endforeach()
    file(WRITE ${HASHES} "${text}")
    list(LENGTH produced count)
    message(STATUS "wrote ${count} hashes to ${HASHES}")
    return()
endif()

file(STRINGS ${HASHES} lines)
set(listed)
foreach(line IN LISTS lines)
    if(line MATCHES "^([0-9a-f]+) [ *](.+)$")
        set(expected ${CMAKE_MATCH_1})
        set(name ${CMAKE_MATCH_2})
        list(APPEND listed ${name})
        if(NOT EXISTS ${OUT}/${name})
            list(APPEND problems "${name}: missing (expected ${expected})")
        else()
            file(SHA256 ${OUT}/${name} actual)
            if(NOT actual STREQUAL expected)
                list(APPEND problems "${name}: expected ${expected}, got ${actual}")
            endif()
        endif()
    elseif(NOT line STREQUAL "")
        list(APPEND problems "${HASHES}: cannot read the line '${line}'")
    endif()
endforeach()
if(NOT listed)
    list(APPEND problems "${HASHES} lists no images")
endif()
foreach(name IN LISTS produced)
    if(NOT name IN_LIST listed)
        file(SHA256 ${OUT}/${name} actual)
        list(APPEND problems "${name}: not in ${HASHES} (got ${actual})")
    endif()
endforeach()

list(LENGTH listed count)
if(problems)
    foreach(problem IN LISTS problems)
        message("conformance: ${problem}")
    endforeach()
    list(LENGTH problems failed)
    message(FATAL_ERROR "conformance: ${failed} problem(s) in ${OUT} against ${count} listed images")
endif()
message(STATUS "conformance: all ${count} images in ${OUT} match ${HASHES}")
