# --calls, --info and --diff-traces on inspect.vktrace, whose calls are known from
# inspect_host.c's scene:
#   call 0 INIT, 1 SETTEXTURE, 2 BEGINUPDATE, 3 FLASHSUB, 4-6 tiles A, B, C, 7 ENDUPDATE,
#   8 BEGINUPDATE, 9 tile C, 10 SETLIGHTMAP, 11 DRAWPERSPTRI, 12 DRAWTRI, 13 FLASHADD,
#   14 ENDUPDATE, 15 BEGINUPDATE, (the host's image), 16 DRAWTRI, 17 ENDUPDATE, 18 UNLOAD.
# Extra variables: INSPECT_HOST and CAPTURE_LIBRARY, to record the host again with tile B moved.
cmake_minimum_required(VERSION 3.20)  # string(JSON), and quoted words compared as words
include(${COMMON})

# The call numbers a listing shows, in order.
function(listed_calls listing out)
    string(REGEX MATCHALL "frame [0-9]+ call [0-9]+  " found "${listing}")
    string(REGEX REPLACE "frame [0-9]+ call ([0-9]+)  " "\\1" found "${found}")
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

# ---- --calls: each line's decoded arguments and what the call changed ----------------------
replay(calls --calls ${INSPECT_TRACE})
expect_status(calls 0)
set(hash "#[0-9a-f]+")
set(tile_tail "uOffset=0 vOffset=0 uSpan=8 vSpan=8 ignored1=0x00000000 ignored2=0x00000000")
set(tile_reads "texture=8x8 ${hash} 64 B palette=${hash} 1024 B")
# A tile from x to x + w covers w + 1 columns; every pixel it covers was black or another tint.
set(expected_lines
    "frame 0 call 0  INIT@16 target=0x[0-9a-f]+ ${hash} 12672 B width=64 height=48 pitch=264\n"
    "frame 0 call 1  SETTEXTURE@20 indices=0x[0-9a-f]+ width=8 height=8 palette=0x[0-9a-f]+ blendMode=0 \\(replace\\)\n"
    "frame 0 call 3  FLASHSUB@4 colour=0x00ffffff \\(XXRRGGBB\\)  changed nothing\n"
    "frame 0 call 4  DRAWTILE@44 x=4 y=4 w=15 h=15 ${tile_tail} tint=0x00c01010 \\(XXRRGGBB\\) ${tile_reads}  changed 256 px in x 4-19, y 4-19\n"
    "frame 0 call 5  DRAWTILE@44 x=10 y=10 w=15 h=15 ${tile_tail} tint=0x0010c010 \\(XXRRGGBB\\) ${tile_reads}  changed 256 px in x 10-25, y 10-25\n"
    "frame 0 call 6  DRAWTILE@44 x=12 y=2 w=4 h=30 ${tile_tail} tint=0x001010c0 \\(XXRRGGBB\\) ${tile_reads}  changed 155 px in x 12-16, y 2-32\n"
    "frame 0 call 7  ENDUPDATE@0 frameHash=${hash}\n"
    "frame 1 call 9  DRAWTILE@44 x=12 y=2 w=4 h=30 [^\n]*  changed nothing\n"
    "frame 1 call 10  SETLIGHTMAP@12 lightmap=0x[0-9a-f]+ width=4 height=4\n"
    "frame 1 call 11  DRAWPERSPTRI@16 positions=0x[0-9a-f]+ \\(30, 4\\) \\(60, 20\\) \\(34, 44\\) texCoords=0x[0-9a-f]+ \\(0, 0\\) \\(7.5, 1\\) \\(2, 7\\) lightmapCoords=0x[0-9a-f]+ \\(0.5, 0.5\\) \\(3, 1\\) \\(1, 3.5\\) depths=0x[0-9a-f]+ 1 2 3 ${tile_reads} lightmap=4x4 ${hash} 64 B  changed [1-9]"
    "frame 1 call 12  DRAWTRI@12 positions=0x[0-9a-f]+ \\(30, 4\\) \\(60, 20\\) \\(34, 44\\) texCoords=0x[0-9a-f]+ \\(0, 0\\) \\(7.5, 1\\) \\(2, 7\\) colours=0x[0-9a-f]+ 0x00808080 0x004080c0 0x00c08040 \\(XXBBGGRR\\) ${tile_reads}  changed [1-9]"
    "frame 1 call 13  FLASHADD@4 colour=0x00101010 \\(XXRRGGBB\\)  changed 3072 px in x 0-63, y 0-47\n"
    "frame 2 image ${hash} 12672 B  after call 15  the host changed 100 px in x 40-49, y 30-39\n"
    "frame 3 call 18  UNLOAD@0\nend  19 calls, 3 frames\n")
