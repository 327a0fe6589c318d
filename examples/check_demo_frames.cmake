# Runs the demo into a fresh directory and checks what it wrote: exit status 0, one printed
# path per frame and then the contact sheet's, exactly FRAMES frame PNG files, each with a
# PNG signature, no two frames alike (so a demo writing blank or repeated images, or a
# camera that stands still, fails), and a contact sheet that is a PNG larger than a frame
# both ways (so it holds more than one).
# Inputs: -DDEMO=<executable> -DOUT_DIR=<directory> -DFRAMES=<count>
foreach(var DEMO OUT_DIR FRAMES)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_demo_frames.cmake needs -D${var}=...")
    endif()
endforeach()

# Fails unless `png` starts with the PNG signature; sets `<prefix>_width` and
# `<prefix>_height` from its header.
function(read_png_size png prefix)
    file(READ "${png}" signature LIMIT 8 HEX)
    if(NOT signature STREQUAL "89504e470d0a1a0a")
        message(FATAL_ERROR "${png} is not a PNG file (starts with ${signature})")
    endif()
    file(READ "${png}" width LIMIT 4 OFFSET 16 HEX)
    file(READ "${png}" height LIMIT 4 OFFSET 20 HEX)
    math(EXPR width "0x${width}")
    math(EXPR height "0x${height}")
    set(${prefix}_width ${width} PARENT_SCOPE)
    set(${prefix}_height ${height} PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${OUT_DIR}")
execute_process(COMMAND "${DEMO}" "${OUT_DIR}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "demo failed (${rc}):\n${err}")
endif()

string(STRIP "${out}" out)
string(REPLACE "\n" ";" printed "${out}")
list(LENGTH printed printedCount)
math(EXPR expectedCount "${FRAMES} + 1")
if(NOT printedCount EQUAL expectedCount)
    message(FATAL_ERROR "demo printed ${printedCount} paths, expected ${expectedCount}:\n${out}")
endif()
foreach(path IN LISTS printed)
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "demo printed ${path} but no such file exists")
    endif()
endforeach()

file(GLOB frames "${OUT_DIR}/frame_*.png")
list(LENGTH frames frameCount)
if(NOT frameCount EQUAL FRAMES)
    message(FATAL_ERROR "found ${frameCount} frame files in ${OUT_DIR}, expected ${FRAMES}")
endif()

set(hashes "")
foreach(png IN LISTS frames)
    read_png_size("${png}" frame)
    file(SHA256 "${png}" hash)
    list(FIND hashes "${hash}" earlier)
    if(NOT earlier EQUAL -1)
        list(GET frames ${earlier} twin)
        message(FATAL_ERROR "${png} is identical to ${twin}")
    endif()
    list(APPEND hashes "${hash}")
endforeach()

set(sheet "${OUT_DIR}/contact_sheet.png")
list(GET printed -1 lastPrinted)
if(NOT lastPrinted STREQUAL sheet)
    message(FATAL_ERROR "demo's last printed path is ${lastPrinted}, expected the contact sheet ${sheet}")
endif()
read_png_size("${sheet}" sheet)
if(NOT sheet_width GREATER frame_width OR NOT sheet_height GREATER frame_height)
    message(FATAL_ERROR "contact sheet is ${sheet_width} x ${sheet_height}, "
                        "not larger than a ${frame_width} x ${frame_height} frame")
endif()
message(STATUS "${FRAMES} distinct PNG frames and a ${sheet_width} x ${sheet_height} contact sheet in ${OUT_DIR}")
