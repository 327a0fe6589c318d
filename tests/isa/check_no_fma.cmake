# Checks that built ARM64 libraries hold no fused multiply-add: GCC contracts a*b+c into one by
# default on ARM64, which rounds once where the library's arithmetic rounds twice, and
# -ffp-contract=off is what keeps them out. Fails naming each function that holds one (fmadd,
# fmsub, fnmadd, fnmsub, or the vector fmla and fmls) with its binary and the first such instruction.
#
#   cmake "-DBINARIES=<libvelkano.so;...>" -DOBJDUMP=aarch64-linux-gnu-objdump -P check_no_fma.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT BINARIES OR NOT OBJDUMP)
    message(FATAL_ERROR "usage: cmake \"-DBINARIES=<library>;...\" -DOBJDUMP=... -P check_no_fma.cmake")
endif()
find_program(awk NAMES awk REQUIRED)

set(report "")
foreach(binary IN LISTS BINARIES)
    if(NOT EXISTS "${binary}")
        message(FATAL_ERROR "${binary} does not exist")
    endif()
    execute_process(COMMAND ${OBJDUMP} -d -C --no-show-raw-insn "${binary}"
                    COMMAND ${awk} "/^[0-9a-f]+ <.*>:$/ { name = $0; functions++ }
                                    /\\t(fmadd|fmsub|fnmadd|fnmsub|fmla|fmls)\\t/ && !(name in seen) {
                                        seen[name] = 1; print \"  \" name \"\\n      first: \" $0 }
                                    END { print functions > \"/dev/stderr\" }"
                    OUTPUT_VARIABLE offenders ERROR_VARIABLE function_count RESULTS_VARIABLE results)
    if(NOT results STREQUAL "0;0")
        message(FATAL_ERROR "${OBJDUMP} -d ${binary} | awk failed (${results}): ${function_count}")
    endif()
    string(STRIP "${function_count}" function_count)
    if(function_count LESS 10)  # without symbols the whole code would be one unnamed block
        message(FATAL_ERROR "${binary}: ${function_count} functions named; is it stripped?")
    endif()
    if(offenders)
        string(APPEND report "${binary}:\n${offenders}")
    endif()
    message(STATUS "${binary}: ${function_count} functions checked")
endforeach()

if(report)
    message(FATAL_ERROR "fused multiply-adds (was a file built without -ffp-contract=off?):\n${report}")
endif()