foreach(line IN LISTS expected_lines)
    if(NOT calls_out MATCHES "${line}")
        fail("--calls: no line matches\n  ${line}")
    endif()
endforeach()
listed_calls("${calls_out}" all)
if(NOT all STREQUAL "0;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18")
    fail("--calls lists calls ${all}")
endif()

# ---- the filters --------------------------------------------------------------------------
# Each: the arguments, the calls listed, and whether the host's image shows: it lies between
# calls 15 and 16, and shows with call 16.
set(filters
    "--only|DRAWTILE,flashsub" "3|4|5|6|9" NO
    "--call-range|4-6" "4|5|6" NO
    "--call-range|15-16" "15|16" YES
    "--frames|1|--only|DRAWTILE@44" "9" NO
    "--frames|2-|--call-range|16-" "16|17|18" YES
    "--call-range|14-15" "14|15" NO
    "--frames|2" "15|16|17" YES)
list(LENGTH filters count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET filters ${i} arguments)
    list(GET filters ${j} wanted)
    list(GET filters ${k} image)
    string(REPLACE "|" ";" arguments "${arguments}")
    string(REPLACE "|" ";" wanted "${wanted}")
    replay(filtered --calls ${arguments} ${INSPECT_TRACE})
    expect_status(filtered 0)
    listed_calls("${filtered_out}" shown)
    if(NOT shown STREQUAL wanted)
        fail("--calls ${arguments}: calls ${shown}, wanted ${wanted}")
    endif()
    string(FIND "${filtered_out}" " image " at)
    if((image AND at EQUAL -1) OR (NOT image AND NOT at EQUAL -1))
        fail("--calls ${arguments}: the host's image line shown: ${at}, wanted ${image}")
    endif()
endforeach()

# In exact mode an image hash follows every flash and draw: it is the image that call left, so
# it shows with that call (tile A, call 4), not with the next.
set(exact ${WORK_DIR}/exact.vktrace)
execute_process(COMMAND ${CMAKE_COMMAND} -E env VELKANO_TRACE=${exact} VELKANO_TRACE_EXACT=1 LD_PRELOAD=${CAPTURE_LIBRARY}
    ASAN_OPTIONS=$ENV{ASAN_OPTIONS}:verify_asan_link_order=0 ${INSPECT_HOST} RESULT_VARIABLE recorded)
if(NOT recorded EQUAL 0 OR NOT EXISTS ${exact})
    message(FATAL_ERROR "recording the host in exact mode: ${recorded}")
endif()
replay(exact --calls --call-range 4 ${exact})
expect_status(exact 0)
if(NOT exact_out MATCHES "^frame 0 call 4  DRAWTILE@44 [^\n]*\nframe 0 imageHash ${hash}  after call 4\n$")
    fail("--calls --call-range 4 in exact mode: call 4 and the image hash after it")
endif()

# ---- --calls --json: the same facts ---------------------------------------------------------
replay(json --calls --json ${INSPECT_TRACE})
expect_status(json 0)
string(JSON count ERROR_VARIABLE error LENGTH "${json_out}" calls)
if(error OR NOT count EQUAL 19)
    fail("--calls --json: ${count} calls ${error}")
endif()
# Every call's change agrees with its text line; the draws and flashes have one, the others none.
foreach(i RANGE 18)
    string(JSON index GET "${json_out}" calls ${i} index)
    string(JSON entry GET "${json_out}" calls ${i} entry)
    string(JSON changed TYPE "${json_out}" calls ${i} changed)
    if(NOT index EQUAL i)
        fail("--calls --json: entry ${i} is call ${index}")
    endif()
    if(NOT calls_out MATCHES "call ${i}  ${entry}[^\n]*\n")
        fail("--calls --json: call ${i} is ${entry}, not in the text")
    endif()
    set(line "${CMAKE_MATCH_0}")
    if(changed STREQUAL "NULL")
        if(line MATCHES "  changed")
            fail("--calls --json: call ${i} has no change, the text has: ${line}")
        endif()
        continue()
    endif()
    string(JSON pixels GET "${json_out}" calls ${i} changed pixels)
    if(pixels EQUAL 0)
        set(text "  changed nothing\n")
    else()
        string(JSON box GET "${json_out}" calls ${i} changed box)
        string(JSON x0 GET "${box}" 0)
        string(JSON y0 GET "${box}" 1)
        string(JSON x1 GET "${box}" 2)
        string(JSON y1 GET "${box}" 3)
        set(text "  changed ${pixels} px in x ${x0}-${x1}, y ${y0}-${y1}\n")
    endif()
    string(FIND "${line}" "${text}" at)
    if(at EQUAL -1)
        fail("--calls --json: call ${i} changed '${text}', the text says ${line}")
    endif()
