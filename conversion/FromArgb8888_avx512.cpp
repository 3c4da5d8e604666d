#include "conversion/Avx512.h"
#include "conversion/FromArgb8888.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

// The routines from ARGB8888 with AVX-512: 16 to 64 pixels a step, the last partial block of the
// narrowing routines through masked loads and stores.

using namespace conversion;
using Vector = Avx512Vector;

namespace {

// 16 pixels to their results shifted left by the weighting's shift, one per 32-bit lane.
template <int K> inline __m512i weighAvx512(__m512i p) {
    constexpr Weights w = weightings[K];
    const __m512i masked = _mm512_and_si512(p, _mm512_set1_epi32(int32_t(w.mask)));
    return _mm512_madd_epi16(_mm512_maddubs_epi16(masked, _mm512_set1_epi32(byteWeights(w))),
                             _mm512_set1_epi32(wordWeights(w)));
}

// 16 pixels of the run from s, the lanes past count (if below 16) read as zero.
template <bool Partial> inline __m512i loadPixels(const uint8_t* s, __mmask64 lanes, int group) {
    if constexpr (Partial)
        return _mm512_maskz_loadu_epi32(__mmask16(lanes >> (16 * group)), s + 64 * group);
    else
        return load512(s + 64 * group);
}

// 64 pixels (fewer when Partial) to 8-bit results: the packs work per 128-bit lane, the
// permute puts the 4-pixel groups back in order.
template <int K, bool Partial>
inline void narrow8Avx512(const uint8_t* s, uint8_t* d, int32_t count) {
    const __mmask64 lanes = firstLanes(count);
    constexpr int shift = weightings[K].shift;
    const __m512i a = weighAvx512<K>(loadPixels<Partial>(s, lanes, 0));
    const __m512i b = weighAvx512<K>(loadPixels<Partial>(s, lanes, 1));
    const __m512i c = weighAvx512<K>(loadPixels<Partial>(s, lanes, 2));
    const __m512i e = weighAvx512<K>(loadPixels<Partial>(s, lanes, 3));
    const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m512i ab = _mm512_srli_epi16(_mm512_packus_epi32(a, b), shift);
    const __m512i ce = _mm512_srli_epi16(_mm512_packus_epi32(c, e), shift);
    const __m512i bytes =
        _mm512_maskz_permutexvar_epi32(0xFFFF, order, _mm512_packus_epi16(ab, ce));
    if constexpr (Partial)
        _mm512_mask_storeu_epi8(d, lanes, bytes);
    else
        store512(d, bytes);
}

// 32 pixels (fewer when Partial) to 16-bit results, the low halves of the lanes.
template <int K, bool Partial>
inline void narrow16Avx512(const uint8_t* s, uint8_t* d, int32_t count) {
    const __mmask64 lanes = firstLanes(count);
    constexpr int shift = weightings[K].shift;
    const __m512i a = shiftRight32(weighAvx512<K>(loadPixels<Partial>(s, lanes, 0)), shift);
    const __m512i b = shiftRight32(weighAvx512<K>(loadPixels<Partial>(s, lanes, 1)), shift);
    const __m512i words = _mm512_permutex2var_epi16(a, load512(evenWords.data()), b);
    if constexpr (Partial)
        _mm512_mask_storeu_epi16(d, __mmask32(lanes), words);
    else
        store512(d, words);
}

// Whole blocks of 32 pixels, byte shuffles within each pixel; the rest is left to AVX2.
void reorderBlocksAvx512(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                         int32_t& remaining, const int8_t* control) {
    Cursors c(sourceCursor, destinationCursor, remaining);
    const __m512i shuffle = _mm512_maskz_broadcast_i32x4(
        ~__mmask16(0), _mm_load_si128(reinterpret_cast<const __m128i*>(control)));
    for (; c.n >= 32; c.n -= 32, c.s += 128, c.d += 128) {
        store512(c.d, _mm512_shuffle_epi8(load512(c.s), shuffle));
        store512(c.d + 64, _mm512_shuffle_epi8(load512(c.s + 64), shuffle));
    }
}

// Permute controls for 64 pixels to 192 bytes of 24-bit pixels (B, G, R for RGB888, R, G, B
// for BGR888): output register r takes its bytes from source registers r and r + 1.
template <int Which> constexpr std::array<uint8_t, 192> packControl() {
    std::array<uint8_t, 192> control{};
    for (int j = 0; j < 192; ++j) {
        const int p = j / 3, c = j % 3;
        control[size_t(j)] = uint8_t(4 * p + (Which == 0 ? c : 2 - c) - 64 * (j / 64));
    }
    return control;
}
template <int Which>
alignas(64) constexpr std::array<uint8_t, 192> packControls512 = packControl<Which>();

// Whole blocks of 64 pixels; the rest is left to the narrower paths.
template <int Which>
void packBlocksAvx512(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                      int32_t& remaining) {
    Cursors c(sourceCursor, destinationCursor, remaining);
    const uint8_t* control = packControls512<Which>.data();
    const __m512i c0 = load512(control), c1 = load512(control + 64), c2 = load512(control + 128);
    for (; c.n >= 64; c.n -= 64, c.s += 256, c.d += 192) {
        const __m512i s0 = load512(c.s), s1 = load512(c.s + 64);
        const __m512i s2 = load512(c.s + 128), s3 = load512(c.s + 192);
        store512(c.d, _mm512_permutex2var_epi8(s0, c0, s1));
        store512(c.d + 64, _mm512_permutex2var_epi8(s1, c1, s2));
        store512(c.d + 128, _mm512_permutex2var_epi8(s2, c2, s3));
    }
}

// Whole run: full blocks, then one masked block for the rest.
template <int K>
void narrowBlocksAvx512(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                        int32_t& remaining) {
    Cursors c(sourceCursor, destinationCursor, remaining);
    constexpr bool bytes = K == TO_GREY8 || K == TO_RGB332;
    constexpr int32_t block = bytes ? 64 : 32, destinationBytes = bytes ? 1 : 2;
    for (; c.n >= block; c.n -= block, c.s += 4 * block, c.d += destinationBytes * block) {
        if constexpr (bytes)
            narrow8Avx512<K, false>(c.s, c.d, block);
        else
            narrow16Avx512<K, false>(c.s, c.d, block);
    }
    if (c.n > 0) {
        if constexpr (bytes)
            narrow8Avx512<K, true>(c.s, c.d, c.n);
        else
            narrow16Avx512<K, true>(c.s, c.d, c.n);
        c.s += 4 * c.n, c.d += destinationBytes * c.n, c.n = 0;
    }
}

template <int K> void reorderBlocks(const uint8_t*& s, uint8_t*& d, int32_t& n) {
    reorderBlocksAvx512(s, d, n, reorderControls[K]);
}

} // namespace

