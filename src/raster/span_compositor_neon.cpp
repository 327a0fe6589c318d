// span_compositor_neon.cpp: the span kernels of modes 0 to 4, plain and lit, four pixels a
// step, then two, then one, with the lane operations of channel_ops_neon.h; Displace stays
// scalar.
#include <arm_neon.h>

#include "pixel/channel_ops_neon.h"
#include "raster/span_compositor.h"

namespace velkano::neon {
namespace {

template <CompositeMode Mode>
uint8x16_t combine(uint8x16_t source, uint8x16_t destination) {
    if constexpr (Mode == CompositeMode::Replace) {
        return source;
    } else if constexpr (Mode == CompositeMode::AddSat) {
        return channelAddSatNeon(source, destination);
    } else if constexpr (Mode == CompositeMode::Modulate2x) {
        const uint8x16_t m = channelModulateNeon(source, destination);
        return channelAddSatNeon(m, m);
    } else {
        static_assert(Mode == CompositeMode::Multiply2x);
        const uint8x16_t m = channelMultiplyNeon(source, destination);
        return channelAddSatNeon(m, m);
    }
}

// The source of four pixels: the source as it is, or for a lit kernel the texel lit by the
// light at the same place (mode 3, or 4 for a multiply-lit kernel), which the caller writes back.
template <bool Lit, CompositeMode Light>
uint8x16_t sourceOf(uint8x16_t source, uint8x16_t light) {
    if constexpr (Lit) return combine<Light>(light, source);
    return source;
}

// Four pixels a step. A span of four or more ends with its last four pixels, worked out
// from the values they held before the span, so the overlap with the last whole step gets
// the same results; shorter spans take two pixels and then one.
template <CompositeMode Mode, bool Lit, CompositeMode Light>
void spanRowNeon(uint8_t* destination, uint8_t* lit, const uint8_t* source, const uint8_t* light, int32_t count) {
    // One step of `load`'s width at byte `at`: the source (written back by a lit kernel) and the
    // result, worked out before `put` stores either. Light is read only by lit kernels.
    struct Step {
        uint8x16_t source, result;
    };
    const auto step = [&](auto load, size_t at) {
        const uint8x16_t s = sourceOf<Lit, Light>(load(source + at), Lit ? load(light + at) : vdupq_n_u8(0));
        return Step{s, combine<Mode>(s, load(destination + at))};
    };
    const auto put = [&](auto store, size_t at, const Step& done) {
        if constexpr (Lit) store(lit + at, done.source);
        store(destination + at, done.result);
    };
    const auto load4 = [](const uint8_t* at) { return vld1q_u8(at); };
    const auto store4 = [](uint8_t* at, uint8x16_t value) { vst1q_u8(at, value); };
    if (count >= 4) {
        const size_t lastAt = 4 * static_cast<size_t>(count - 4);
        const Step last = step(load4, lastAt);
        for (size_t at = 0; at < lastAt; at += 16) put(store4, at, step(load4, at));
        put(store4, lastAt, last);
        return;
    }
    size_t at = 0;
    if (count >= 2) {
        put(storeTwoPixelsNeon, 0, step(loadTwoPixelsNeon, 0));
        count -= 2, at = 8;
    }
    if (count == 1) put(storePixelNeon, at, step(loadPixelNeon, at));
}

template <CompositeMode Mode, bool Lit, CompositeMode Light>
struct SpansNeon {
    static void run(const SpanImages& images, const SpanWalk& walk) {
        forEachSpanRow<Lit>(images, walk, [](auto... row) { spanRowNeon<Mode, Lit, Light>(row...); });
    }
};

}  // namespace

constexpr SpanKernels spanKernelsNeon = spanKernelsOf<SpansNeon, CompositeMode::Replace, CompositeMode::AddSat,
                                                      CompositeMode::Modulate2x, CompositeMode::Multiply2x>();

}  // namespace velkano::neon
