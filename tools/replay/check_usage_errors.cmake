# Runs velkano-replay with bad command lines and unusable traces and checks that each exits
# with status 2 and a message prefixed "velkano-replay: " on stderr, and that --help prints the
# usage with status 0.
# Inputs: -DREPLAY=<executable> -DWORK_DIR=<scratch directory>
foreach(var REPLAY WORK_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_usage_errors.cmake needs -D${var}=...")
    endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/garbage.vktrace" "not a trace at all, but long enough to hold a header")
file(WRITE "${WORK_DIR}/short.vktrace" "VKTRACE")
set(garbage "${WORK_DIR}/garbage.vktrace")

# Each case: a name, then its arguments separated by '|', then the text stderr must contain.
set(cases
    "no arguments||no trace given"
    "unknown option|--bogus|${garbage}|--bogus"
    "two traces|${garbage}|${garbage}|one trace at a time"
    "option without its value|${garbage}|--png|--png"
    "frames backwards|--frames|5-3|${garbage}|--frames takes"
    "frames not a number|--frames|x|${garbage}|--frames takes"
    "frames with a sign|--frames|-3|${garbage}|--frames takes"
    "two modes|--calls|--info|${garbage}|--calls and --info cannot be combined"
    "an option of another mode|--calls|--png|out|${garbage}|--calls takes no --png"
    "call number not a number|--image-at|x|out.png|${garbage}|--image-at takes a call number"
    "layers without an image|--layers|${garbage}|takes no --layers"
    "unknown entry point|--calls|--only|FOO|${garbage}|no entry point is called \"FOO\""
    "pixel without y|--pixel|3|${garbage}|--pixel takes X,Y"
    "json without a mode for it|--json|${garbage}|--json goes with"
    "repeat without profile|--repeat|3|${garbage}|--repeat goes with --profile"
    "a third trace|--diff-traces|${garbage}|${garbage}|${garbage}|takes its two traces itself"
    "serve with another library|--serve|--library|x.so|${garbage}|--serve replays with the library code built into this tool"
    "port out of range|--serve|--port|65536|${garbage}|--port takes a port number from 0 to 65535, not \"65536\""
    "port with a sign|--serve|--port|+80|${garbage}|--port takes a port number"
    "checkpoints too small|--serve|--checkpoint-mib|15|${garbage}|--checkpoint-mib takes a number of MiB from 16"
    "port without serve|--port|80|${garbage}|a replay takes no --port"
    "missing trace|${WORK_DIR}/missing.vktrace|cannot open ${WORK_DIR}/missing.vktrace: No such file or directory"
    "directory|${WORK_DIR}|${WORK_DIR} is a directory, not a trace"
    "not a trace|${garbage}|${garbage}: offset 0: not a Velkano trace"
    "short file|${WORK_DIR}/short.vktrace|shorter than a trace header"
    "not a trace listed|--calls|${garbage}|not a Velkano trace")
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" parts "${case}")
    list(POP_FRONT parts name)
    list(POP_BACK parts expected)
    execute_process(COMMAND "${REPLAY}" ${parts} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 2)
        message(FATAL_ERROR "${name}: exit status ${rc}, expected 2\nstdout: ${out}\nstderr: ${err}")
    endif()
    if(NOT err MATCHES "^velkano-replay: ")
        message(FATAL_ERROR "${name}: stderr does not start with \"velkano-replay: \":\n${err}")
    endif()
    string(FIND "${err}" "${expected}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "${name}: stderr does not say \"${expected}\":\n${err}")
    endif()
endforeach()

execute_process(COMMAND "${REPLAY}" --help RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Usage: velkano-replay" OR NOT err STREQUAL "")
    message(FATAL_ERROR "--help: exit status ${rc}\nstdout: ${out}\nstderr: ${err}")
endif()
list(LENGTH cases count)
message(STATUS "${count} bad command lines and traces exit with 2; --help exits with 0")
