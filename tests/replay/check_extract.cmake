# --extract: frames cut out of three traces must replay on their own, every recorded hash
# matching, to the original's images (its --png frames, byte for byte), with the counts the
# original's own replay gives. Where the original's scratch layers hold leftovers at the first
# frame, the tool must say so and carry the triangles that left them; a trace whose host
# stopped early is cut too, with a warning.
include(${COMMON})

# The calls of frames 0 to `last` as the ordinary replay counts them (0 for last = -1), up to
# where the trace stops.
function(calls_through trace last out)
    set(${out} 0 PARENT_SCOPE)
    if(last LESS 0)
        return()
    endif()
    replay(count --frames 0-${last} ${trace})
    # A trace that stops without its end record: the count the replay gives where it stops.
    if(count_status EQUAL 2 AND count_err MATCHES "the trace ends after ([0-9]+) calls? ")
    elseif(NOT count_status EQUAL 0 OR NOT count_out MATCHES "velkano-replay: ([0-9]+) calls?, ")
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

# The triangle calls that filled the scratch layers before frame `first`: those after the last
# INIT before it, as --calls lists the frames before it; and that INIT's call number.
function(layer_history trace first out_count out_init)
    set(${out_count} 0 PARENT_SCOPE)
    set(${out_init} -1 PARENT_SCOPE)
    if(first EQUAL 0)
        return()
    endif()
    math(EXPR before "${first} - 1")
    replay(listing --calls --frames 0-${before} ${trace})
    expect_status(listing 0)
    string(REPLACE "\n" ";" lines "${listing_out}")
    set(count 0)
    set(init -1)
    foreach(line IN LISTS lines)
        if(line MATCHES "^frame [0-9]+ call ([0-9]+)  INIT@")
            set(init ${CMAKE_MATCH_1})
            set(count 0)
        elseif(line MATCHES "^frame [0-9]+ call [0-9]+  (DRAWTRI|DRAWPERSPTRI)@")
            math(EXPR count "${count} + 1")
        endif()
    endforeach()
    set(${out_count} ${count} PARENT_SCOPE)
    set(${out_init} ${init} PARENT_SCOPE)
endfunction()

foreach(trace ROUND_TRIP INSPECT EXTRACT)
    replay(original --png ${WORK_DIR}/${trace}_png ${${trace}_TRACE})
    expect_status(original 0)
    file(READ ${${trace}_TRACE} ${trace}_header LIMIT 32 HEX)
endforeach()

# The extract of frames A to B, checked on its own: the tool's counts against the original's
# replay (every call of those frames, plus `state_calls` setting up the state, or with -1 any
# number), its header, and its ordinary replay: every recorded hash matching and each --png
# frame equal to the original's `png_dir` frame A + k (and, with `final_frame`, its final.png
# to that frame of the original, the one it stopped in). Sets `extract_out`.
function(check_extract trace first last state_calls out original_png_dir final_frame)
    math(EXPR frames "${last} - ${first} + 1")
    if(NOT extract_out MATCHES "the extract replays to the same images \\(${frames} frames? compared[);]")
        fail("${trace} ${first}-${last}: no word that the extract replays the same")
    endif()
    # The last one written: a rewritten extract says so again.
    if(NOT extract_out MATCHES ".*  ([0-9]+) frames?(, [a-z ]+)?, ([0-9]+) calls? \\(([0-9]+) setting up the state")
        fail("${trace} ${first}-${last}: no counts printed")
    endif()
    set(written_frames ${CMAKE_MATCH_1})
    set(written_calls ${CMAKE_MATCH_3})
    set(written_state ${CMAKE_MATCH_4})
    calls_through(${${trace}_TRACE} ${last} through_last)
    math(EXPR before_first "${first} - 1")
    calls_through(${${trace}_TRACE} ${before_first} before)
    if(state_calls LESS 0)
        set(state_calls ${written_state})
    endif()
    math(EXPR want_calls "${through_last} - ${before} + ${state_calls}")
    if(NOT written_frames EQUAL frames OR NOT written_state EQUAL state_calls OR NOT written_calls EQUAL want_calls)
        fail("${trace} ${first}-${last}: wrote ${written_frames} frames, ${written_calls} calls (${written_state} for the state); want ${frames}, ${want_calls} (${state_calls})")
    endif()
    file(READ ${out} header LIMIT 32 HEX)
    if(NOT header STREQUAL ${trace}_header)
        fail("${trace} ${first}-${last}: the header is not the original's")
    endif()

    # The extract on its own: the ordinary replay counts the same and checks every finished frame.
    set(png_dir ${out}_png)
    replay(plain --png ${png_dir} ${out})
    expect_status(plain 0)
    set(finished ${frames})
    if(final_frame GREATER_EQUAL 0)
        math(EXPR finished "${frames} - 1")
    endif()
    if(NOT plain_out MATCHES "velkano-replay: ${want_calls} calls?, ${finished} frames?; ${finished} checks?, all match")
        fail("${trace} ${first}-${last}: the replay of the extract counts or checks otherwise")
    endif()
    foreach(k RANGE 0 ${finished})
        if(k EQUAL finished)
            break()
        endif()
        math(EXPR frame "${first} + ${k}")
        png_name(${k} extract_png)
        png_name(${frame} original_png)
        execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${png_dir}/${extract_png}
            ${original_png_dir}/${original_png} RESULT_VARIABLE png_differs)
        if(png_differs)
            fail("${trace} ${first}-${last}: frame ${frame} of the extract is not the original's")
        endif()
    endforeach()
    if(final_frame GREATER_EQUAL 0)
        png_name(${final_frame} original_png)
        execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${png_dir}/final.png
            ${original_png_dir}/${original_png} RESULT_VARIABLE png_differs)
        if(png_differs)
            fail("${trace} ${first}-${last}: the extract's last image is not the original's frame ${final_frame}")
        endif()
    endif()