// The reorders and packs leave what is short of a whole block to AVX2.
PTC_BLOCKS_THEN(argb8888_abgr8888_avx512, reorderBlocks<TO_ABGR8888>, argb8888_abgr8888_avx2, 4)
PTC_BLOCKS_THEN(argb8888_rgba8888_avx512, reorderBlocks<TO_RGBA8888>, argb8888_rgba8888_avx2, 4)
PTC_BLOCKS_THEN(argb8888_bgra8888_avx512, reorderBlocks<TO_BGRA8888>, argb8888_bgra8888_avx2, 4)
PTC_BLOCKS_THEN(argb8888_rgb888_avx512, packBlocksAvx512<TO_RGB888>, argb8888_rgb888_avx2, 3)
PTC_BLOCKS_THEN(argb8888_bgr888_avx512, packBlocksAvx512<TO_BGR888>, argb8888_bgr888_avx2, 3)
PTC_BLOCKS_THEN(argb8888_rgb565_avx512, narrowBlocksAvx512<TO_RGB565>, argb8888_rgb565, 2)
PTC_BLOCKS_THEN(argb8888_bgr565_avx512, narrowBlocksAvx512<TO_BGR565>, argb8888_bgr565, 2)
PTC_BLOCKS_THEN(argb8888_argb1555_avx512, narrowBlocksAvx512<TO_ARGB1555>, argb8888_argb1555, 2)
PTC_BLOCKS_THEN(argb8888_abgr1555_avx512, narrowBlocksAvx512<TO_ABGR1555>, argb8888_abgr1555, 2)
PTC_BLOCKS_THEN(argb8888_grey8_avx512, narrowBlocksAvx512<TO_GREY8>, argb8888_grey8, 1)
PTC_BLOCKS_THEN(argb8888_rgb332_avx512, narrowBlocksAvx512<TO_RGB332>, argb8888_rgb332, 1)
