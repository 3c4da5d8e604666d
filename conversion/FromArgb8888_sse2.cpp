#include "conversion/FromArgb8888.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"
#include "conversion/Sse2.h"

// The routines from ARGB8888 with SSE2: whole blocks of pixels with vector loads and stores that
// stay inside the run, the rest pixel by pixel.

using namespace conversion;
using Vector = Sse2Vector;

namespace {

// 4 ARGB8888 pixels to their 16- or 8-bit results, one per 32-bit lane.
template <int K, int T> inline __m128i term(__m128i p) {
    constexpr ChannelTerm t = narrowings[K].terms[T];
    __m128i v;
    if constexpr (t.shift >= 0)
        v = _mm_srli_epi32(p, t.shift);
    else
        v = _mm_slli_epi32(p, -t.shift);
    if constexpr (maskMatters<uint32_t>(t)) v = _mm_and_si128(v, _mm_set1_epi32(int32_t(t.mask)));
    return v;
}
template <int K> inline __m128i narrow(__m128i p) {
    return _mm_add_epi32(_mm_add_epi32(term<K, 0>(p), term<K, 1>(p)), term<K, 2>(p));
}

// Signed saturation packs exactly once the 16-bit results are sign-extended.
inline __m128i pack16(__m128i a, __m128i b) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                           _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
}

template <int K> void narrowBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    for (; c.n >= 16; c.n -= 16, c.s += 64) {
        const __m128i p0 = narrow<K>(load128(c.s)), p1 = narrow<K>(load128(c.s + 16));
        const __m128i p2 = narrow<K>(load128(c.s + 32)), p3 = narrow<K>(load128(c.s + 48));
        if constexpr (K == TO_GREY8 || K == TO_RGB332) {
            // Lanes hold at most 253: both packs are exact.
            store128(c.d, _mm_packus_epi16(_mm_packs_epi32(p0, p1), _mm_packs_epi32(p2, p3)));
            c.d += 16;
        } else {
            store128(c.d, pack16(p0, p1));
            store128(c.d + 16, pack16(p2, p3));
            c.d += 32;
        }
    }
}

template <int K> inline __m128i reorder(__m128i p) {
    if constexpr (K == TO_ABGR8888) {
        const __m128i ag = _mm_and_si128(p, _mm_set1_epi32(int32_t(0xFF00FF00u)));
        const __m128i rb = _mm_and_si128(p, _mm_set1_epi32(0x00FF00FF));
        return _mm_or_si128(ag, _mm_or_si128(_mm_srli_epi32(rb, 16), _mm_slli_epi32(rb, 16)));
    }
    if constexpr (K == TO_RGBA8888)
        return _mm_or_si128(_mm_slli_epi32(p, 8), _mm_srli_epi32(p, 24));
    if constexpr (K == TO_BGRA8888) {
        const __m128i halves = _mm_shufflehi_epi16(_mm_shufflelo_epi16(p, 0xB1), 0xB1);
        return _mm_or_si128(_mm_slli_epi16(halves, 8), _mm_srli_epi16(halves, 8));
    }
}

template <int K> void reorderBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    for (; c.n >= 8; c.n -= 8, c.s += 32, c.d += 32) {
        const __m128i p0 = load128(c.s), p1 = load128(c.s + 16);
        store128(c.d, reorder<K>(p0));
        store128(c.d + 16, reorder<K>(p1));
    }
}

// 4 pixels to their 12 bytes at the bottom of the register, red and blue exchanged first for
// BGR888.
template <int K> inline __m128i pack12(__m128i p) {
    if constexpr (K == TO_BGR888) {
        const __m128i g = _mm_and_si128(p, _mm_set1_epi32(0xFF00));
        const __m128i r = _mm_and_si128(_mm_srli_epi32(p, 16), _mm_set1_epi32(0xFF));
        const __m128i b = _mm_and_si128(_mm_slli_epi32(p, 16), _mm_set1_epi32(0xFF0000));
        p = _mm_or_si128(_mm_or_si128(g, r), b);
    }
    return closeUp12(p);
}

// 16 pixels to 48 bytes: four 12-byte groups joined into three stores.
template <int K> void packBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    for (; c.n >= 16; c.n -= 16, c.s += 64, c.d += 48) {
        const __m128i a = pack12<K>(load128(c.s)), b = pack12<K>(load128(c.s + 16));
        const __m128i e = pack12<K>(load128(c.s + 32)), f = pack12<K>(load128(c.s + 48));
        store128(c.d, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        store128(c.d + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(e, 8)));
        store128(c.d + 32, _mm_or_si128(_mm_srli_si128(e, 8), _mm_slli_si128(f, 4)));
    }
}

} // namespace

PTC_BLOCKS_THEN(argb8888_abgr8888_sse2, reorderBlocks<TO_ABGR8888>, argb8888_abgr8888, 4)
PTC_BLOCKS_THEN(argb8888_rgba8888_sse2, reorderBlocks<TO_RGBA8888>, argb8888_rgba8888, 4)
PTC_BLOCKS_THEN(argb8888_bgra8888_sse2, reorderBlocks<TO_BGRA8888>, argb8888_bgra8888, 4)
PTC_BLOCKS_THEN(argb8888_rgb888_sse2, packBlocks<TO_RGB888>, argb8888_rgb888, 3)
PTC_BLOCKS_THEN(argb8888_bgr888_sse2, packBlocks<TO_BGR888>, argb8888_bgr888, 3)
PTC_BLOCKS_THEN(argb8888_rgb565_sse2, narrowBlocks<TO_RGB565>, argb8888_rgb565, 2)
PTC_BLOCKS_THEN(argb8888_bgr565_sse2, narrowBlocks<TO_BGR565>, argb8888_bgr565, 2)
PTC_BLOCKS_THEN(argb8888_argb1555_sse2, narrowBlocks<TO_ARGB1555>, argb8888_argb1555, 2)
PTC_BLOCKS_THEN(argb8888_abgr1555_sse2, narrowBlocks<TO_ABGR1555>, argb8888_abgr1555, 2)
PTC_BLOCKS_THEN(argb8888_grey8_sse2, narrowBlocks<TO_GREY8>, argb8888_grey8, 1)
PTC_BLOCKS_THEN(argb8888_rgb332_sse2, narrowBlocks<TO_RGB332>, argb8888_rgb332, 1)
