// sdl_target.h: SDL2's software renderer drawing into an ARGB8888 surface laid out as the
// 640 x 480 image of scene.h, with one texture: the peer of DRAWTILE and DRAWTRI.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

namespace velkano::bench {

class SdlTarget {
public:
    // The texture holds the texels of the banded texture through `palette` (alpha 255), is
    // drawn nearest-texel as Velkano draws, tinted by `tint` (0x00RRGGBB) and without
    // blending until told otherwise.
    SdlTarget(const std::vector<uint8_t>& indices, const std::vector<uint32_t>& palette, uint32_t tint = 0x00FFFFFFu);
    ~SdlTarget();
    SdlTarget(const SdlTarget&) = delete;
    SdlTarget& operator=(const SdlTarget&) = delete;

    // Everything was had, and the surface has the image's pitch; SDL_GetError() says why not.
    bool ready() const { return texture_ != nullptr; }
    SDL_Renderer* renderer() const { return renderer_; }
    SDL_Texture* texture() const { return texture_; }
    uint8_t* pixels() const { return static_cast<uint8_t*>(surface_->pixels); }

private:
    SDL_Surface* surface_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
};

}  // namespace velkano::bench
