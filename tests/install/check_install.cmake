# Installs the build into a fresh prefix, then builds and runs a C consumer of it twice:
# through find_package(velkano) and through pkg-config, and replays its recorded calls with the
# installed tools.
# Usage: cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... -DCC=... -P check_install.cmake
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
    endif()
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# CMake package
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/cmake-consumer -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-consumer)
run(${WORK_DIR}/cmake-consumer/consumer)
message(STATUS "find_package: ${last_output}")

# pkg-config
file(GLOB_RECURSE pc_file ${prefix}/*/velkano.pc)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs velkano)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(pkg-config --variable=libdir velkano)
string(STRIP "${last_output}" libdir)
run(${CC} -std=c99 -pedantic -Wall -Werror ${SOURCE_DIR}/consumer.c ${flags} -Wl,-rpath,${libdir}
    -o ${WORK_DIR}/pkg-consumer)
run(${WORK_DIR}/pkg-consumer)
message(STATUS "pkg-config: ${last_output}")

# The installed replay tool finds the installed library and replays a trace of the consumer
# recorded with the installed capture library.
if(EXISTS ${prefix}/bin/velkano-replay)
    file(GLOB_RECURSE capture ${prefix}/*/libvelkano_capture.so)
    run(${CMAKE_COMMAND} -E env VELKANO_TRACE=${WORK_DIR}/consumer.vktrace LD_PRELOAD=${capture}
        ${WORK_DIR}/pkg-consumer)
    run(${prefix}/bin/velkano-replay ${WORK_DIR}/consumer.vktrace)
    message(STATUS "velkano-replay: ${last_output}")
endif()