endforeach()
# Decoded values: tile A's floats and tint, the triangle's texture coordinates and colours.
string(JSON x GET "${json_out}" calls 4 args x)
string(JSON w GET "${json_out}" calls 4 args w)
string(JSON tint GET "${json_out}" calls 4 args tint word)
string(JSON order GET "${json_out}" calls 4 args tint order)
string(JSON u GET "${json_out}" calls 12 reads texCoords value 1 0)
string(JSON colour GET "${json_out}" calls 12 reads colours value 2)
string(JSON colour_order GET "${json_out}" calls 12 reads colours order)
string(JSON texture_width GET "${json_out}" calls 4 reads texture width)
string(JSON mode GET "${json_out}" calls 1 args blendMode tiles)
if(NOT x EQUAL 4 OR NOT w EQUAL 15 OR NOT tint STREQUAL "0x00c01010" OR NOT order STREQUAL "XXRRGGBB" OR
   NOT u STREQUAL "7.5" OR NOT colour STREQUAL "0x00c08040" OR NOT colour_order STREQUAL "XXBBGGRR" OR
   NOT texture_width EQUAL 8 OR NOT mode STREQUAL "replace")
    fail("--calls --json: decoded x=${x} w=${w} tint=${tint} ${order} u=${u} colour=${colour} ${colour_order} "
         "texture width ${texture_width} blend mode ${mode}")
endif()
string(JSON image_pixels GET "${json_out}" images 0 changed pixels)
string(JSON image_after GET "${json_out}" images 0 afterCall)
string(JSON end_calls GET "${json_out}" end calls)
if(NOT image_pixels EQUAL 100 OR NOT image_after EQUAL 15 OR NOT end_calls EQUAL 19)
    fail("--calls --json: the host's image changed ${image_pixels} after call ${image_after}; end ${end_calls}")
endif()

# A library that cannot be loaded is an error.
replay(no_library --calls --library ${WORK_DIR}/missing-library ${INSPECT_TRACE})
expect_status(no_library 2)

# ---- --info: the counts the host's calls give --------------------------------------------
replay(info --info ${INSPECT_TRACE})
expect_status(info 0)
file(SIZE ${INSPECT_TRACE} file_bytes)
# Distinct contents: the image at INIT and the host's image (66 * 4 * 48 bytes each), texture
# (64), palette (1024), lightmap (16 words), four 6-float arrays (the triangle, its texture and
# lightmap coordinates, the small triangle) and two 3-word ones (depths, colours).
math(EXPR content "2 * 66 * 4 * 48 + 64 + 1024 + 64 + 4 * 24 + 2 * 12")
set(expected_info
    "header         format 1, written by Velkano [0-9]+\\.[0-9]+\\.[0-9]+ on [a-z]+ with [48]-byte pointers, default mode\n"
    "file           ${file_bytes} bytes\n"
    "calls          19: 18 in 3 frames, then 1 in an unfinished frame\n"
    "  INIT@16          1\n  UNLOAD@0         1\n  BEGINUPDATE@0    3\n  ENDUPDATE@0      3\n  PAUSE@4          0\n"
    "  SETTEXTURE@20    1\n  SETLIGHTMAP@12   1\n  FLASHADD@4       1\n  FLASHSUB@4       1\n  FLASHMOD@4       0\n"
    "  DRAWTRI@12       2\n  DRAWPERSPTRI@16  1\n  DRAWTILE@44      4\n"
    "image records  1 image the host wrote, 0 image hashes\n"
    "blobs          11 distinct, ${content} bytes of content, [0-9]+ bytes in the file\n"
    "end record     present: 19 calls, 3 frames\n")
string(JOIN "" expected_info ${expected_info})
if(NOT info_out MATCHES "${expected_info}")
    fail("--info: wanted\n${expected_info}")
endif()
replay(info_json --info --json ${INSPECT_TRACE})
expect_status(info_json 0)
string(JSON calls GET "${info_json_out}" calls)
string(JSON frames GET "${info_json_out}" frames)
string(JSON tiles GET "${info_json_out}" perEntryPoint DRAWTILE@44)
string(JSON images GET "${info_json_out}" images)
string(JSON blobs GET "${info_json_out}" blobs count)
string(JSON blob_bytes GET "${info_json_out}" blobs contentBytes)
string(JSON size GET "${info_json_out}" fileBytes)
string(JSON mode GET "${info_json_out}" header mode)
if(NOT calls EQUAL 19 OR NOT frames EQUAL 3 OR NOT tiles EQUAL 4 OR NOT images EQUAL 1 OR NOT blobs EQUAL 11 OR
   NOT blob_bytes EQUAL content OR NOT size EQUAL file_bytes OR NOT mode STREQUAL "default")
    fail("--info --json: ${calls} calls, ${frames} frames, ${tiles} tiles, ${images} images, ${blobs} blobs "
         "of ${blob_bytes} bytes, ${size} bytes, ${mode} mode")
