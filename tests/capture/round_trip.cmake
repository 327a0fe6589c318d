# A host run recorded and replayed: the host draws with the plain library and again with the
# capture library preloaded, the two runs' image bytes must be identical, and the replay tool
# must give the exit status wanted (0: every frame and image check matches).
#
# -DHOST= -DHOST_ARGS= (a ;-list) -DCAPTURE= (the capture library to preload)
# -DREPLAY= -DOUT_DIR= -DEXACT=0|1 -DWANT_STATUS=0|1 [-DWANT_MESSAGE=text the replay must print]
# [-DWINE=wine -DWINE_ENV=...] (a Win32 host: HOST_ARGS then name the DLL, no preload)
# [-DQEMU=qemu-aarch64|-L|<sysroot>] (an ARM64 host: run and preloaded under qemu; REPLAY may be a
# command with its parts separated by '|')
# [-DPLAIN_BYTES=file] (compare with bytes written by another run instead of a plain run)
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
set(trace ${OUT_DIR}/host.vktrace)
string(REPLACE "|" ";" REPLAY "${REPLAY}")
string(REPLACE "|" ";" QEMU "${QEMU}")

function(run_host out_file)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "host run failed (${status}): ${ARGN}\n${errors}")
    endif()
endfunction()

if(NOT PLAIN_BYTES)
    set(PLAIN_BYTES ${OUT_DIR}/plain.bin)
    run_host(${PLAIN_BYTES} ${QEMU} ${HOST} ${PLAIN_BYTES} ${HOST_ARGS})
endif()
set(env VELKANO_TRACE=${trace} VELKANO_TRACE_EXACT=${EXACT})
if(WINE)
    string(REPLACE "|" ";" wine_env "${WINE_ENV}")
    run_host(${OUT_DIR}/capture.bin ${CMAKE_COMMAND} -E env ${env} ${wine_env} ${WINE} ${HOST} ${CAPTURE}
             ${OUT_DIR}/capture.bin ${HOST_ARGS})
elseif(QEMU)
    # The guest's environment only: qemu itself must not preload an ARM64 library.
    list(TRANSFORM env PREPEND "-E;")
    run_host(${OUT_DIR}/capture.bin ${QEMU} ${env} -E LD_PRELOAD=${CAPTURE} ${HOST} ${OUT_DIR}/capture.bin
             ${HOST_ARGS})
else()
    # A sanitizer runtime linked into the host must not object to the preloaded library.
    run_host(${OUT_DIR}/capture.bin ${CMAKE_COMMAND} -E env ${env} LD_PRELOAD=${CAPTURE}
             ASAN_OPTIONS=$ENV{ASAN_OPTIONS}:verify_asan_link_order=0 ${HOST} ${OUT_DIR}/capture.bin ${HOST_ARGS})
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${PLAIN_BYTES} ${OUT_DIR}/capture.bin RESULT_VARIABLE same)
if(NOT same EQUAL 0)
    message(FATAL_ERROR "the host saw other bytes with the capture library than without it")
endif()
if(NOT EXISTS ${trace})
    message(FATAL_ERROR "no trace was written to ${trace}")
endif()

execute_process(COMMAND ${REPLAY} ${trace} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message("${output}${errors}")
if(NOT status EQUAL WANT_STATUS)
    message(FATAL_ERROR "replay exit status ${status}, wanted ${WANT_STATUS}")
endif()
if(WANT_MESSAGE AND NOT "${output}${errors}" MATCHES "${WANT_MESSAGE}")
    message(FATAL_ERROR "the replay did not say '${WANT_MESSAGE}'")
endif()

# The other modes on the same trace: PNG files for every frame and the last image, one listed
# line per call, a profile, and two libraries side by side that must agree after every call.
if(OTHER_MODES)
    execute_process(COMMAND ${REPLAY} --png ${OUT_DIR}/png ${trace} RESULT_VARIABLE status OUTPUT_QUIET)
    file(GLOB frames ${OUT_DIR}/png/frame_*.png)
    list(LENGTH frames frame_count)
    if(NOT status EQUAL 0 OR NOT frame_count EQUAL OTHER_MODES_FRAMES OR NOT EXISTS ${OUT_DIR}/png/final.png)
        message(FATAL_ERROR "--png: exit status ${status}, ${frame_count} frame files, wanted ${OTHER_MODES_FRAMES}")
    endif()
    execute_process(COMMAND ${REPLAY} --calls --frames 2-3 ${trace} RESULT_VARIABLE status OUTPUT_VARIABLE listing)
    string(REGEX MATCHALL "frame [0-9]+ call [0-9]+  ENDUPDATE@0" frame_ends "${listing}")
    if(NOT status EQUAL 0 OR NOT frame_ends STREQUAL "frame 2 call 21  ENDUPDATE@0;frame 3 call 29  ENDUPDATE@0")
        message(FATAL_ERROR "--calls --frames 2-3: exit status ${status}, frame ends '${frame_ends}'\n${listing}")
    endif()
    execute_process(COMMAND ${REPLAY} --profile ${trace} RESULT_VARIABLE status OUTPUT_VARIABLE profile)
    if(NOT status EQUAL 0 OR NOT profile MATCHES "DRAWPERSPTRI@16 +12 " OR NOT profile MATCHES "slowest calls")
        message(FATAL_ERROR "--profile: exit status ${status}\n${profile}")
    endif()
    execute_process(COMMAND ${REPLAY} --library ${PLAIN_LIBRARY} --compare ${PLAIN_LIBRARY} ${trace}
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    if(NOT status EQUAL 0 OR NOT output MATCHES "the two libraries agree after every call")
        message(FATAL_ERROR "--compare: exit status ${status}\n${output}${errors}")
    endif()
endif()
