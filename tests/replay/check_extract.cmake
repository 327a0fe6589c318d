# --extract: frames cut out of the two traces must replay on their own, every recorded hash
# matching, to the original's images (its --png frames, byte for byte), with the counts the
# original's own replay gives. Where the original's scratch layers hold leftovers at the first
# frame, the tool must say that the extract differs, and why, and an ordinary replay of the
# extract must find that difference too.
include(${COMMON})

# The calls of frames 0 to `last` as the ordinary replay counts them (0 for last = -1).
function(calls_through trace last out)
    set(${out} 0 PARENT_SCOPE)
    if(last LESS 0)
        return()
    endif()
    replay(count --frames 0-${last} ${trace})
    expect_status(count 0)
    if(NOT count_out MATCHES "velkano-replay: ([0-9]+) calls?, ")
        fail("no call count in the replay's summary")
    endif()
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()

# frame_00012.png for 12, as --png names frames.
function(png_name frame out)
    string(LENGTH "${frame}" digits)
    math(EXPR zeros "5 - ${digits}")
    string(REPEAT "0" ${zeros} padding)
    set(${out} frame_${padding}${frame}.png PARENT_SCOPE)
endfunction()

foreach(trace ROUND_TRIP INSPECT)
    replay(original --png ${WORK_DIR}/${trace}_png ${${trace}_TRACE})
    expect_status(original 0)
endforeach()
file(READ ${ROUND_TRIP_TRACE} round_trip_header LIMIT 32 HEX)
file(READ ${INSPECT_TRACE} inspect_header LIMIT 32 HEX)

# trace | first frame | last frame | state calls | outcome. The state calls come from the hosts:
# the round trip binds a texture and a lightmap every frame (INIT, SETTEXTURE, SETLIGHTMAP
# carry them); inspect_host.c binds its texture before frame 0 and its lightmap in frame 1.
# "exact" where the original's layers are zero at the first frame too: an INIT starts it
# (round trip 5 and 7), no triangle came before it (inspect 0 and 1), or none draws after the
# UNLOAD (round trip 12). Inspect frame 2's triangle meets frame 1's leftovers ("layers").
set(cases
    "ROUND_TRIP|5|5|3|exact"
    "ROUND_TRIP|7|9|3|exact"
    "ROUND_TRIP|12|12|3|exact"
    "INSPECT|0|1|0|exact"
    "INSPECT|1|1|2|exact"
    "INSPECT|2|2|3|layers")
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 trace)
    list(GET case 1 first)
    list(GET case 2 last)
    list(GET case 3 state_calls)
    list(GET case 4 outcome)
    set(out ${WORK_DIR}/${trace}_${first}-${last}.vktrace)
    math(EXPR frames "${last} - ${first} + 1")

    replay(extract --extract ${first}-${last} ${out} ${${trace}_TRACE})
    if(outcome STREQUAL "exact")
        expect_status(extract 0)
        if(NOT extract_out MATCHES "the extract replays to the same images \\(${frames} frames? compared[);]")
            fail("${trace} ${first}-${last}: no word that the extract replays the same")
        endif()
    else()
        expect_status(extract 1)
        if(NOT extract_out MATCHES "first after frame ${first} call [0-9]+ \\([A-Z]+@[0-9]+\\), the extract's call [0-9]+: [1-9][0-9]* pixels? differs?"
           OR NOT extract_out MATCHES "scratch layers make the difference.*gives exactly the extract's images")
            fail("${trace} ${first}-${last}: the difference and its reason are not named")
        endif()
        # The hint: the frame of the last INIT before; from there the layers start as the
        # original's (inspect_host.c draws no triangle before its one INIT).
        if(NOT extract_out MATCHES "An extract from frame ([0-9]+), " OR NOT CMAKE_MATCH_1 LESS first)
            fail("${trace} ${first}-${last}: no earlier frame to start from")
        endif()
        replay(hinted --extract ${CMAKE_MATCH_1}-${last} ${WORK_DIR}/hinted.vktrace ${${trace}_TRACE})
        expect_status(hinted 0)
    endif()
    # The tool's count of what it wrote: the frames asked for, the state calls the host left in
    # force, and every call of those frames (the ordinary replay's counts up to B, less up to A).
    if(NOT extract_out MATCHES "  ([0-9]+) frames?, ([0-9]+) calls? \\(([0-9]+) setting up the state")
        fail("${trace} ${first}-${last}: no counts printed")
    endif()
    set(written_frames ${CMAKE_MATCH_1})
    set(written_calls ${CMAKE_MATCH_2})
    set(written_state ${CMAKE_MATCH_3})
    calls_through(${${trace}_TRACE} ${last} through_last)
    math(EXPR before_first "${first} - 1")
    calls_through(${${trace}_TRACE} ${before_first} before)
    math(EXPR want_calls "${through_last} - ${before} + ${state_calls}")
    if(NOT written_frames EQUAL frames OR NOT written_state EQUAL state_calls OR NOT written_calls EQUAL want_calls)
        fail("${trace} ${first}-${last}: wrote ${written_frames} frames, ${written_calls} calls (${written_state} for the state); want ${frames}, ${want_calls} (${state_calls})")
    endif()
    file(READ ${out} header LIMIT 32 HEX)
    string(TOLOWER "${trace}_header" original_header)
    if(NOT header STREQUAL ${original_header})
        fail("${trace} ${first}-${last}: the header is not the original's")
    endif()

    # The extract on its own: the ordinary replay counts the same and checks every frame.
    replay(plain --png ${WORK_DIR}/${trace}_${first}-${last}_png ${out})
    if(NOT plain_out MATCHES "velkano-replay: ${want_calls} calls?, ${frames} frames?; ${frames} checks?, ")
        fail("${trace} ${first}-${last}: the replay of the extract counts otherwise")
    endif()
    set(differing 0)
    foreach(k RANGE 0 ${frames})
        if(k EQUAL frames)
            break()
        endif()
        math(EXPR frame "${first} + ${k}")
        png_name(${k} extract_png)
        png_name(${frame} original_png)
        execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/${trace}_${first}-${last}_png/${extract_png}
            ${WORK_DIR}/${trace}_png/${original_png} RESULT_VARIABLE png_differs)
        if(png_differs)
            math(EXPR differing "${differing} + 1")
            if(outcome STREQUAL "exact")
                fail("${trace} ${first}-${last}: frame ${frame} of the extract is not the original's")
            endif()
        endif()
    endforeach()
    if(outcome STREQUAL "exact")
        expect_status(plain 0)
    elseif(NOT plain_status EQUAL 1 OR differing EQUAL 0)
        fail("${trace} ${first}-${last}: the tool names a difference the ordinary replay does not see")
    endif()
endforeach()

# Frames past the trace's end: exit 2 with the frame count, nothing written. The round trip
# host makes 12 frames and one more after UNLOAD.
foreach(range 13 11-13 13-)
    replay(beyond --extract ${range} ${WORK_DIR}/beyond.vktrace ${ROUND_TRIP_TRACE})
    expect_status(beyond 2)
    if(NOT beyond_err MATCHES "--extract ${range}: .* holds 13 frames \\(0 to 12\\)" OR EXISTS ${WORK_DIR}/beyond.vktrace)
        fail("--extract ${range}: not refused with the frame count")
    endif()
endforeach()
