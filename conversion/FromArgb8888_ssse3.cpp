#include "conversion/FromArgb8888.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"
#include "conversion/Sse2.h"

#include <tmmintrin.h>

// The byte reorders and 24-bit packs from ARGB8888 with SSSE3's byte shuffle.

using namespace conversion;

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

} // namespace

PTC_BLOCKS_THEN(argb8888_abgr8888_ssse3, reorderBlocks<TO_ABGR8888>, argb8888_abgr8888)
PTC_BLOCKS_THEN(argb8888_rgba8888_ssse3, reorderBlocks<TO_RGBA8888>, argb8888_rgba8888)
PTC_BLOCKS_THEN(argb8888_bgra8888_ssse3, reorderBlocks<TO_BGRA8888>, argb8888_bgra8888)
PTC_BLOCKS_THEN(argb8888_rgb888_ssse3, packBlocks<TO_RGB888>, argb8888_rgb888)
PTC_BLOCKS_THEN(argb8888_bgr888_ssse3, packBlocks<TO_BGR888>, argb8888_bgr888)
