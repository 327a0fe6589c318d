// span_compositor_sse2.cpp: the span kernels of modes 0 to 4, plain and lit, four pixels a
// step, then two, then one, with the packed lane operations; Displace stays scalar.
#include <emmintrin.h>

#include "pixel/channel_ops.h"
#include "pixel/channel_ops_sse2.h"
#include "raster/span_compositor.h"

namespace velkano::sse2 {
namespace {

template <CompositeMode Mode>
__m128i combine(__m128i source, __m128i destination) {
    if constexpr (Mode == CompositeMode::Replace) {
        return source;
    } else if constexpr (Mode == CompositeMode::AddSat) {
        return channelAddSatSse2(source, destination);
    } else if constexpr (Mode == CompositeMode::Modulate2x) {
        const __m128i m = channelModulateSse2(source, destination);
        return channelAddSatSse2(m, m);
    } else {
        static_assert(Mode == CompositeMode::Multiply2x);
        const __m128i m = channelMultiplySse2(source, destination);
        return channelAddSatSse2(m, m);
    }
}

// The source of four pixels: the source as it is, or for a lit kernel the texel lit by the
// light at the same place (mode 3, or 4 for a multiply-lit kernel), which the caller writes back.
template <bool Lit, CompositeMode Light>
__m128i sourceOf(__m128i source, __m128i light) {
    if constexpr (Lit) return combine<Light>(light, source);
    return source;
}

// Four pixels a step. A span of four or more ends with its last four pixels, worked out
// from the values they held before the span, so the overlap with the last whole step gets
// the same results; shorter spans take two pixels and then one.
template <CompositeMode Mode, bool Lit, CompositeMode Light>
void spanRowSse2(uint8_t* destination, uint8_t* lit, const uint8_t* source, const uint8_t* light, int32_t count) {
    const auto load = [](const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const auto store = [](uint8_t* at, __m128i value) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value); };
    const auto load2 = [](const uint8_t* at) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)); };
    const auto store2 = [](uint8_t* at, __m128i value) { _mm_storel_epi64(reinterpret_cast<__m128i*>(at), value); };
    const auto load1 = [](const uint8_t* at) { return _mm_cvtsi32_si128(static_cast<int32_t>(loadWord(at))); };
    const auto store1 = [](uint8_t* at, __m128i value) {
        storeWord(at, static_cast<uint32_t>(_mm_cvtsi128_si32(value)));
    };
    // Light is read only by lit kernels.
    const auto lightAt = [&](auto loader, size_t at) { return Lit ? loader(light + at) : _mm_setzero_si128(); };
    if (count >= 4) {
        const size_t lastAt = 4 * static_cast<size_t>(count - 4);
        const __m128i lastSource = sourceOf<Lit, Light>(load(source + lastAt), lightAt(load, lastAt));
        const __m128i last = combine<Mode>(lastSource, load(destination + lastAt));
        for (size_t at = 0; at < lastAt; at += 16) {
            const __m128i s = sourceOf<Lit, Light>(load(source + at), lightAt(load, at));
            if constexpr (Lit) store(lit + at, s);
            store(destination + at, combine<Mode>(s, load(destination + at)));
        }
        if constexpr (Lit) store(lit + lastAt, lastSource);
        store(destination + lastAt, last);
        return;
    }
    size_t at = 0;
    if (count >= 2) {
        const __m128i s = sourceOf<Lit, Light>(load2(source), lightAt(load2, 0));
        if constexpr (Lit) store2(lit, s);
        store2(destination, combine<Mode>(s, load2(destination)));
        count -= 2, at = 8;
    }
    if (count == 1) {
        const __m128i s = sourceOf<Lit, Light>(load1(source + at), lightAt(load1, at));
        if constexpr (Lit) store1(lit + at, s);
        store1(destination + at, combine<Mode>(s, load1(destination + at)));
    }
}

template <CompositeMode Mode, bool Lit, CompositeMode Light>
struct SpansSse2 {
    static void run(const SpanImages& images, const SpanWalk& walk) {
        forEachSpanRow<Lit>(images, walk, [](auto... row) { spanRowSse2<Mode, Lit, Light>(row...); });
    }
};

}  // namespace

constexpr SpanKernels spanKernelsSse2 = spanKernelsOf<SpansSse2, CompositeMode::Replace, CompositeMode::AddSat,
                                                      CompositeMode::Modulate2x, CompositeMode::Multiply2x>();

}  // namespace velkano::sse2
