# --state, --image-at, --texture-at, --lightmap-at and --layers on inspect.vktrace, whose calls
# are (inspect_host.c): 0 INIT, 1 SETTEXTURE, 2 BEGINUPDATE, 3 FLASHSUB, 4-6 tiles A, B, C,
# 7 ENDUPDATE, 8 BEGINUPDATE, 9 tile C, 10 SETLIGHTMAP, 11 DRAWPERSPTRI, 12 DRAWTRI,
# 13 FLASHADD, 14 ENDUPDATE, 15 BEGINUPDATE, 16 DRAWTRI, 17 ENDUPDATE, 18 UNLOAD.
# The expected values come from the scene and from --png's frame files.
include(${COMMON})
if(NOT DEFINED PNG_PROBE)
    message(FATAL_ERROR "the check needs -DPNG_PROBE=...")
endif()

macro(probe out)
    execute_process(COMMAND ${PNG_PROBE} ${ARGN} RESULT_VARIABLE probe_status OUTPUT_VARIABLE ${out}
        ERROR_VARIABLE probe_err OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT probe_status EQUAL 0)
        fail("velkano_png_probe ${ARGN}: ${probe_status} ${${out}} ${probe_err}")
    endif()
endmacro()
# probe_size(<out> FILE): "W H".  probe_pixel(<out> FILE X,Y): "rrggbb".
macro(probe_size out file)
    probe(${out} "${file}")
endmacro()
macro(probe_pixel out file at)
    probe(${out} "${file}" ${at})
    string(REGEX REPLACE "^[^\n]*\n" "" ${out} "${${out}}")
endmacro()

# expect_json(<json> <wanted> <path...>): the value at the path.
macro(expect_json json wanted)
    string(JSON got ERROR_VARIABLE json_error GET "${${json}}" ${ARGN})
    if(json_error OR NOT "${got}" STREQUAL "${wanted}")
        fail("--json ${ARGN}: \"${got}\" ${json_error}, wanted \"${wanted}\"")
    endif()
endmacro()

function(expect_out prefix regex)
    if(NOT "${${prefix}_out}" MATCHES "${regex}")
        fail("stdout does not match \"${regex}\"")
    endif()
endfunction()

# ---- --state ---------------------------------------------------------------------------------
# Before tile B (call 5): the texture of call 1, 8 x 8, mode 0, first drawn from by tile A;
# no frame ended yet; no lightmap; the layers exist.
replay(s5 --state 5 --json "${INSPECT_TRACE}")
expect_status(s5 0)
expect_json(s5_out 5 call index)
expect_json(s5_out DRAWTILE@44 call entry)
expect_json(s5_out 64 target width)
expect_json(s5_out 48 target height)
expect_json(s5_out 264 target pitch)
expect_json(s5_out 0 target initCall)
expect_json(s5_out 1 texture setTextureCall)
expect_json(s5_out 8 texture width)
expect_json(s5_out 8 texture height)
expect_json(s5_out 0 texture blendMode value)
expect_json(s5_out replace texture blendMode tiles)
expect_json(s5_out 64 texture texels bytes)
expect_json(s5_out 4 texture texels firstRecordedBy)
expect_json(s5_out 1024 texture palette bytes)
expect_json(s5_out 0 frameCounter)
expect_json(s5_out "" lightmap)
expect_json(s5_out ON layers present)
string(JSON texels_hash GET "${s5_out}" texture texels hash)

replay(t5 --state 5 "${INSPECT_TRACE}")
expect_status(t5 0)
expect_out(t5 "state before call 5 \\(frame 0\\): DRAWTILE@44 x=")
expect_out(t5 "texture:  SETTEXTURE call 1: 0x[0-9a-f]+, 8 x 8, palette 0x[0-9a-f]+, blend mode 0 \\(replace\\)")
expect_out(t5 "texels #${texels_hash}, 64 B, first recorded by call 4")
expect_out(t5 "frame counter: 0 ")