endfunction()

# trace | first frame | last frame | state calls | layers. The state calls come from the hosts:
# the round trip binds a texture and a lightmap every frame (INIT, SETTEXTURE, SETLIGHTMAP
# carry them); inspect_host.c binds its texture before frame 0 and its lightmap in frame 1.
# "zero" where the original's layers are zero at the first frame too: an INIT starts it
# (round trip 5 and 7), no triangle came before it (inspect 0 and 1), or none draws after the
# UNLOAD (round trip 12); the extract is then the small one. "rebuilt" where triangles since
# the last INIT left something the first frame's triangles show (their edges step a pixel a
# frame in the round trip and extract_host.c; inspect frame 2's triangle meets frame 1's):
# the extract must say that the layers made the difference and carry those triangles, and
# still replay the same. extract_host.c keeps its texture inside its image and flashes the
# image before each triangle, so the image is put back before each of them.
set(cases
    "ROUND_TRIP|5|5|3|zero"
    "ROUND_TRIP|7|9|3|zero"
    "ROUND_TRIP|12|12|3|zero"
    "INSPECT|0|1|0|zero"
    "INSPECT|1|1|2|zero"
    "ROUND_TRIP|3|3|-1|rebuilt"
    "ROUND_TRIP|2|6|-1|rebuilt"
    "ROUND_TRIP|10|11|-1|rebuilt"
    "INSPECT|2|2|-1|rebuilt"
    "EXTRACT|3|4|-1|rebuilt")
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 trace)
    list(GET case 1 first)
    list(GET case 2 last)
    list(GET case 3 state_calls)
    list(GET case 4 layers)
    set(out ${WORK_DIR}/${trace}_${first}-${last}.vktrace)
    replay(extract --extract ${first}-${last} ${out} ${${trace}_TRACE})
    expect_status(extract 0)
    set(carries "it carries ([0-9]+) earlier triangle calls? since the INIT at call ([0-9]+) to rebuild the library's scratch layers( \\(the original's image put back before ([0-9]+) triangles? reading a binding inside it\\))?, then restores the image")
    if(layers STREQUAL "zero")
        if(extract_out MATCHES "scratch layers|wrote again")
            fail("${trace} ${first}-${last}: the layers named where they are zero in the original too")
        endif()
    else()
        layer_history(${${trace}_TRACE} ${first} triangles init)
        if(NOT extract_out MATCHES "differs from the original.*scratch layers make the difference.*wrote again ${out}: .*${carries}")
            fail("${trace} ${first}-${last}: no word that the layers made the difference and the extract was rewritten")
        endif()
        if(NOT CMAKE_MATCH_1 EQUAL triangles OR NOT CMAKE_MATCH_2 EQUAL init)
            fail("${trace} ${first}-${last}: ${CMAKE_MATCH_1} triangles since call ${CMAKE_MATCH_2}; --calls lists ${triangles} since the INIT at call ${init}")
        endif()
        set(puts 0)
        if(trace STREQUAL "EXTRACT")
            set(puts ${first})
        endif()
        if(NOT "0${CMAKE_MATCH_4}" EQUAL puts)
            fail("${trace} ${first}-${last}: the image put back before '${CMAKE_MATCH_4}' triangles, want ${puts}")
        endif()
    endif()
    check_extract(${trace} ${first} ${last} ${state_calls} ${out} ${WORK_DIR}/${trace}_png -1)
endforeach()

# A host that stopped early: the round trip cut where frame 11's ENDUPDATE was to be written,
# and right after frame 10's (--calls --json gives where each call's record starts). What is
# there is cut, with a warning; the extract's last image is the original's frame 11 (its
# ENDUPDATE changes nothing), and the original's frame 11 needs the layers rebuilt.
replay(listing --calls --json ${ROUND_TRIP_TRACE})
expect_status(listing 0)
foreach(cut 84 90)
    if(NOT listing_out MATCHES "\"index\": ${cut},[ \n]*\"frame\": [0-9]+,[ \n]*\"offset\": ([0-9]+)")
        fail("no offset for call ${cut} in --calls --json")
    endif()
    set(cut_trace ${WORK_DIR}/cut_${cut}.vktrace)
    execute_process(COMMAND head -c ${CMAKE_MATCH_1} ${ROUND_TRIP_TRACE} OUTPUT_FILE ${cut_trace} RESULT_VARIABLE cut_status)
    if(cut_status)
        fail("cannot cut the trace")
    endif()
    replay(cut ${cut_trace})
    if(NOT cut_status EQUAL 2 OR NOT cut_err MATCHES "without its end record")
        fail("the cut trace replays as a whole one")
    endif()
    set(ROUND_TRIP_CUT_TRACE ${cut_trace})
    set(ROUND_TRIP_CUT_header ${ROUND_TRIP_header})
    set(out ${WORK_DIR}/cut_${cut}_extract.vktrace)
    replay(extract --extract 10- ${out} ${cut_trace})
    expect_status(extract 0)
    if(NOT extract_err MATCHES "warning: .*cut_${cut}.vktrace stops without its end record after ${cut} calls")
        fail("cut at call ${cut}: no warning that the original stops early")
    endif()
    if(cut EQUAL 84)
        check_extract(ROUND_TRIP_CUT 10 10 -1 ${out} ${WORK_DIR}/ROUND_TRIP_png -1)
    else()
        if(NOT extract_out MATCHES "2 frames, the last unfinished")
            fail("cut at call ${cut}: the unfinished frame is not counted")
        endif()
        check_extract(ROUND_TRIP_CUT 10 11 -1 ${out} ${WORK_DIR}/ROUND_TRIP_png 11)
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
