#pragma once
#include "conversion/FromRgb565.h"
#include "conversion/Sse2.h"

// The SSE2 expansion of RGB565 pixels, which the SSE2 and SSSE3 variants share. Included only by
// files compiled for those.

namespace conversion {
namespace {

// 8 pixels to two registers of 4 32-bit pixels.
template <int K> inline void expand8(__m128i q, __m128i& first, __m128i& second) {
    const __m128i r = _mm_srli_epi16(
        _mm_mulhi_epu16(_mm_and_si128(q, _mm_set1_epi16(int16_t(0xF800))), _mm_set1_epi16(2105)),
        3);
    const __m128i g = _mm_srli_epi16(
        _mm_mulhi_epu16(_mm_and_si128(q, _mm_set1_epi16(0x7E0)), _mm_set1_epi16(16555)), 1);
    const __m128i b = _mm_srli_epi16(
        _mm_mullo_epi16(_mm_and_si128(q, _mm_set1_epi16(0x1F)), _mm_set1_epi16(2105)), 8);
    __m128i low, high; // bytes 0-1 and 2-3 of each pixel
    if constexpr (K == TO_ARGB8888) low = _mm_or_si128(b, _mm_slli_epi16(g, 8)), high = r;
    if constexpr (K == TO_ABGR8888) low = _mm_or_si128(r, _mm_slli_epi16(g, 8)), high = b;
    if constexpr (K == TO_RGBA8888)
        low = _mm_slli_epi16(b, 8), high = _mm_or_si128(g, _mm_slli_epi16(r, 8));
    if constexpr (K == TO_BGRA8888)
        low = _mm_slli_epi16(r, 8), high = _mm_or_si128(g, _mm_slli_epi16(b, 8));
    first = _mm_unpacklo_epi16(low, high);
    second = _mm_unpackhi_epi16(low, high);
}

} // namespace
} // namespace conversion