# After the first frame: the counter is 1, and tile C of call 9 read the same texels.
replay(s9 --state 9 --json "${INSPECT_TRACE}")
expect_json(s9_out 1 frameCounter)
expect_json(s9_out 1 texture setTextureCall)
expect_json(s9_out ${texels_hash} texture texels hash)
expect_json(s9_out 4 texture texels firstRecordedBy)
# Before SETLIGHTMAP (call 10) none is bound; after it, 4 x 4 with nothing recorded until the
# perspective triangle (call 11) reads it.
replay(s10 --state 10 --json "${INSPECT_TRACE}")
expect_json(s10_out "" lightmap)
replay(s11 --state 11 --json "${INSPECT_TRACE}")
expect_json(s11_out 10 lightmap setLightmapCall)
expect_json(s11_out 4 lightmap width)
expect_json(s11_out 4 lightmap height)
expect_json(s11_out "" lightmap words)
expect_json(s11_out 9 texture texels latestRecordedBy)
replay(s12 --state 12 --json "${INSPECT_TRACE}")
expect_json(s12_out 64 lightmap words bytes)
expect_json(s12_out 11 lightmap words firstRecordedBy)
string(JSON lightmap_hash GET "${s12_out}" lightmap words hash)
# Before the first call nothing is in force; UNLOAD (call 18) comes after three frames.
replay(s0 --state 0 --json "${INSPECT_TRACE}")
expect_json(s0_out "" target)
expect_json(s0_out "" texture)
expect_json(s0_out OFF layers present)
replay(s18 --state 18 --json "${INSPECT_TRACE}")
expect_json(s18_out 3 frameCounter)
expect_json(s18_out ON layers present)
expect_json(s18_out UNLOAD@0 call entry)
replay(beyond --state 19 "${INSPECT_TRACE}")
expect_status(beyond 2)
if(NOT beyond_err MATCHES "--state 19: beyond the trace: .* holds 19 calls \\(0 to 18\\)")
    fail("no message naming the trace's 19 calls")
endif()

# ---- --image-at --------------------------------------------------------------------------------
# After each frame's last call the image is that frame's --png file.
replay(png --png "${WORK_DIR}/frames" "${INSPECT_TRACE}")
expect_status(png 0)
foreach(pair 7:00000 14:00001 17:00002)
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 call)
    list(GET pair 1 frame)
    replay(at --image-at ${call} "${WORK_DIR}/at${call}.png" "${INSPECT_TRACE}")
    expect_status(at 0)
    expect_out(at "at${call}.png: the target after frame [0-9]+ call ${call} \\([A-Z]+@0\\), 64 x 48")
    probe(same --same "${WORK_DIR}/at${call}.png" "${WORK_DIR}/frames/frame_${frame}.png")
endforeach()

# After tile A (call 4): its colour at (12, 12), the white texel times the tint 0x00C01010
# channel by channel, (c * t) >> 8; black still at (30, 30).
math(EXPR tile_a "((255 * 0xC0) >> 8 << 16) | ((255 * 0x10) >> 8 << 8) | ((255 * 0x10) >> 8)"
    OUTPUT_FORMAT HEXADECIMAL)
string(SUBSTRING "${tile_a}" 2 -1 tile_a)
replay(a4 --image-at 4 "${WORK_DIR}/a4.png" "${INSPECT_TRACE}")
expect_status(a4 0)
probe_pixel(pixel "${WORK_DIR}/a4.png" 12,12)
if(NOT pixel STREQUAL tile_a)
    fail("(12, 12) after call 4 is ${pixel}, wanted tile A's ${tile_a}")
endif()
probe_pixel(pixel "${WORK_DIR}/a4.png" 30,30)
if(NOT pixel STREQUAL "000000")
    fail("(30, 30) after call 4 is ${pixel}, wanted black")
endif()

# ---- --texture-at and --lightmap-at, with --image-at, in one run ----------------------------------
replay(three --image-at 7 "${WORK_DIR}/three.png" --texture-at 4 "${WORK_DIR}/texture.png"
    --lightmap-at 12 "${WORK_DIR}/lightmap.png" "${INSPECT_TRACE}")
expect_status(three 0)
expect_out(three "three.png: the target after frame 0 call 7 ")
expect_out(three "texture.png: the texture at frame 0 call 4 \\(DRAWTILE@44\\), bound by SETTEXTURE call 1, 8 x 8")
expect_out(three "lightmap.png: the lightmap at frame 1 call 12 \\(DRAWTRI@12\\), bound by SETLIGHTMAP call 10, 4 x 4")
# Every texel is index 1, palette[1] white.
probe_size(info "${WORK_DIR}/texture.png")
probe(texels --dump "${WORK_DIR}/texture.png")
string(REPEAT "ffffff;" 64 white)
if(NOT info STREQUAL "8 8" OR NOT "${texels};" STREQUAL "${white}")
    fail("the texture is ${info}: ${texels}, wanted 8 x 8 white")