endif()
# The round trip's trace: --info counts what --calls lists.
replay(round_info --info ${ROUND_TRIP_TRACE})
replay(round_calls --calls ${ROUND_TRIP_TRACE})
expect_status(round_calls 0)
listed_calls("${round_calls_out}" round_listed)
list(LENGTH round_listed round_count)
string(REGEX MATCHALL "ENDUPDATE@0" round_frames "${round_calls_out}")
list(LENGTH round_frames round_frame_count)
if(NOT round_info_out MATCHES "calls          ${round_count} in ${round_frame_count} frames\n")
    fail("--info: the round trip's --calls lists ${round_count} calls in ${round_frame_count} frames")
endif()

# ---- --diff-traces ------------------------------------------------------------------------
replay(same --diff-traces ${INSPECT_TRACE} ${INSPECT_TRACE})
expect_status(same 0)
if(NOT same_out MATCHES "calls agree\nrecorded images agree \\(4\\)\n" OR NOT same_out MATCHES "the traces agree\n$")
    fail("--diff-traces of a trace with itself")
endif()
# Against the round trip's host: its first INIT binds another image.
replay(other --diff-traces ${INSPECT_TRACE} ${ROUND_TRIP_TRACE})
expect_status(other 1)
if(NOT other_out MATCHES "calls  A 19, 3 frames; B ${round_count}, ${round_frame_count} frames\n" OR
   NOT other_out MATCHES "first differing call: call 0\n  A  frame 0 call 0  INIT@16 [^\n]*width=64 height=48 pitch=264\n" OR
   NOT other_out MATCHES "\n  width: 64 \\| [0-9]+\n" OR NOT other_out MATCHES "the traces differ\n$")
    fail("--diff-traces against the round trip's trace")
endif()
# The host again with tile B half a pixel to the right: call 5's x alone differs, and so the
# image at frame 0's end (call 7), the first recorded image.
set(moved ${WORK_DIR}/moved.vktrace)
execute_process(COMMAND ${CMAKE_COMMAND} -E env VELKANO_TRACE=${moved} LD_PRELOAD=${CAPTURE_LIBRARY}
    ASAN_OPTIONS=$ENV{ASAN_OPTIONS}:verify_asan_link_order=0 ${INSPECT_HOST} 10.5 RESULT_VARIABLE recorded)
if(NOT recorded EQUAL 0 OR NOT EXISTS ${moved})
    message(FATAL_ERROR "recording the host with tile B moved: ${recorded}")
endif()
replay(moved --diff-traces ${INSPECT_TRACE} ${moved})
expect_status(moved 1)
if(NOT moved_out MATCHES "calls  A 19, 3 frames; B 19, 3 frames\nfirst differing call: call 5\n" OR
   NOT moved_out MATCHES "  A  frame 0 call 5  DRAWTILE@44 x=10 y=10 [^\n]*\n  B  frame 0 call 5  DRAWTILE@44 x=10.5 y=10 [^\n]*\n  x: 10 \\| 10.5\nfirst" OR
   NOT moved_out MATCHES "first differing recorded image: number 0\n  A  frame hash ${hash} in frame 0 at call 7\n  B  frame hash ${hash} in frame 0 at call 7\n")
    fail("--diff-traces with tile B moved")
endif()
replay(moved_json --diff-traces ${INSPECT_TRACE} ${moved} --json)
expect_status(moved_json 1)
string(JSON equal GET "${moved_json_out}" equal)
string(JSON index GET "${moved_json_out}" firstCall index)
string(JSON differences LENGTH "${moved_json_out}" firstCall differences)
string(JSON field GET "${moved_json_out}" firstCall differences 0 field)
string(JSON bx GET "${moved_json_out}" firstCall b args x)
string(JSON image_index GET "${moved_json_out}" firstImage index)
string(JSON image_call GET "${moved_json_out}" firstImage a afterCall)
if(equal OR NOT index EQUAL 5 OR NOT differences EQUAL 1 OR NOT field STREQUAL "x" OR NOT bx STREQUAL "10.5" OR
   NOT image_index EQUAL 0 OR NOT image_call EQUAL 7)
    fail("--diff-traces --json with tile B moved: equal ${equal}, call ${index}, ${differences} differences "
         "(${field}, B's x ${bx}), image ${image_index} at call ${image_call}")
endif()
# A second trace that cannot be read.
replay(unusable --diff-traces ${INSPECT_TRACE} ${WORK_DIR})
expect_status(unusable 2)
