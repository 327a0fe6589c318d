# Checks that built libraries keep instructions beyond SSE2 inside the code built for more: the
# functions of the namespaces in ABOVE (separated by spaces). A shared inline helper or template
# that an AVX2 file compiles is a weak symbol, and the linker may keep that AVX2 copy for every
# caller, so a processor without AVX would fault in code meant to run everywhere. Fails naming
# each function outside ABOVE that holds such an instruction, its binary and the first one.
#
#   cmake "-DBINARIES=<libvelkano.so;...>" [-DOBJDUMP=objdump] ["-DABOVE=velkano::avx2 ..."]
#         -P check_isa.cmake
#
# Every function of a binary is checked, the C++ runtime and the MinGW start-up code that
# Velkano.dll links statically as well: none of them holds such an instruction today (the
# processor checks of libgcc use cpuid and xgetbv only), so nothing needs sparing, and a copy
# the linker kept from our objects is checked under whatever name it carries.
cmake_minimum_required(VERSION 3.20)
if(NOT BINARIES)
    message(FATAL_ERROR "usage: cmake \"-DBINARIES=<library>;...\" [-DOBJDUMP=...] [-DABOVE=...] "
                        "-P check_isa.cmake")
endif()
if(NOT OBJDUMP)
    set(OBJDUMP objdump)
endif()
if(NOT DEFINED ABOVE)
    set(ABOVE velkano::avx2)
endif()
find_program(awk NAMES awk REQUIRED)

set(report "")
foreach(binary IN LISTS BINARIES)
    get_filename_component(name "${binary}" NAME)
    if(NOT EXISTS "${binary}")
        message(FATAL_ERROR "${binary} does not exist")
    endif()
    string(RANDOM LENGTH 8 tag)
    set(disassembly "${CMAKE_CURRENT_BINARY_DIR}/isa_seal_${name}_${tag}.txt")
    execute_process(COMMAND ${OBJDUMP} -d -C -M intel --no-show-raw-insn "${binary}"
                    OUTPUT_FILE "${disassembly}" RESULT_VARIABLE result ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
        file(REMOVE "${disassembly}")
        message(FATAL_ERROR "${OBJDUMP} -d ${binary} failed: ${error}")
    endif()
    file(STRINGS "${disassembly}" functions REGEX "^[0-9a-f]+ <.*>:$")
    list(LENGTH functions function_count)
    execute_process(COMMAND ${awk} -v "above=${ABOVE}" -f "${CMAKE_CURRENT_LIST_DIR}/isa_seal.awk"
                            "${disassembly}"
                    OUTPUT_VARIABLE offenders RESULT_VARIABLE result ERROR_VARIABLE error)
    file(REMOVE "${disassembly}")
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "awk failed on ${binary}: ${error}")
    endif()
    # Without symbols the whole code would be one unnamed block.
    if(function_count LESS 10)
        message(FATAL_ERROR "${binary}: ${function_count} functions named; is it stripped?")
    endif()
    # Indented lines keep CMake from rewrapping the long names.
    string(REGEX REPLACE "([^\n]*)\t([^\n]*)\n" "  ${binary}: \\1\n      first: \\2\n" offenders "${offenders}")
    string(APPEND report "${offenders}")
    message(STATUS "${binary}: ${function_count} functions checked")
endforeach()

if(report)
    message(FATAL_ERROR "functions outside ${ABOVE} use instructions beyond SSE2, where a "
                        "processor without them would fault:\n${report}")
endif()