endif()
# The host's lightmap: word i is 0x00404040 + i * 0x00030201.
set(words)
foreach(i RANGE 15)
    math(EXPR word "0x404040 + ${i} * 0x030201" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${word}" 2 -1 word)
    list(APPEND words "${word}")
endforeach()
probe_size(info "${WORK_DIR}/lightmap.png")
probe(lightmap --dump "${WORK_DIR}/lightmap.png")
if(NOT info STREQUAL "4 4" OR NOT lightmap STREQUAL "${words}")
    fail("the lightmap is ${info}: ${lightmap}, wanted 4 x 4: ${words}")
endif()
# Its pixels are the content --state named.
probe(hash --hash "${WORK_DIR}/lightmap.png")
if(NOT hash STREQUAL lightmap_hash)
    fail("the lightmap's words hash to ${hash}; --state 12 named ${lightmap_hash}")
endif()
# Before any draw read the texture, its content is not in the trace.
replay(early --texture-at 1 "${WORK_DIR}/early.png" "${INSPECT_TRACE}")
expect_status(early 2)
if(NOT early_err MATCHES "--texture-at 1: the texture bound by SETTEXTURE call 1: nothing recorded yet")
    fail("no message saying nothing was recorded yet")
endif()
if(EXISTS "${WORK_DIR}/early.png")
    fail("early.png written without content")
endif()

# ---- --layers ----------------------------------------------------------------------------------
# The built-in replay gives the default library's image; after the perspective triangle the
# light layer holds light.
replay(layers --image-at 11 "${WORK_DIR}/l11.png" --layers "${INSPECT_TRACE}")
expect_status(layers 0)
expect_out(layers "library code built into this tool")
# The layers' files are named as OUT.png was given, in both builds alike.
foreach(layer texture-layer light-layer)
    string(FIND "${layers_out}" "\n${WORK_DIR}/l11-${layer}.png: the library's " at)
    if(at EQUAL -1)
        fail("the ${layer}'s line does not name ${WORK_DIR}/l11-${layer}.png")
    endif()
endforeach()
replay(plain --image-at 11 "${WORK_DIR}/p11.png" "${INSPECT_TRACE}")
expect_status(plain 0)
probe(same --same "${WORK_DIR}/l11.png" "${WORK_DIR}/p11.png")
foreach(layer texture-layer light-layer)
    if(NOT EXISTS "${WORK_DIR}/l11-${layer}.png")
        fail("no l11-${layer}.png")
    endif()
    probe_size(info "${WORK_DIR}/l11-${layer}.png")
    if(NOT info STREQUAL "64 48")
        fail("l11-${layer}.png is ${info}, wanted the target's 64 48")
    endif()
endforeach()
probe(light --dump "${WORK_DIR}/l11-light-layer.png")
string(REPLACE "000000" "" light "${light}")
string(REPLACE ";" "" light "${light}")
if(light STREQUAL "")
    fail("the light layer is all zero after the perspective triangle")
endif()
# Every call of the trace, built-in against the default library: the last image.
replay(layers --image-at 17 "${WORK_DIR}/l17.png" --layers "${INSPECT_TRACE}")
expect_status(layers 0)
replay(plain --image-at 17 "${WORK_DIR}/p17.png" "${INSPECT_TRACE}")
expect_status(plain 0)
probe(same --same "${WORK_DIR}/l17.png" "${WORK_DIR}/p17.png")

# ---- --zoom on a large image ----------------------------------------------------------------------
# 4096 x 4096 pixels drawn 16 times larger are 3 * 2^32 bytes of RGB: too many for a PNG file (and
# for a 32-bit size), said and nothing written.
replay(zoomed --image-at 2 "${WORK_DIR}/zoomed.png" --zoom 16 "${LARGE_IMAGE_TRACE}")
expect_status(zoomed 2)
string(FIND "${zoomed_err}"
    "velkano-replay: cannot write ${WORK_DIR}/zoomed.png: 4096 x 4096 pixels drawn 16 times larger are too many for a PNG file\n"
    at)
if(at EQUAL -1 OR EXISTS "${WORK_DIR}/zoomed.png")
    fail("--zoom 16 on a 4096 x 4096 image")
endif()
