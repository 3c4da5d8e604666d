#include "conversion/Routines.h"

// The four routines from 8-bit indices through a palette lookup: 256 finished destination
// pixels, as 32-bit words for 4-, 3- and 2-byte destinations and as bytes for 1-byte ones.

using namespace conversion;

#if defined(__SSE2__)
#include <immintrin.h>

#pragma GCC push_options
#pragma GCC target("avx2")

namespace {

// Eight lookups per gather; the indices are widened from eight bytes read inside the run.
inline __m256i gather8(const uint8_t* s, const uint32_t* table) {
    const __m256i i = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)));
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), i, 4);
}

void words32BlocksAvx2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                       int32_t& remaining, const uint32_t* table) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    for (; n >= 16; n -= 16, s += 16, d += 64) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), gather8(s, table));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32), gather8(s + 8, table));
    }
}

// The low halves of 16 lookups, packed in pixel order.
void words16BlocksAvx2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                       int32_t& remaining, const uint32_t* table) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    const __m256i low = _mm256_set1_epi32(0xFFFF);
    for (; n >= 16; n -= 16, s += 16, d += 32) {
        const __m256i a = _mm256_and_si256(gather8(s, table), low);
        const __m256i b = _mm256_and_si256(gather8(s + 8, table), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                            _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8));
    }
}

} // namespace

#pragma GCC pop_options

namespace {
const bool gathers = true;
}

#else

namespace {
const bool gathers = false;
void words32BlocksAvx2(const uint8_t*&, uint8_t*&, int32_t&, const uint32_t*) {}
void words16BlocksAvx2(const uint8_t*&, uint8_t*&, int32_t&, const uint32_t*) {}
} // namespace

#endif

void convert_index8_32(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    if (gathers && simdLevel() == SIMD_AVX2) words32BlocksAvx2(s, d, n, table);
    pixelLoop<1, 4>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_24(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    pixelLoop<1, 3>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_16(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    if (gathers && simdLevel() == SIMD_AVX2) words16BlocksAvx2(s, d, n, table);
    pixelLoop<1, 2>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_8(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint8_t* table = static_cast<const uint8_t*>(lookup);
    pixelLoop<1, 1>(s, d, n, [table](uint32_t i) { return table[i]; });
}

PTC_DEFINE_AREA(index8_32)
PTC_DEFINE_AREA(index8_24)
PTC_DEFINE_AREA(index8_16)
PTC_DEFINE_AREA(index8_8)
