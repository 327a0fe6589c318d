// span_compositor_sse2.cpp: the span kernels of modes 0 to 4 four pixels a step, then two,
// then one, with the packed lane operations; mode 6 stays scalar.
#include <emmintrin.h>

#include "pixel/channel_ops.h"
#include "pixel/channel_ops_sse2.h"
#include "raster/span_compositor.h"

namespace velkano {
namespace {

template <int Mode>
__m128i combine(__m128i source, __m128i destination) {
    if constexpr (Mode == 0) {
        return source;
    } else if constexpr (Mode == 2) {
        return channelAddSatSse2(source, destination);
    } else if constexpr (Mode == 3) {
        const __m128i m = channelModulateSse2(source, destination);
        return channelAddSatSse2(m, m);
    } else {
        const __m128i m = channelMultiplySse2(source, destination);
        return channelAddSatSse2(m, m);
    }
}

// Four pixels a step. A span of four or more ends with its last four pixels, worked out
// from the values they held before the span, so the overlap with the last whole step gets
// the same results; shorter spans take two pixels and then one.
template <int Mode>
void spanRowSse2(uint8_t* destination, const uint8_t* source, int32_t count) {
    const auto load = [](const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const auto store = [](uint8_t* at, __m128i value) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value); };
    if (count >= 4) {
        const size_t lastAt = 4 * static_cast<size_t>(count - 4);
        const __m128i last = combine<Mode>(load(source + lastAt), load(destination + lastAt));
        for (size_t at = 0; at < lastAt; at += 16) store(destination + at, combine<Mode>(load(source + at), load(destination + at)));
        store(destination + lastAt, last);
        return;
    }
    if (count >= 2) {
        const __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(source));
        const __m128i d = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(destination));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(destination), combine<Mode>(s, d));
        count -= 2, destination += 8, source += 8;
    }
    if (count == 1) {
        const __m128i s = _mm_cvtsi32_si128(static_cast<int32_t>(loadWord(source)));
        const __m128i d = _mm_cvtsi32_si128(static_cast<int32_t>(loadWord(destination)));
        storeWord(destination, static_cast<uint32_t>(_mm_cvtsi128_si32(combine<Mode>(s, d))));
    }
}

template <int Mode>
void spanKernelSse2Mode(const SpanImages& images, const SpanWalk& walk) {
    forEachSpan(walk, images.width, [&](int32_t y, int32_t x, int32_t count) {
        const size_t offset = pixelOffset(images.pitch, x, y);
        spanRowSse2<Mode>(images.destination + offset, images.source + offset, count);
    });
}

}  // namespace

SpanKernel spanKernelSse2(BlendMode mode) {
    switch (mode) {
        case 0:
        case 1: return spanKernelSse2Mode<0>;
        case 2: return spanKernelSse2Mode<2>;
        case 3: return spanKernelSse2Mode<3>;
        case 4: return spanKernelSse2Mode<4>;
        default: return spanKernelScalar(mode);
    }
}

}  // namespace velkano
