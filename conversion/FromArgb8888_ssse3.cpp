#include "conversion/FromArgb8888.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"
#include "conversion/Sse2.h"

#include <tmmintrin.h>

// The routines from ARGB8888 with SSSE3: byte reorders and 24-bit packs by its byte shuffle,
// narrowing by its byte multiply-add.

using namespace conversion;
using Vector = Sse2Vector;

namespace {

template <int K> void reorderBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    const __m128i control = loadControl(reorderControls[K]);
    for (; c.n >= 8; c.n -= 8, c.s += 32, c.d += 32) {
        const __m128i p0 = load128(c.s), p1 = load128(c.s + 16);
        store128(c.d, _mm_shuffle_epi8(p0, control));
        store128(c.d + 16, _mm_shuffle_epi8(p1, control));
    }
}

// 16 pixels to 48 bytes: four 12-byte groups joined into three stores.
template <int K> void packBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    const __m128i control = loadControl(packControls[K]);
    for (; c.n >= 16; c.n -= 16, c.s += 64, c.d += 48) {
        const __m128i a = _mm_shuffle_epi8(load128(c.s), control);
        const __m128i b = _mm_shuffle_epi8(load128(c.s + 16), control);
        const __m128i e = _mm_shuffle_epi8(load128(c.s + 32), control);
        const __m128i f = _mm_shuffle_epi8(load128(c.s + 48), control);
        store128(c.d, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        store128(c.d + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(e, 8)));
        store128(c.d + 32, _mm_or_si128(_mm_srli_si128(e, 8), _mm_slli_si128(f, 4)));
    }
}

// 4 pixels to their results shifted left by the weighting's shift, one per 32-bit lane.
template <int K> inline __m128i weigh(__m128i p) {
    constexpr Weights w = weightings[K];
    const __m128i masked = _mm_and_si128(p, _mm_set1_epi32(int32_t(w.mask)));
    return _mm_madd_epi16(_mm_maddubs_epi16(masked, _mm_set1_epi32(byteWeights(w))),
                          _mm_set1_epi32(wordWeights(w)));
}

// 16 pixels a step. Shifted results are at most 0xFFFF (16-bit) or 255 (8-bit): the packs are
// exact once the 16-bit results are sign-extended for the signed pack.
template <int K> void narrowBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    constexpr int shift = weightings[K].shift;
    for (; c.n >= 16; c.n -= 16, c.s += 64) {
        const __m128i a = _mm_srli_epi32(weigh<K>(load128(c.s)), shift);
        const __m128i b = _mm_srli_epi32(weigh<K>(load128(c.s + 16)), shift);
        const __m128i e = _mm_srli_epi32(weigh<K>(load128(c.s + 32)), shift);
        const __m128i f = _mm_srli_epi32(weigh<K>(load128(c.s + 48)), shift);
        if constexpr (K == TO_GREY8 || K == TO_RGB332) {
            store128(c.d, _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(e, f)));
            c.d += 16;
        } else {
            const auto pack = [](__m128i x, __m128i y) {
                return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(x, 16), 16),
                                       _mm_srai_epi32(_mm_slli_epi32(y, 16), 16));
            };
            store128(c.d, pack(a, b));
            store128(c.d + 16, pack(e, f));
            c.d += 32;
        }
    }
}

} // namespace

PTC_BLOCKS_THEN(argb8888_rgb565_ssse3, narrowBlocks<TO_RGB565>, argb8888_rgb565, 2)
PTC_BLOCKS_THEN(argb8888_bgr565_ssse3, narrowBlocks<TO_BGR565>, argb8888_bgr565, 2)
PTC_BLOCKS_THEN(argb8888_argb1555_ssse3, narrowBlocks<TO_ARGB1555>, argb8888_argb1555, 2)
PTC_BLOCKS_THEN(argb8888_abgr1555_ssse3, narrowBlocks<TO_ABGR1555>, argb8888_abgr1555, 2)
PTC_BLOCKS_THEN(argb8888_grey8_ssse3, narrowBlocks<TO_GREY8>, argb8888_grey8, 1)
PTC_BLOCKS_THEN(argb8888_rgb332_ssse3, narrowBlocks<TO_RGB332>, argb8888_rgb332, 1)
PTC_BLOCKS_THEN(argb8888_abgr8888_ssse3, reorderBlocks<TO_ABGR8888>, argb8888_abgr8888, 4)
PTC_BLOCKS_THEN(argb8888_rgba8888_ssse3, reorderBlocks<TO_RGBA8888>, argb8888_rgba8888, 4)
PTC_BLOCKS_THEN(argb8888_bgra8888_ssse3, reorderBlocks<TO_BGRA8888>, argb8888_bgra8888, 4)
PTC_BLOCKS_THEN(argb8888_rgb888_ssse3, packBlocks<TO_RGB888>, argb8888_rgb888, 3)
PTC_BLOCKS_THEN(argb8888_bgr888_ssse3, packBlocks<TO_BGR888>, argb8888_bgr888, 3)
