# Compiler settings every target of the project shares.
#
# Floating point is IEEE double everywhere: SSE2 arithmetic on i686 as on x86-64, no
# contraction into fused multiply-adds, never fast-math, so the native library and the DLL
# give the same pixels bit for bit.
function(velkano_target_flags target)
    target_compile_options(${target} PRIVATE
        -ffp-contract=off -fno-fast-math
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
endfunction()
