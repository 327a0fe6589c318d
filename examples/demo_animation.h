// demo_animation.h: the demo's animation, frame by frame, drawn through a table of entry
// points: a walk down a lit brick corridor in perspective (DRAWPERSPTRI with lightmaps,
// demo_room.cpp), a spinning crate with lit corners (DRAWTRI), the heat shimmer in front of
// a furnace (DRAWTRI, displacement), lamp glows, a shadow and a HUD (DRAWTILE), then
// whole-image effects (FLASHMOD, FLASHADD, FLASHSUB: fade in, a hit, a brownout, fade out).
#pragma once

#include "demo_api.h"
#include "demo_room.h"
#include "demo_scene.h"

namespace demo {

// Everything's textures but the corridor's, made once.
struct Textures {
    IndexedTexture crate, shimmer, panel;
    IndexedTexture pip;     // lit from the top left; drawn with mode 1, so index 0 shows what is behind
    IndexedTexture glow;    // bright in the middle, fading out; added with mode 2
    IndexedTexture shadow;  // modulated with mode 3: entry 128 keeps the floor, the inner disc darkens it
    Textures();
};

class Animation {
public:
    explicit Animation(const DemoApi& api) : api_(api) {}
    static int frameCount();
    // Draws frame `frame` (0 to frameCount() - 1; any other number draws nothing) into
    // `image`, which INIT has bound: BEGINUPDATE, the scene, the frame's whole-image effect,
    // ENDUPDATE. The demo draws the frames in order once; its pictures are those of that order,
    // since the library's scratch layers carry a few edge pixels from one call to the next.
    void drawFrame(int frame, Image& image);

private:
    DemoApi api_;
    Room room_;
    Textures textures_;
};

}  // namespace demo
