#include "conversion/FromRgb565_sse2.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

#include <tmmintrin.h>

// RGB565 to the 24-bit formats with SSSE3's byte shuffle.

using namespace conversion;
using Vector = Sse2Vector;

namespace {

// 16 pixels: expanded to 32 bits, then four 12-byte groups joined into three stores.
template <int K>
void expand24Blocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    const __m128i control = loadControl(lowThreeBytes);
    for (; c.n >= 16; c.n -= 16, c.s += 32, c.d += 48) {
        __m128i a, b, e, f;
        expand8<K>(load128(c.s), a, b);
        expand8<K>(load128(c.s + 16), e, f);
        a = _mm_shuffle_epi8(a, control);
        b = _mm_shuffle_epi8(b, control);
        e = _mm_shuffle_epi8(e, control);
        f = _mm_shuffle_epi8(f, control);
        store128(c.d, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        store128(c.d + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(e, 8)));
        store128(c.d + 32, _mm_or_si128(_mm_srli_si128(e, 8), _mm_slli_si128(f, 4)));
    }
}

} // namespace

PTC_BLOCKS_THEN(rgb565_rgb888_ssse3, expand24Blocks<TO_ARGB8888>, rgb565_rgb888, 3)
PTC_BLOCKS_THEN(rgb565_bgr888_ssse3, expand24Blocks<TO_ABGR8888>, rgb565_bgr888, 3)
