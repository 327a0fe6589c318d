# What velkano-replay says when something is wrong or nothing could be checked: each case's exit
# status and a text its output must hold. With -DREPLAY_WINE= (the Windows tool's command, parts
# separated by '|'), every case runs through both tools and their output, stdout and stderr
# merged in the order it came, must be the same bytes.
include(${COMMON})
set(truncated ${WORK_DIR}/truncated.vktrace)
file(SIZE ${INSPECT_TRACE} size)
math(EXPR half "${size} / 2")
execute_process(COMMAND head -c ${half} ${INSPECT_TRACE} OUTPUT_FILE ${truncated} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot cut ${INSPECT_TRACE}")
endif()
# The trace without its End record (the last 21 bytes: type, length, two counts, CRC), as a host
# that stopped early leaves it.
set(no_end ${WORK_DIR}/no_end.vktrace)
math(EXPR all_but_end "${size} - 21")
execute_process(COMMAND head -c ${all_but_end} ${INSPECT_TRACE} OUTPUT_FILE ${no_end} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot cut ${INSPECT_TRACE}")
endif()

# name | arguments separated by '|' | exit status | text the output must hold (no ';')
set(cases
    "an image too large to replay|${HUGE_INIT_TRACE}|0|is larger than the replay can hold"
    "the frame after it is still checked|${HUGE_INIT_TRACE}|0|1 check, all match"
    "a cut trace|${truncated}|2|${truncated}: offset"
    "a cut record named|${truncated}|2|truncated record"
    "a cut trace listed|--calls|${truncated}|2|frame 0 call 3  FLASHSUB@4"
    "no end record|${no_end}|2|ends after 19 calls (3 frames) without its end record"
    "no end record, still checked|${no_end}|2|3 checks, all match"
    "no end record, pixel summed up|--pixel|45,35|${no_end}|2|summary: 1 call changed the pixel"
    "calls beyond the trace|--calls|--call-range|19-|${INSPECT_TRACE}|2|--call-range 19-: ${INSPECT_TRACE} holds 19 calls (0 to 18)"
    "frames beyond the trace|--frames|7-9|${INSPECT_TRACE}|2|--frames 7-9: ${INSPECT_TRACE} holds 4 frames (0 to 3)"
    "nothing to verify|--frames|3|${INSPECT_TRACE}|0|nothing was verified"
    "nothing to verify, strictly|--strict|--frames|3|${INSPECT_TRACE}|1|--strict: nothing was verified"
    "a missing trace|${WORK_DIR}/missing.vktrace|2|cannot open ${WORK_DIR}/missing.vktrace: No such file or directory"
    "a directory|${WORK_DIR}|2|${WORK_DIR} is a directory, not a trace")

# Runs one case, stdout and stderr into one file (bytes as written: no newline conversion).
set(case_number 0)
function(run_case command args file out_var status_var)
    execute_process(COMMAND ${command} ${args} RESULT_VARIABLE status OUTPUT_FILE ${file} ERROR_FILE ${file})
    file(READ ${file} output)
    set(${out_var} "${output}" PARENT_SCOPE)
    set(${status_var} "${status}" PARENT_SCOPE)
endfunction()

if(REPLAY_WINE)
    string(REPLACE "|" ";" wine_command "${REPLAY_WINE}")
endif()
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" parts "${case}")
    list(POP_FRONT parts name)
    list(POP_BACK parts expected)
    list(POP_BACK parts want_status)
    math(EXPR case_number "${case_number} + 1")
    set(native_file ${WORK_DIR}/case${case_number}-native.txt)
    run_case("${replay_command}" "${parts}" ${native_file} output status)
    if(NOT status EQUAL want_status)
        message(FATAL_ERROR "${name}: exit status ${status}, wanted ${want_status}\n${output}")
    endif()
    string(FIND "${output}" "${expected}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "${name}: the output does not say \"${expected}\":\n${output}")
    endif()
    if(REPLAY_WINE)
        run_case("${wine_command}" "${parts}" ${WORK_DIR}/case${case_number}-wine.txt wine_output wine_status)
        execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${native_file} ${WORK_DIR}/case${case_number}-wine.txt
                        RESULT_VARIABLE differ)
        if(NOT wine_status EQUAL status OR NOT differ EQUAL 0)
            message(FATAL_ERROR "${name}: the Windows tool says otherwise (exit status ${wine_status}):\n"
                                "${wine_output}\nthe native tool (exit status ${status}):\n${output}")
        endif()
    endif()
endforeach()
list(LENGTH cases count)
message(STATUS "${count} cases say what they should")
