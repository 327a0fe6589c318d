// web_assets.h: the files of tools/replay/web/ (the --serve page), built into the tool by
// cmake/embed-files.cmake, which generates the table behind findWebAsset().
#pragma once

#include <cstddef>
#include <string_view>

namespace velkano::replay {

struct WebAsset {
    std::string_view name;         // the file's name in web/: "index.html"
    std::string_view contentType;  // by its extension: "text/html; charset=utf-8", "image/png", ...
    const unsigned char* bytes;
    size_t size;
};

// The file called `name` (a plain file name, no folder), or null.
const WebAsset* findWebAsset(std::string_view name);

}  // namespace velkano::replay
