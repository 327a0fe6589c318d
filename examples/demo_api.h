// demo_api.h: the table of entry points the demo draws through. The demo fills it with the
// functions it links; a host that loads the library at run time fills it with the addresses
// it looks up (dlsym, or GetProcAddress on Windows), so the same drawing code runs on any
// build of the library.
#pragma once

#include "velkano.h"

#include <cstdint>

namespace demo {

struct DemoApi {
    void(VELKANO_CALL* init)(void* target, std::int32_t width, std::int32_t height, std::int32_t pitch);
    void(VELKANO_CALL* unload)();
    void(VELKANO_CALL* beginUpdate)();
    void(VELKANO_CALL* endUpdate)();
    void(VELKANO_CALL* pause)(std::int32_t milliseconds);
    void(VELKANO_CALL* flashAdd)(std::uint32_t colour);
    void(VELKANO_CALL* flashSub)(std::uint32_t colour);
    void(VELKANO_CALL* flashMod)(std::uint32_t colour);
    void(VELKANO_CALL* setTexture)(const std::uint8_t* indices, std::int32_t width, std::int32_t height,
                                   const std::uint32_t* palette, std::int32_t blendMode);
    void(VELKANO_CALL* setLightmap)(const std::uint32_t* lightmap, std::int32_t width, std::int32_t height);
    void(VELKANO_CALL* drawTile)(float x, float y, float w, float h, float uOffset, float vOffset, float uSpan,
                                 float vSpan, std::uint32_t ignored1, std::uint32_t ignored2, std::uint32_t tint);
    void(VELKANO_CALL* drawTri)(const float* positions, const float* texCoords, const std::uint32_t* colours);
    void(VELKANO_CALL* drawPerspTri)(const float* positions, const float* texCoords, const float* lightmapCoords,
                                     const float* depths);
};

}  // namespace demo
