// span_compositor_avx2.cpp: the span kernels of modes 0 to 4, plain and lit, eight pixels a
// step with the lane operations of channel_ops_avx2.h; Displace stays scalar. A span
// of eight or more ends with its last eight pixels, worked out from the values they held
// before the span; a shorter one takes four, two and one (masked stores measured slower on
// the short spans of small triangles).
#include <immintrin.h>

#include <cstring>

#include "pixel/channel_ops_avx2.h"
#include "raster/span_compositor.h"

namespace velkano::avx2 {
namespace {

template <CompositeMode Mode>
__m256i combine(__m256i source, __m256i destination) {
    if constexpr (Mode == CompositeMode::Replace) {
        return source;
    } else if constexpr (Mode == CompositeMode::AddSat) {
        return channelAddSatAvx2(source, destination);
    } else if constexpr (Mode == CompositeMode::Modulate2x) {
        const __m256i m = channelModulateAvx2(source, destination);
        return channelAddSatAvx2(m, m);
    } else {
        static_assert(Mode == CompositeMode::Multiply2x);
        const __m256i m = channelMultiplyAvx2(source, destination);
        return channelAddSatAvx2(m, m);
    }
}

// The source of eight pixels: the source as it is, or for a lit kernel the texel lit by the
// light at the same place (mode 3, or 4 for a multiply-lit kernel), which the caller writes
// back.
template <bool Lit, CompositeMode Light>
__m256i sourceOf(__m256i source, __m256i light) {
    if constexpr (Lit) return combine<Light>(light, source);
    return source;
}

template <CompositeMode Mode, bool Lit, CompositeMode Light>
void spanRowAvx2(uint8_t* destination, uint8_t* lit, const uint8_t* source, const uint8_t* light, int32_t count) {
    const auto load = [](const uint8_t* at) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)); };
    const auto store = [](uint8_t* at, __m256i value) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), value); };
    if (count >= 8) {
        const auto lightAt = [&](size_t at) { return Lit ? load(light + at) : _mm256_setzero_si256(); };
        const size_t lastAt = 4 * static_cast<size_t>(count - 8);
        const __m256i lastSource = sourceOf<Lit, Light>(load(source + lastAt), lightAt(lastAt));
        const __m256i last = combine<Mode>(lastSource, load(destination + lastAt));
        for (size_t at = 0; at < lastAt; at += 32) {
            const __m256i s = sourceOf<Lit, Light>(load(source + at), lightAt(at));
            if constexpr (Lit) store(lit + at, s);
            store(destination + at, combine<Mode>(s, load(destination + at)));
        }
        if constexpr (Lit) store(lit + lastAt, lastSource);
        store(destination + lastAt, last);
        return;
    }
    // Fewer than eight pixels: 128-bit steps (the lane operations above on the low half). Four
    // at 0 and four at count - 4, both worked out before either is stored; or two, then one.
    const auto narrow = [](auto load) {
        return [load](const uint8_t* at) { return _mm256_castsi128_si256(load(at)); };
    };
    struct Step {
        __m256i source, result;
    };
    const auto step = [&](auto load, size_t at) {
        const auto wide = narrow(load);
        const __m256i s = sourceOf<Lit, Light>(wide(source + at), Lit ? wide(light + at) : _mm256_setzero_si256());
        return Step{s, combine<Mode>(s, wide(destination + at))};
    };
    const auto put = [&](auto store, size_t at, const Step& done) {
        if constexpr (Lit) store(lit + at, _mm256_castsi256_si128(done.source));
        store(destination + at, _mm256_castsi256_si128(done.result));
    };
    const auto load4 = [](const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const auto store4 = [](uint8_t* at, __m128i value) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value); };
    const auto load2 = [](const uint8_t* at) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)); };
    const auto store2 = [](uint8_t* at, __m128i value) { _mm_storel_epi64(reinterpret_cast<__m128i*>(at), value); };
    const auto load1 = [](const uint8_t* at) {
        int32_t word;
        std::memcpy(&word, at, sizeof word);
        return _mm_cvtsi32_si128(word);
    };
    const auto store1 = [](uint8_t* at, __m128i value) {
        const int32_t word = _mm_cvtsi128_si32(value);
        std::memcpy(at, &word, sizeof word);
    };
    if (count >= 4) {
        const size_t lastAt = 4 * static_cast<size_t>(count - 4);
        const Step first = step(load4, 0), last = step(load4, lastAt);
        put(store4, 0, first);
        put(store4, lastAt, last);
        return;
    }
    size_t at = 0;
    if (count >= 2) {
        put(store2, 0, step(load2, 0));
        count -= 2, at = 8;
    }
    if (count == 1) put(store1, at, step(load1, at));
}

template <CompositeMode Mode, bool Lit, CompositeMode Light>
struct SpansAvx2 {
    static void run(const SpanImages& images, const SpanWalk& walk) {
        forEachSpanRow<Lit>(images, walk, [](auto... row) { spanRowAvx2<Mode, Lit, Light>(row...); });
    }
};

}  // namespace

constexpr SpanKernels spanKernelsAvx2 = spanKernelsOf<SpansAvx2, CompositeMode::Replace, CompositeMode::AddSat,
                                                      CompositeMode::Modulate2x, CompositeMode::Multiply2x>();

}  // namespace velkano::avx2
