#include "conversion/Avx512.h"
#include "conversion/Routines.h"

// The four routines from 8-bit indices through a palette lookup: 256 finished destination
// pixels, as 32-bit words for 4-, 3- and 2-byte destinations and as bytes for 1-byte ones.

using namespace conversion;

namespace {

// Eight indices read as one word, their results assembled into wide stores: loads and stores
// per pixel are what limits a table walk.
void words32Scalar(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint32_t* table) {
    Cursors c(s, d, n);
    for (; c.n >= 8; c.n -= 8, c.s += 8, c.d += 32) {
        uint64_t i;
        std::memcpy(&i, c.s, 8);
        for (int k = 0; k < 4; ++k) {
            const uint64_t pair =
                table[(i >> (16 * k)) & 0xFF] | uint64_t(table[(i >> (16 * k + 8)) & 0xFF]) << 32;
            std::memcpy(c.d + 8 * k, &pair, 8);
        }
    }
}

// Each result stored as four bytes, the next pixel's store overwriting the fourth; the last
// pixel of a block is stored byte-exact so nothing past the block is written.
void words24Scalar(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint32_t* table) {
    Cursors c(s, d, n);
    for (; c.n >= 8; c.n -= 8, c.s += 8, c.d += 24) {
        uint64_t i;
        std::memcpy(&i, c.s, 8);
        for (int k = 0; k < 7; ++k) store32(c.d + 3 * k, table[(i >> (8 * k)) & 0xFF]);
        store24(c.d + 21, table[i >> 56]);
    }
}

void words16Scalar(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint32_t* table) {
    Cursors c(s, d, n);
    for (; c.n >= 8; c.n -= 8, c.s += 8, c.d += 16) {
        uint64_t i;
        std::memcpy(&i, c.s, 8);
        for (int k = 0; k < 2; ++k) {
            uint64_t four = 0;
            for (int p = 0; p < 4; ++p)
                four |= uint64_t(table[(i >> (32 * k + 8 * p)) & 0xFF] & 0xFFFF) << (16 * p);
            std::memcpy(c.d + 8 * k, &four, 8);
        }
    }
}

void bytesScalar(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint8_t* table) {
    Cursors c(s, d, n);
    for (; c.n >= 8; c.n -= 8, c.s += 8, c.d += 8) {
        uint64_t i, out = 0;
        std::memcpy(&i, c.s, 8);
        for (int p = 0; p < 8; ++p) out |= uint64_t(table[(i >> (8 * p)) & 0xFF]) << (8 * p);
        std::memcpy(c.d, &out, 8);
    }
}

} // namespace

#if defined(__SSE2__)

// With AVX-512 the whole lookup fits in registers and vector permutes do the lookups: a byte
// table is four registers, a table of 32-bit words splits into low and high 16-bit halves of
// eight registers each. The last partial block uses masked loads and stores, which touch no
// memory outside the mask.

namespace {

// The 16-bit results of 32 indices (widened to 16 bits) from a table of eight registers.
struct WordTable {
    __m512i t[8];
};

PTC_TARGET_AVX512 inline void loadHalves(const uint32_t* table, WordTable* low, WordTable* high) {
    // The low halves of 32 words are their even words, the high halves the odd ones.
    const __m512i lowControl = load512(evenWords.data());
    const __m512i highControl = _mm512_add_epi16(lowControl, _mm512_set1_epi16(1));
    for (int k = 0; k < 8; ++k) {
        const __m512i a = _mm512_loadu_si512(table + 32 * k);
        const __m512i b = _mm512_loadu_si512(table + 32 * k + 16);
        if (low) low->t[k] = _mm512_permutex2var_epi16(a, lowControl, b);
        if (high) high->t[k] = _mm512_permutex2var_epi16(a, highControl, b);
    }
}

PTC_TARGET_AVX512 inline __m512i lookupWords(const WordTable& w, __m512i i, __mmask32 bit6,
                                             __mmask32 bit7) {
    const __m512i a = _mm512_permutex2var_epi16(w.t[0], i, w.t[1]);
    const __m512i b = _mm512_permutex2var_epi16(w.t[2], i, w.t[3]);
    const __m512i c = _mm512_permutex2var_epi16(w.t[4], i, w.t[5]);
    const __m512i e = _mm512_permutex2var_epi16(w.t[6], i, w.t[7]);
    return _mm512_mask_blend_epi16(bit7, _mm512_mask_blend_epi16(bit6, a, b),
                                   _mm512_mask_blend_epi16(bit6, c, e));
}

PTC_TARGET_AVX512 inline __m512i widenIndices(const uint8_t* s, __mmask32 mask) {
    return _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(mask, s));
}

PTC_TARGET_AVX512 void words16Avx512(const uint8_t*& s, uint8_t*& d, int32_t& n,
                                     const uint32_t* table) {
    Cursors c(s, d, n);
    WordTable low;
    loadHalves(table, &low, nullptr);
    const __m512i six = _mm512_set1_epi16(0x40), seven = _mm512_set1_epi16(0x80);
    while (c.n > 0) {
        const int32_t step = c.n < 32 ? c.n : 32;
        const __mmask32 mask = __mmask32(firstLanes(step));
        const __m512i i = widenIndices(c.s, mask);
        const __m512i r =
            lookupWords(low, i, _mm512_test_epi16_mask(i, six), _mm512_test_epi16_mask(i, seven));
        _mm512_mask_storeu_epi16(c.d, mask, r);
        c.n -= step, c.s += step, c.d += 2 * step;
    }
}

