# Installs the build into a fresh prefix (or takes PREFIX, where packages were installed or
# unpacked), then builds and runs a C consumer of it twice: through find_package(velkano) and
# through pkg-config, each finding this prefix's files and printing this version; and replays
# its recorded calls with the prefix's tools.
# Usage: cmake -DBUILD_DIR=... | -DPREFIX=... -DLIBDIR=<libdir under the prefix> -DVERSION=...
#              -DWORK_DIR=... -DSOURCE_DIR=... -DCC=... -P check_install.cmake
# Packages for another machine (the ARM64 ones): -DTOOLCHAIN=<toolchain file> builds the consumers
# with it (and CC with -ffp-contract=off, as the toolchain file does), -DLAUNCHER=<emulator>|<arg>...
# runs them, with the guest's environment given as -E VAR=VALUE.
string(REPLACE "|" ";" LAUNCHER "${LAUNCHER}")
set(cross_flags)
if(TOOLCHAIN)
    set(cross_flags -ffp-contract=off)
endif()

# Runs `program` with `VAR=VALUE...` before it in its environment.
function(run_with env)
    if(LAUNCHER)
        list(TRANSFORM env PREPEND "-E;")
        run(${LAUNCHER} ${env} ${ARGN})
    else()
        run(${CMAKE_COMMAND} -E env ${env} ${ARGN})
    endif()
    set(last_output "${last_output}" PARENT_SCOPE)
endfunction()

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
    endif()
    string(STRIP "${out}" out)
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

function(expect what got want)
    if(NOT got STREQUAL want)
        message(FATAL_ERROR "${what} is '${got}', not '${want}'")
    endif()
endfunction()

# Checks `program` loads libvelkano from the prefix's libdir.
function(check_loads program)
    run_with(LD_TRACE_LOADED_OBJECTS=1 ${program})  # what ldd asks the loader
    if(NOT last_output MATCHES "libvelkano\\.so[.0-9]* => ([^ ]+)")
        message(FATAL_ERROR "${program} loads no libvelkano:\n${last_output}")
    endif()
    file(REAL_PATH ${CMAKE_MATCH_1} loaded)
    get_filename_component(loaded_dir ${loaded} DIRECTORY)
    file(REAL_PATH ${lib_dir} lib_dir_real)
    expect("the folder of the libvelkano ${program} loads" ${loaded_dir} ${lib_dir_real})
endfunction()

# Checks the consumer `program` loads the prefix's library and draws right with this version.
function(check_consumer program)
    check_loads(${program})
    run(${LAUNCHER} ${program})
    expect("the output of ${program}" "${last_output}" "consumer: ok (velkano ${VERSION})")
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
if(NOT PREFIX)
    set(PREFIX ${WORK_DIR}/prefix)
    run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
endif()
set(lib_dir ${PREFIX}/${LIBDIR})

# CMake package
set(toolchain)
if(TOOLCHAIN)
    set(toolchain -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/cmake-consumer -DCMAKE_PREFIX_PATH=${PREFIX} ${toolchain})
file(STRINGS ${WORK_DIR}/cmake-consumer/CMakeCache.txt velkano_dir REGEX "^velkano_DIR:")
expect("find_package's" "${velkano_dir}" "velkano_DIR:PATH=${lib_dir}/cmake/velkano")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-consumer)
check_consumer(${WORK_DIR}/cmake-consumer/consumer)

# pkg-config: the .pc file finds its prefix from its own place.
set(ENV{PKG_CONFIG_PATH} ${lib_dir}/pkgconfig)
run(pkg-config --modversion velkano)
expect("pkg-config's version" "${last_output}" "${VERSION}")
run(pkg-config --variable=libdir velkano)
file(REAL_PATH "${last_output}" libdir)
file(REAL_PATH ${lib_dir} lib_dir_real)
expect("pkg-config's libdir" "${libdir}" "${lib_dir_real}")
run(pkg-config --cflags --libs velkano)
separate_arguments(flags UNIX_COMMAND "${last_output}")
run(${CC} -std=c99 -pedantic -Wall -Werror ${cross_flags} ${SOURCE_DIR}/consumer.c ${flags} -Wl,-rpath,${libdir}
    -o ${WORK_DIR}/pkg-consumer)
check_consumer(${WORK_DIR}/pkg-consumer)

# The prefix's replay tool finds the prefix's library and replays a trace of the consumer
# recorded with the prefix's capture library.
if(EXISTS ${PREFIX}/bin/velkano-replay)
    set(trace ${WORK_DIR}/consumer.vktrace)
    run_with("VELKANO_TRACE=${trace};LD_PRELOAD=${lib_dir}/velkano/libvelkano_capture.so" ${WORK_DIR}/pkg-consumer)
    run(${LAUNCHER} ${PREFIX}/bin/velkano-replay --calls ${trace})
    if(NOT last_output MATCHES "FLASHADD")
        message(FATAL_ERROR "the trace holds no FLASHADD call:\n${last_output}")
    endif()
    check_loads(${PREFIX}/bin/velkano-replay)
    run(${LAUNCHER} ${PREFIX}/bin/velkano-replay ${trace})
    message(STATUS "velkano-replay: ${last_output}")
endif()
