# A host run recorded and replayed: the host draws with the plain library and again with the
# capture library preloaded, the two runs' image bytes must be identical, and the replay tool
# must give the exit status wanted (0: every frame and image check matches).
#
# -DHOST= -DHOST_ARGS= (a ;-list) -DCAPTURE= (the capture library to preload)
# -DREPLAY= -DOUT_DIR= -DEXACT=0|1 -DWANT_STATUS=0|1 [-DWANT_MESSAGE=text the replay must print]
# [-DWINE=wine -DWINE_ENV=...] (a Win32 host: HOST_ARGS then name the DLL, no preload)
# [-DPLAIN_BYTES=file] (compare with bytes written by another run instead of a plain run)
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
set(trace ${OUT_DIR}/host.vktrace)

function(run_host out_file)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "host run failed (${status}): ${ARGN}\n${errors}")
    endif()
endfunction()

if(NOT PLAIN_BYTES)
    set(PLAIN_BYTES ${OUT_DIR}/plain.bin)
    run_host(${PLAIN_BYTES} ${HOST} ${PLAIN_BYTES} ${HOST_ARGS})
endif()
set(env VELKANO_TRACE=${trace} VELKANO_TRACE_EXACT=${EXACT})
if(WINE)
    string(REPLACE "|" ";" wine_env "${WINE_ENV}")
    run_host(${OUT_DIR}/capture.bin ${CMAKE_COMMAND} -E env ${env} ${wine_env} ${WINE} ${HOST} ${CAPTURE}
             ${OUT_DIR}/capture.bin ${HOST_ARGS})
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