PTC_TARGET_AVX512 void words32Avx512(const uint8_t*& s, uint8_t*& d, int32_t& n,
                                     const uint32_t* table) {
    Cursors c(s, d, n);
    WordTable low, high;
    loadHalves(table, &low, &high);
    const __m512i six = _mm512_set1_epi16(0x40), seven = _mm512_set1_epi16(0x80);
    const __m512i join0 = load512(interleavedWords.data());
    const __m512i join1 = load512(interleavedWords.data() + 32);
    while (c.n > 0) {
        const int32_t step = c.n < 32 ? c.n : 32;
        const __mmask32 mask = __mmask32(firstLanes(step));
        const __m512i i = widenIndices(c.s, mask);
        const __mmask32 bit6 = _mm512_test_epi16_mask(i, six);
        const __mmask32 bit7 = _mm512_test_epi16_mask(i, seven);
        const __m512i lo = lookupWords(low, i, bit6, bit7);
        const __m512i hi = lookupWords(high, i, bit6, bit7);
        _mm512_mask_storeu_epi32(c.d, __mmask16(mask), _mm512_permutex2var_epi16(lo, join0, hi));
        _mm512_mask_storeu_epi32(c.d + 64, __mmask16(mask >> 16),
                                 _mm512_permutex2var_epi16(lo, join1, hi));
        c.n -= step, c.s += step, c.d += 4 * step;
    }
}

PTC_TARGET_AVX512 void words24Avx512(const uint8_t*& s, uint8_t*& d, int32_t& n,
                                     const uint32_t* table) {
    Cursors c(s, d, n);
    WordTable low, high;
    loadHalves(table, &low, &high);
    const __m512i six = _mm512_set1_epi16(0x40), seven = _mm512_set1_epi16(0x80);
    while (c.n > 0) {
        const int32_t step = c.n < 32 ? c.n : 32;
        const __mmask32 mask = __mmask32(firstLanes(step));
        const __m512i i = widenIndices(c.s, mask);
        const __mmask32 bit6 = _mm512_test_epi16_mask(i, six);
        const __mmask32 bit7 = _mm512_test_epi16_mask(i, seven);
        const __m512i lo = lookupWords(low, i, bit6, bit7);
        const __m512i hi = lookupWords(high, i, bit6, bit7);
        storeThreeBytes(c.d, lo, hi, step);
        c.n -= step, c.s += step, c.d += 3 * step;
    }
}

PTC_TARGET_AVX512 void bytesAvx512(const uint8_t*& s, uint8_t*& d, int32_t& n,
                                   const uint8_t* table) {
    Cursors c(s, d, n);
    const __m512i t0 = _mm512_loadu_si512(table), t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128), t3 = _mm512_loadu_si512(table + 192);
    while (c.n > 0) {
        const int32_t step = c.n < 64 ? c.n : 64;
        const __mmask64 mask = firstLanes(step);
        const __m512i i = _mm512_maskz_loadu_epi8(mask, c.s);
        // The low seven bits pick a byte of one half of the table, the top bit the half.
        const __m512i r =
            _mm512_mask_blend_epi8(_mm512_movepi8_mask(i), _mm512_permutex2var_epi8(t0, i, t1),
                                   _mm512_permutex2var_epi8(t2, i, t3));
        _mm512_mask_storeu_epi8(c.d, mask, r);
        c.n -= step, c.s += step, c.d += step;
    }
}

} // namespace

#define PTC_HAVE_AVX512 1
#else
#define PTC_HAVE_AVX512 0
namespace {
void words32Avx512(const uint8_t*&, uint8_t*&, int32_t&, const uint32_t*) {}
void words24Avx512(const uint8_t*&, uint8_t*&, int32_t&, const uint32_t*) {}
void words16Avx512(const uint8_t*&, uint8_t*&, int32_t&, const uint32_t*) {}
void bytesAvx512(const uint8_t*&, uint8_t*&, int32_t&, const uint8_t*) {}
} // namespace
#endif

namespace {

// Below this many pixels the registers' set-up costs more than it saves.
constexpr int32_t VECTOR_RUN = 16;

bool vectors(int32_t n) {
    return PTC_HAVE_AVX512 && n >= VECTOR_RUN && simdLevel() >= SIMD_AVX512;
}

} // namespace

void convert_index8_32(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    if (vectors(n))
        words32Avx512(s, d, n, table);
    else
        words32Scalar(s, d, n, table);
    pixelLoop<1, 4>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_24(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    if (vectors(n))
        words24Avx512(s, d, n, table);
    else
        words24Scalar(s, d, n, table);
    pixelLoop<1, 3>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_16(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    if (vectors(n))
        words16Avx512(s, d, n, table);
    else
        words16Scalar(s, d, n, table);
    pixelLoop<1, 2>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_8(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint8_t* table = static_cast<const uint8_t*>(lookup);
    if (vectors(n))
        bytesAvx512(s, d, n, table);
    else
        bytesScalar(s, d, n, table);
    pixelLoop<1, 1>(s, d, n, [table](uint32_t i) { return table[i]; });
}

PTC_DEFINE_AREA(index8_32)
PTC_DEFINE_AREA(index8_24)
PTC_DEFINE_AREA(index8_16)
PTC_DEFINE_AREA(index8_8)
