#include "sdl_target.h"

#include "scene.h"

namespace velkano::bench {

SdlTarget::SdlTarget(const std::vector<uint8_t>& indices, const std::vector<uint32_t>& palette, uint32_t tint) {
    surface_ = SDL_CreateRGBSurfaceWithFormat(0, kImageWidth, kImageHeight, 32, SDL_PIXELFORMAT_ARGB8888);
    if (surface_ == nullptr || surface_->pitch != kImagePitch) return;
    renderer_ = SDL_CreateSoftwareRenderer(surface_);
    if (renderer_ == nullptr) return;
    SDL_Texture* texture =
        SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, kTextureSize, kTextureSize);
    if (texture == nullptr) return;
    std::vector<uint32_t> texels(indices.size());
    for (size_t i = 0; i < texels.size(); ++i) texels[i] = argbTexel(palette[indices[i]]);
    if (SDL_UpdateTexture(texture, nullptr, texels.data(), kTextureSize * 4) != 0 ||
        SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest) != 0 ||
        SDL_SetTextureColorMod(texture, tint >> 16 & 0xFF, tint >> 8 & 0xFF, tint & 0xFF) != 0 ||
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE) != 0) {
        SDL_DestroyTexture(texture);
        return;
    }
    texture_ = texture;
}

SdlTarget::~SdlTarget() {
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
    if (surface_ != nullptr) SDL_FreeSurface(surface_);
}

}  // namespace velkano::bench
