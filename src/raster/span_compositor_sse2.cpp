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

template <int Mode>
void spanRowSse2Mode(const SpanImages& images, int32_t y, int32_t x, int32_t count) {
    const size_t offset = static_cast<size_t>(y) * images.pitch + 4 * static_cast<size_t>(x);
    uint8_t* destination = images.destination + offset;
    const uint8_t* source = images.source + offset;
    int32_t i = 0;
    for (; count - i >= 4; i += 4, destination += 16, source += 16) {
        auto* d = reinterpret_cast<__m128i*>(destination);
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        _mm_storeu_si128(d, combine<Mode>(s, Mode == 0 ? s : _mm_loadu_si128(d)));
    }
    if (count - i >= 2) {
        auto* d = reinterpret_cast<__m128i*>(destination);
        const __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(source));
        _mm_storel_epi64(d, combine<Mode>(s, Mode == 0 ? s : _mm_loadl_epi64(d)));
        i += 2, destination += 8, source += 8;
    }
    if (count - i == 1) {
        const __m128i s = _mm_cvtsi32_si128(static_cast<int32_t>(loadWord(source)));
        const __m128i d = _mm_cvtsi32_si128(static_cast<int32_t>(loadWord(destination)));
        storeWord(destination, static_cast<uint32_t>(_mm_cvtsi128_si32(combine<Mode>(s, d))));
    }
}

}  // namespace

SpanRowKernel spanRowKernelSse2(BlendMode mode) {
    switch (mode) {
        case 0:
        case 1: return spanRowSse2Mode<0>;
        case 2: return spanRowSse2Mode<2>;
        case 3: return spanRowSse2Mode<3>;
        case 4: return spanRowSse2Mode<4>;
        default: return spanRowKernelScalar(mode);
    }
}

}  // namespace velkano
