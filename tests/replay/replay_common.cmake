# What the inspector's check scripts share (included as ${COMMON}).
#   replay(<prefix> args...)  runs the tool; sets <prefix>_status, <prefix>_out, <prefix>_err
#   fail(<message>)           fails the test with the message and the last run's command and output
#   expect_status(<prefix> <status>)
foreach(var REPLAY WORK_DIR INSPECT_TRACE ROUND_TRIP_TRACE)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "the check needs -D${var}=...")
    endif()
endforeach()
string(REPLACE "|" ";" replay_command "${REPLAY}")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

macro(replay prefix)
    execute_process(COMMAND ${replay_command} ${ARGN} RESULT_VARIABLE ${prefix}_status
        OUTPUT_VARIABLE ${prefix}_out ERROR_VARIABLE ${prefix}_err)
    set(last_run "velkano-replay ${ARGN}\nexit status ${${prefix}_status}\nstdout:\n${${prefix}_out}\nstderr:\n${${prefix}_err}")
endmacro()

macro(fail message)
    message(FATAL_ERROR "${message}\n${last_run}")
endmacro()

macro(expect_status prefix status)
    if(NOT ${prefix}_status EQUAL ${status})
        message(FATAL_ERROR "exit status ${${prefix}_status}, wanted ${status}\n${last_run}")
    endif()
endmacro()
