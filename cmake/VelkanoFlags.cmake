# Compiler settings every target of the project shares.
#
# Floating point is IEEE double everywhere: SSE2 arithmetic on i686 as on x86-64, no
# contraction into fused multiply-adds, never fast-math, so the native library and the DLL
# give the same pixels bit for bit.
#
# No automatic vectorisation: GCC 12's x86-64 vectoriser drops the rounding of
# static_cast<double>(static_cast<float>(x)) when it packs two such values into one register
# (even at -O2), so binary32 weights came out in double precision. The kernels that want
# packed arithmetic say so with intrinsics.
function(velkano_target_flags target)
    target_compile_options(${target} PRIVATE
        -ffp-contract=off -fno-fast-math -fno-tree-vectorize
        $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic>
        $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra>)
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" OR CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_compile_options(${target} PRIVATE -msse2 -mfpmath=sse)
    endif()
    if(VELKANO_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all
                                                 -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
    if(VELKANO_FUZZ)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)  # coverage for libFuzzer
    endif()
endfunction()

# Kernel files take their instruction set from their name: *_avx2.cpp is built for AVX2
# (and runs only where the processor has it); everything else keeps the SSE2 baseline.
function(velkano_kernel_flags target)
    get_target_property(sources ${target} SOURCES)
    foreach(source IN LISTS sources)
        if(source MATCHES "_avx2\\.cpp$")
            set_property(SOURCE ${source} APPEND PROPERTY COMPILE_OPTIONS -mavx2)
            # The shared helpers open velkano::avx2 as an inline namespace in these files
            # (pixel/instruction_set.h); the kernels reopen it by its plain name on purpose.
            if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
                set_property(SOURCE ${source} APPEND PROPERTY COMPILE_OPTIONS -Wno-inline-namespace-reopened-noninline)
            endif()
        endif()
    endforeach()
endfunction()

# A test program cross-built for Windows: no runtime DLL beside it, and placed in bin/ where
# the native ctest runs it under Wine.
function(velkano_win32_program target)
    target_link_options(${target} PRIVATE -static)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
endfunction()
