#include "conversion/Avx2.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"
#include "conversion/Sse2.h"

// 8-bit indices to 1-byte pixels with AVX2's byte shuffle, 32 a step. A shuffle looks up 16
// entries and gives 0 where the index's top bit is set. Adding 16 (h - k) with saturation to an
// index whose high nibble is h leaves its low nibble and keeps the top bit clear just for
// h <= k < 8, so row k of a table whose row k is entries 16k..16k+15 exclusive-ored with the
// next row's, summed (exclusive-or) over k, telescopes to the index's own entry. Indices from
// 128 take the same path with their top bit flipped and the upper half's rows. The 32-bit,
// 24- and 16-bit destinations stay scalar: on the processors measured a scalar walk that joins
// results into wide stores beat both byte-plane shuffles and gathers.

using namespace conversion;
using Vector = Avx2Vector;

namespace {

struct DeltaRows {
    __m256i low[8], high[8]; // indices below 128, and from 128 with the top bit flipped
};

DeltaRows deltaRows(const uint8_t* table) {
    DeltaRows rows;
    for (int half = 0; half < 2; ++half) {
        __m256i* out = half ? rows.high : rows.low;
        __m128i next = _mm_setzero_si128();
        for (int k = 7; k >= 0; --k) {
            const __m128i row = load128(table + 128 * half + 16 * k);
            out[k] = _mm256_broadcastsi128_si256(_mm_xor_si128(row, next));
            next = row;
        }
    }
    return rows;
}

void bytesBlocks(const uint8_t*& source, uint8_t*& destination, int32_t& count,
                 const uint8_t* table) {
    Cursors c(source, destination, count);
    if (c.n < 32) return;
    const DeltaRows rows = deltaRows(table);
    const __m256i top = _mm256_set1_epi8(char(0x80)), step = _mm256_set1_epi8(16);
    for (; c.n >= 32; c.n -= 32, c.s += 32, c.d += 32) {
        __m256i low = load256(c.s);
        __m256i high = _mm256_xor_si256(low, top);
        __m256i bytes = _mm256_setzero_si256();
        for (int k = 7; k >= 0; --k) {
            bytes = _mm256_xor_si256(bytes, _mm256_shuffle_epi8(rows.low[k], low));
            bytes = _mm256_xor_si256(bytes, _mm256_shuffle_epi8(rows.high[k], high));
            low = _mm256_adds_epu8(low, step);
            high = _mm256_adds_epu8(high, step);
        }
        store256(c.d, bytes);
    }
}

} // namespace

void convert_index8_8_avx2(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    alignDestination<Vector::BYTES, 1>(s, d, n, lookup, convert_index8_8);
    bytesBlocks(s, d, n, static_cast<const uint8_t*>(lookup));
    convert_index8_8(s, d, n, lookup);
}
PTC_DEFINE_STREAMED_AREA(index8_8_avx2)
