# Generates a C++ source that holds the files of a folder as byte arrays, with a table of them
# behind findWebAsset() (tools/replay/web_assets.h): each file's name, its content type (by its
# extension) and its bytes. Run at build time:
#   cmake -DINPUT_DIR=<folder> -DOUTPUT=<file.cpp> -P embed-files.cmake
foreach(var INPUT_DIR OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "embed-files.cmake needs -D${var}=...")
    endif()
endforeach()

file(GLOB files LIST_DIRECTORIES false RELATIVE "${INPUT_DIR}" "${INPUT_DIR}/*")
list(SORT files)
set(arrays "")
set(table "")
set(index 0)
foreach(name IN LISTS files)
    if(name MATCHES "^\\.")
        continue()  # .gitignore and editors' files
    endif()
    if(NOT name MATCHES "^[A-Za-z0-9._-]+$")
        message(FATAL_ERROR "${INPUT_DIR}/${name}: a served file's name has letters, digits, '.', '_' and '-' only")
    endif()
    string(REGEX MATCH "\\.[^.]*$" extension "${name}")
    string(TOLOWER "${extension}" extension)
    if(extension STREQUAL ".html")
        set(type "text/html; charset=utf-8")
    elseif(extension STREQUAL ".js")
        set(type "text/javascript; charset=utf-8")
    elseif(extension STREQUAL ".css")
        set(type "text/css; charset=utf-8")
    elseif(extension STREQUAL ".png")
        set(type "image/png")
    elseif(extension STREQUAL ".svg")
        set(type "image/svg+xml")
    elseif(extension STREQUAL ".json")
        set(type "application/json")
    else()
        message(FATAL_ERROR "${INPUT_DIR}/${name}: no content type for \"${extension}\" files "
                            "(.html, .js, .css, .png, .svg, .json)")
    endif()
    file(READ "${INPUT_DIR}/${name}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    # 0x.., sixteen bytes a line; a last zero byte keeps an empty file's array legal.
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REPEAT "0x..," 16 line)
    string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
    string(APPEND arrays "const unsigned char kFile${index}[] = {\n    ${bytes}0x00};\n")
    string(APPEND table "    {\"${name}\", \"${type}\", kFile${index}, ${size}},\n")
    math(EXPR index "${index} + 1")
endforeach()
if(index EQUAL 0)
    message(FATAL_ERROR "${INPUT_DIR} holds no file to serve")
endif()

set(source "// Generated from ${INPUT_DIR} by cmake/embed-files.cmake: do not edit.
#include \"web_assets.h\"

namespace velkano::replay {
namespace {

${arrays}
const WebAsset kAssets[] = {
${table}};

}  // namespace

const WebAsset* findWebAsset(std::string_view name) {
    for (const WebAsset& asset : kAssets)
        if (asset.name == name) return &asset;
    return nullptr;
}

}  // namespace velkano::replay
")
file(WRITE "${OUTPUT}" "${source}")
