#include "conversion/Avx2.h"
#include "conversion/FromArgb8888.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

// The routines from ARGB8888 with AVX2: narrowing by multiply-adds, byte shuffles per lane.

using namespace conversion;
using Vector = Avx2Vector;

namespace {

// 8 pixels to their results shifted left by the weighting's shift, one per 32-bit lane.
template <int K> inline __m256i weigh(__m256i p) {
    constexpr Weights w = weightings[K];
    const __m256i masked = _mm256_and_si256(p, _mm256_set1_epi32(int32_t(w.mask)));
    return _mm256_madd_epi16(_mm256_maddubs_epi16(masked, _mm256_set1_epi32(byteWeights(w))),
                             _mm256_set1_epi32(wordWeights(w)));
}

template <int K> void narrowBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    constexpr int shift = weightings[K].shift;
    if constexpr (K == TO_GREY8 || K == TO_RGB332) {
        // The packs work per 128-bit lane; the permute restores pixel order. Shifted words are
        // at most 255, so both packs are exact.
        const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
        for (; c.n >= 32; c.n -= 32, c.s += 128, c.d += 32) {
            const __m256i ab = _mm256_srli_epi16(
                _mm256_packus_epi32(weigh<K>(load256(c.s)), weigh<K>(load256(c.s + 32))), shift);
            const __m256i cd = _mm256_srli_epi16(
                _mm256_packus_epi32(weigh<K>(load256(c.s + 64)), weigh<K>(load256(c.s + 96))),
                shift);
            store256(c.d, _mm256_permutevar8x32_epi32(_mm256_packus_epi16(ab, cd), order));
        }
    } else {
        for (; c.n >= 16; c.n -= 16, c.s += 64, c.d += 32) {
            const __m256i a = _mm256_srli_epi32(weigh<K>(load256(c.s)), shift);
            const __m256i b = _mm256_srli_epi32(weigh<K>(load256(c.s + 32)), shift);
            store256(c.d, _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8));
        }
    }
}

// 16 pixels a step, byte shuffles within each pixel.
template <int K> void reorderBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    const __m256i control = loadControlTwice(reorderControls[K]);
    for (; c.n >= 16; c.n -= 16, c.s += 64, c.d += 64) {
        store256(c.d, _mm256_shuffle_epi8(load256(c.s), control));
        store256(c.d + 32, _mm256_shuffle_epi8(load256(c.s + 32), control));
    }
}

// 32 pixels to 96 bytes in three whole stores: each lane shuffled to its 12 bytes, then the
// 24 bytes of every register moved to where they go in the output and the registers blended.
template <int K> void packBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    const __m256i control = loadControlTwice(packControls[K]);
    // Dwords 0, 1, 2, 4, 5, 6 of a shuffled register hold its 24 bytes.
    const __m256i a0 = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 0, 0);
    const __m256i b0 = _mm256_setr_epi32(0, 0, 0, 0, 0, 0, 0, 1);
    const __m256i b1 = _mm256_setr_epi32(2, 4, 5, 6, 0, 0, 0, 0);
    const __m256i c1 = _mm256_setr_epi32(0, 0, 0, 0, 0, 1, 2, 4);
    const __m256i c2 = _mm256_setr_epi32(5, 6, 0, 0, 0, 0, 0, 0);
    const __m256i d2 = _mm256_setr_epi32(0, 0, 0, 1, 2, 4, 5, 6);
    for (; c.n >= 32; c.n -= 32, c.s += 128, c.d += 96) {
        const __m256i a = _mm256_shuffle_epi8(load256(c.s), control);
        const __m256i b = _mm256_shuffle_epi8(load256(c.s + 32), control);
        const __m256i e = _mm256_shuffle_epi8(load256(c.s + 64), control);
        const __m256i f = _mm256_shuffle_epi8(load256(c.s + 96), control);
        store256(c.d, _mm256_blend_epi32(_mm256_permutevar8x32_epi32(a, a0),
                                         _mm256_permutevar8x32_epi32(b, b0), 0xC0));
        store256(c.d + 32, _mm256_blend_epi32(_mm256_permutevar8x32_epi32(b, b1),
                                              _mm256_permutevar8x32_epi32(e, c1), 0xF0));
        store256(c.d + 64, _mm256_blend_epi32(_mm256_permutevar8x32_epi32(e, c2),
                                              _mm256_permutevar8x32_epi32(f, d2), 0xFC));
    }
}

} // namespace

PTC_BLOCKS_THEN(argb8888_abgr8888_avx2, reorderBlocks<TO_ABGR8888>, argb8888_abgr8888, 4)
PTC_BLOCKS_THEN(argb8888_rgba8888_avx2, reorderBlocks<TO_RGBA8888>, argb8888_rgba8888, 4)
PTC_BLOCKS_THEN(argb8888_bgra8888_avx2, reorderBlocks<TO_BGRA8888>, argb8888_bgra8888, 4)
PTC_BLOCKS_THEN(argb8888_rgb888_avx2, packBlocks<TO_RGB888>, argb8888_rgb888, 3)
PTC_BLOCKS_THEN(argb8888_bgr888_avx2, packBlocks<TO_BGR888>, argb8888_bgr888, 3)
PTC_BLOCKS_THEN(argb8888_rgb565_avx2, narrowBlocks<TO_RGB565>, argb8888_rgb565, 2)
PTC_BLOCKS_THEN(argb8888_bgr565_avx2, narrowBlocks<TO_BGR565>, argb8888_bgr565, 2)
PTC_BLOCKS_THEN(argb8888_argb1555_avx2, narrowBlocks<TO_ARGB1555>, argb8888_argb1555, 2)
PTC_BLOCKS_THEN(argb8888_abgr1555_avx2, narrowBlocks<TO_ABGR1555>, argb8888_abgr1555, 2)
PTC_BLOCKS_THEN(argb8888_grey8_avx2, narrowBlocks<TO_GREY8>, argb8888_grey8, 1)
PTC_BLOCKS_THEN(argb8888_rgb332_avx2, narrowBlocks<TO_RGB332>, argb8888_rgb332, 1)
