#include "conversion/FromRgb565_sse2.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

// The routines from RGB565 with SSE2: the expansions by multiplications that match the tables
// exactly, the repacks by shifts and masks, 8 or 16 pixels a step.

using namespace conversion;
using Vector = Sse2Vector;

namespace {

template <int K> void expandBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    for (; c.n >= 8; c.n -= 8, c.s += 16, c.d += 32) {
        __m128i a, b;
        expand8<K>(load128(c.s), a, b);
        store128(c.d, a);
        store128(c.d + 16, b);
    }
}

// 16 pixels: expanded to 32 bits, each four closed up to 12 bytes, the groups joined into three
// stores.
template <int K>
void expand24Blocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    for (; c.n >= 16; c.n -= 16, c.s += 32, c.d += 48) {
        __m128i a, b, e, f;
        expand8<K>(load128(c.s), a, b);
        expand8<K>(load128(c.s + 16), e, f);
        a = closeUp12(a), b = closeUp12(b), e = closeUp12(e), f = closeUp12(f);
        store128(c.d, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        store128(c.d + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(e, 8)));
        store128(c.d + 32, _mm_or_si128(_mm_srli_si128(e, 8), _mm_slli_si128(f, 4)));
    }
}

// 8 pixels to 8 results of 16 bits, or of 8 bits in the low byte of each lane.
template <int K> inline __m128i repack8(__m128i q) {
    auto mask = [](int m) { return _mm_set1_epi16(int16_t(m)); };
    if constexpr (K == TO_BGR565)
        return _mm_or_si128(_mm_or_si128(_mm_srli_epi16(q, 11), _mm_and_si128(q, mask(0x7E0))),
                            _mm_slli_epi16(q, 11));
    if constexpr (K == TO_ARGB1555)
        return _mm_or_si128(_mm_and_si128(_mm_srli_epi16(q, 1), mask(0x7FE0)),
                            _mm_and_si128(q, mask(0x1F)));
    if constexpr (K == TO_ABGR1555)
        return _mm_or_si128(
            _mm_or_si128(_mm_srli_epi16(q, 11), _mm_and_si128(_mm_srli_epi16(q, 1), mask(0x3E0))),
            _mm_and_si128(_mm_slli_epi16(q, 10), mask(0x7C00)));
    if constexpr (K == TO_GREY8) {
        const __m128i sum = _mm_add_epi16(
            _mm_add_epi16(_mm_srli_epi16(q, 11), _mm_and_si128(_mm_srli_epi16(q, 5), mask(0x3F))),
            _mm_and_si128(q, mask(0x1F)));
        return _mm_add_epi16(sum, sum);
    }
    if constexpr (K == TO_RGB332)
        return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi16(q, 8), mask(0xE0)),
                                         _mm_and_si128(_mm_srli_epi16(q, 6), mask(0x1C))),
                            _mm_and_si128(_mm_srli_epi16(q, 3), mask(0x3)));
}

template <int K> void repackBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    if constexpr (K == TO_GREY8 || K == TO_RGB332) {
        for (; c.n >= 16; c.n -= 16, c.s += 32, c.d += 16)
            store128(c.d,
                     _mm_packus_epi16(repack8<K>(load128(c.s)), repack8<K>(load128(c.s + 16))));
    } else {
        for (; c.n >= 16; c.n -= 16, c.s += 32, c.d += 32) {
            store128(c.d, repack8<K>(load128(c.s)));
            store128(c.d + 16, repack8<K>(load128(c.s + 16)));
        }
    }
}

} // namespace

PTC_BLOCKS_THEN(rgb565_argb8888_sse2, expandBlocks<TO_ARGB8888>, rgb565_argb8888, 4)
PTC_BLOCKS_THEN(rgb565_abgr8888_sse2, expandBlocks<TO_ABGR8888>, rgb565_abgr8888, 4)
PTC_BLOCKS_THEN(rgb565_rgba8888_sse2, expandBlocks<TO_RGBA8888>, rgb565_rgba8888, 4)
PTC_BLOCKS_THEN(rgb565_bgra8888_sse2, expandBlocks<TO_BGRA8888>, rgb565_bgra8888, 4)
PTC_BLOCKS_THEN(rgb565_rgb888_sse2, expand24Blocks<TO_ARGB8888>, rgb565_rgb888, 3)
PTC_BLOCKS_THEN(rgb565_bgr888_sse2, expand24Blocks<TO_ABGR8888>, rgb565_bgr888, 3)
PTC_BLOCKS_THEN(rgb565_bgr565_sse2, repackBlocks<TO_BGR565>, rgb565_bgr565, 2)
PTC_BLOCKS_THEN(rgb565_argb1555_sse2, repackBlocks<TO_ARGB1555>, rgb565_argb1555, 2)
PTC_BLOCKS_THEN(rgb565_abgr1555_sse2, repackBlocks<TO_ABGR1555>, rgb565_abgr1555, 2)
PTC_BLOCKS_THEN(rgb565_grey8_sse2, repackBlocks<TO_GREY8>, rgb565_grey8, 1)
PTC_BLOCKS_THEN(rgb565_rgb332_sse2, repackBlocks<TO_RGB332>, rgb565_rgb332, 1)
