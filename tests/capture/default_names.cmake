# A host run twice with the capture library in one folder, without VELKANO_TRACE: each run must
# leave its own trace under a new default name (velkano-YYYYMMDD-HHMMSS-<pid>[-N].vktrace) that
# replays. The first run asks for exact mode as " Yes ", the second as "maybe", which must be
# refused with the capture's warning on stderr and give a default-mode trace.
#
# -DHOST= (the host, run in WORK_DIR without arguments) -DREPLAY= (native velkano-replay)
# -DWORK_DIR= and either -DPRELOAD=<capture library> or -DDLL=<capture Velkano.dll>
# -DWINE=wine -DWINE_ENV=... (a Windows host: it and the DLL are copied into WORK_DIR)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
if(WINE)
    file(COPY ${HOST} ${DLL} DESTINATION ${WORK_DIR})
    get_filename_component(host_name ${HOST} NAME)
    string(REPLACE "|" ";" wine_env "${WINE_ENV}")
    set(run ${wine_env} ${WINE} ${WORK_DIR}/${host_name})
else()
    set(run LD_PRELOAD=${PRELOAD} ASAN_OPTIONS=$ENV{ASAN_OPTIONS}:verify_asan_link_order=0 ${HOST})
endif()

set(warning "velkano capture: VELKANO_TRACE_EXACT=\"maybe\" is not understood, so exact mode is off (1, true, yes or on turn it on; 0, false, no, off or nothing leave it off)")
foreach(exact " Yes " "maybe")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=VELKANO_TRACE "VELKANO_TRACE_EXACT=${exact}" ${run}
                    WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "the host failed (${status}) with VELKANO_TRACE_EXACT='${exact}':\n${output}${errors}")
    endif()
    string(FIND "${errors}" "${warning}" warned)
    string(FIND "${errors}" "velkano capture:" said)
    if((exact STREQUAL "maybe" AND warned EQUAL -1) OR (NOT exact STREQUAL "maybe" AND NOT said EQUAL -1))
        message(FATAL_ERROR "VELKANO_TRACE_EXACT='${exact}': stderr is not as wanted:\n${errors}")
    endif()
endforeach()

file(GLOB traces RELATIVE ${WORK_DIR} ${WORK_DIR}/*.vktrace)
list(LENGTH traces count)
if(NOT count EQUAL 2)
    message(FATAL_ERROR "two runs left ${count} traces, wanted 2: ${traces}")
endif()
set(flags)
foreach(trace IN LISTS traces)
    if(NOT trace MATCHES "^velkano-[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]-[0-9][0-9][0-9][0-9][0-9][0-9]-[0-9]+(-[0-9]+)?\\.vktrace$")
        message(FATAL_ERROR "the default name ${trace} is not velkano-YYYYMMDD-HHMMSS-<pid>[-N].vktrace")
    endif()
    file(READ ${WORK_DIR}/${trace} flag OFFSET 22 LIMIT 1 HEX)  # the header's flags, low byte
    list(APPEND flags ${flag})
    execute_process(COMMAND ${REPLAY} ${WORK_DIR}/${trace} RESULT_VARIABLE status OUTPUT_VARIABLE output
                    ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "replaying ${trace}: exit status ${status}\n${output}${errors}")
    endif()
endforeach()
list(SORT flags)
if(NOT flags STREQUAL "00;01")
    message(FATAL_ERROR "wanted one exact-mode trace (\" Yes \") and one default-mode trace (\"maybe\"), flags: ${flags}")
endif()
