// long_trace_host.cpp: the demo's animation drawn PASSES times over (default 1) into one image,
// through the library it links. Run with the capture library preloaded it records a long
// trace, for measuring velkano-replay --serve on a million calls (scripts/measure-serve.sh):
//   VELKANO_TRACE=long.vktrace LD_PRELOAD=build/libvelkano_capture.so velkano_long_trace_host 200
#include <cstdlib>

#include "demo_animation.h"

int main(int argc, char** argv) {
    const int passes = argc > 1 ? std::atoi(argv[1]) : 1;
    const demo::DemoApi api = {VELKANO_ENTRY_POINTS(VELKANO_ENTRY_LINKED)};
    demo::Image image;
    api.init(image.words.data(), demo::kWidth, demo::kHeight, demo::kPitch);
    demo::Animation animation(api);
    for (int pass = 0; pass < passes; ++pass)
        for (int frame = 0; frame < demo::Animation::frameCount(); ++frame) animation.drawFrame(frame, image);
    api.unload();
    return 0;
}
