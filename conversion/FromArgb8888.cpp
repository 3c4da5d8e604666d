#include "conversion/Avx512.h"
#include "conversion/Routines.h"

// The eleven routines from ARGB8888 (A 31..24, R 23..16, G 15..8, B 7..0).

using namespace conversion;

namespace {

uint32_t toAbgr8888(uint32_t p) {
    return (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
}
uint32_t toRgba8888(uint32_t p) {
    return p << 8 | p >> 24;
}
uint32_t toBgra8888(uint32_t p) {
    return __builtin_bswap32(p);
}
uint32_t toRgb888(uint32_t p) {
    return p & 0xFFFFFFu;
}
uint32_t toBgr888(uint32_t p) {
    return ((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16);
}
// The narrowing routines, each a sum of three shifted and masked channels of the source word.
enum Narrow { TO_RGB565, TO_BGR565, TO_ARGB1555, TO_ABGR1555, TO_GREY8, TO_RGB332 };
constexpr ChannelTerms narrowings[] = {
    {{{8, 0xF800}, {5, 0x7E0}, {3, 0x1F}}},   // RGB565: R, G, B
    {{{-8, 0xF800}, {5, 0x7E0}, {19, 0x1F}}}, // BGR565: B, G, R
    {{{9, 0x7C00}, {6, 0x3E0}, {3, 0x1F}}},   // ARGB1555: R, G, B; alpha bit 0
    {{{-7, 0x7C00}, {6, 0x3E0}, {19, 0x1F}}}, // ABGR1555: B, G, R; alpha bit 0
    {{{18, 0x3F}, {9, 0x7F}, {2, 0x3F}}},     // GREY8: R / 4 + G / 2 + B / 4, at most 253
    {{{16, 0xE0}, {11, 0x1C}, {6, 0x3}}},     // RGB332: R, G, B
};

template <int K> uint32_t narrowPixel(uint32_t p) {
    return applyTerms(narrowings[K], p);
}

// The same results by multiply-adds, where the processor has them: the channels masked to the
// bits they keep, bytes B, G, R, A weighted into two 16-bit sums (B, G) and (R, A), the sums
// weighted into one 32-bit word, which is the result shifted left by shift. Every product and
// sum stays below 2^15, so the signed multiply-adds are exact.
struct Weights {
    uint32_t mask;
    int8_t bytes[4];
    int16_t low, high;
    int shift;
};
constexpr Weights weightings[] = {
    {0x00F8FCF8, {1, 64, 1, 0}, 1, 2048, 3}, // RGB565: B' + 64 G' + 2048 R'
    {0x00F8FCF8, {64, 2, 1, 0}, 32, 1, 3},   // BGR565: 2048 B' + 64 G' + R'
    {0x00F8F8F8, {1, 32, 1, 0}, 1, 1024, 3}, // ARGB1555: B' + 32 G' + 1024 R'
    {0x00F8F8F8, {32, 1, 1, 0}, 32, 1, 3},   // ABGR1555: 1024 B' + 32 G' + R'
    {0x00FCFEFC, {1, 2, 1, 0}, 1, 1, 2},     // GREY8: B' + 2 G' + R'
    {0x00E0E0C0, {1, 8, 64, 0}, 1, 1, 6},    // RGB332: B' + 8 G' + 64 R'
};
constexpr int32_t byteWeights(const Weights& w) {
    return int32_t(uint32_t(uint8_t(w.bytes[0])) | uint32_t(uint8_t(w.bytes[1])) << 8 |
                   uint32_t(uint8_t(w.bytes[2])) << 16 | uint32_t(uint8_t(w.bytes[3])) << 24);
}
constexpr int32_t wordWeights(const Weights& w) {
    return int32_t(uint32_t(uint16_t(w.low)) | uint32_t(uint16_t(w.high)) << 16);
}

} // namespace

#if defined(__SSE2__)
#include <immintrin.h>

namespace {

// The batched paths convert whole blocks of pixels with vector loads and stores that stay
// inside the run; each takes what it can and leaves the remainder to the per-pixel loop.

// 4 ARGB8888 pixels to their 16- or 8-bit results, one per 32-bit lane.
template <int K, int T> inline __m128i termSse2(__m128i p) {
    constexpr ChannelTerm t = narrowings[K].terms[T];
    __m128i v;
    if constexpr (t.shift >= 0)
        v = _mm_srli_epi32(p, t.shift);
    else
        v = _mm_slli_epi32(p, -t.shift);
    if constexpr (maskMatters<uint32_t>(t)) v = _mm_and_si128(v, _mm_set1_epi32(int32_t(t.mask)));
    return v;
}
template <int K> inline __m128i narrowSse2(__m128i p) {
    return _mm_add_epi32(_mm_add_epi32(termSse2<K, 0>(p), termSse2<K, 1>(p)), termSse2<K, 2>(p));
}

// Signed saturation packs exactly once the 16-bit results are sign-extended.
inline __m128i pack16Sse2(__m128i a, __m128i b) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                           _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
}

template <int K>
void narrowBlocksSse2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                      int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    for (; n >= 16; n -= 16, s += 64) {
        const __m128i p0 = narrowSse2<K>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
        const __m128i p1 = narrowSse2<K>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)));
        const __m128i p2 = narrowSse2<K>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32)));
        const __m128i p3 = narrowSse2<K>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48)));
        if constexpr (K == TO_GREY8 || K == TO_RGB332) {
            // Lanes hold at most 253: both packs are exact.
            const __m128i bytes =
                _mm_packus_epi16(_mm_packs_epi32(p0, p1), _mm_packs_epi32(p2, p3));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), bytes);
            d += 16;
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), pack16Sse2(p0, p1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), pack16Sse2(p2, p3));
            d += 32;
        }
    }
}

// Red and blue exchanged, or the word rotated by 8, or its bytes reversed, 4 pixels at a time.
enum Reorder { TO_ABGR8888, TO_RGBA8888, TO_BGRA8888 };

template <int K> inline __m128i reorderSse2(__m128i p) {
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

template <int K>
void reorderBlocksSse2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                       int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    for (; n >= 8; n -= 8, s += 32, d += 32) {
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), reorderSse2<K>(p0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), reorderSse2<K>(p1));
    }
}

// Byte orders within a pixel, as shuffle controls: destination byte i takes source byte c[i].
alignas(16) const int8_t reorderControls[3][16] = {
    {2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15}, // ABGR8888
    {3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14}, // RGBA8888
    {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12}, // BGRA8888
};
// 4 pixels to 12 bytes at the bottom of the register: B, G, R (RGB888) or R, G, B (BGR888).
alignas(16) const int8_t packControls[2][16] = {
    {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1},
    {2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1},
};

} // namespace

#pragma GCC push_options
#pragma GCC target("ssse3")

namespace {

void reorderBlocksSsse3(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                        int32_t& remaining, const int8_t* control) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    const __m128i c = _mm_load_si128(reinterpret_cast<const __m128i*>(control));
    for (; n >= 8; n -= 8, s += 32, d += 32) {
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(p0, c));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_shuffle_epi8(p1, c));
    }
}

// 16 pixels to 48 bytes: four 12-byte groups joined into three stores.
void packBlocksSsse3(const uint8_t*& sourceCursor, uint8_t*& destinationCursor, int32_t& remaining,
                     const int8_t* control) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    const __m128i c = _mm_load_si128(reinterpret_cast<const __m128i*>(control));
    for (; n >= 16; n -= 16, s += 64, d += 48) {
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), c);
        const __m128i b =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)), c);
        const __m128i e =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32)), c);
        const __m128i f =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48)), c);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16),
                         _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(e, 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32),
                         _mm_or_si128(_mm_srli_si128(e, 8), _mm_slli_si128(f, 4)));
    }
}

} // namespace

#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx2")

namespace {

inline __m256i load256(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void store256(uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// 8 pixels to their results shifted left by the weighting's shift, one per 32-bit lane.
template <int K> inline __m256i weighAvx2(__m256i p) {
    constexpr Weights w = weightings[K];
    const __m256i masked = _mm256_and_si256(p, _mm256_set1_epi32(int32_t(w.mask)));
    return _mm256_madd_epi16(_mm256_maddubs_epi16(masked, _mm256_set1_epi32(byteWeights(w))),
                             _mm256_set1_epi32(wordWeights(w)));
}

template <int K>
void narrowBlocksAvx2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                      int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    constexpr int shift = weightings[K].shift;
    if constexpr (K == TO_GREY8 || K == TO_RGB332) {
        // The packs work per 128-bit lane; the permute restores pixel order. Shifted words are
        // at most 255, so both packs are exact.
        const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
        for (; n >= 32; n -= 32, s += 128, d += 32) {
            const __m256i ab = _mm256_srli_epi16(
                _mm256_packus_epi32(weighAvx2<K>(load256(s)), weighAvx2<K>(load256(s + 32))),
                shift);
            const __m256i cd = _mm256_srli_epi16(
                _mm256_packus_epi32(weighAvx2<K>(load256(s + 64)), weighAvx2<K>(load256(s + 96))),
                shift);
            store256(d, _mm256_permutevar8x32_epi32(_mm256_packus_epi16(ab, cd), order));
        }
    } else {
        for (; n >= 16; n -= 16, s += 64, d += 32) {
            const __m256i a = _mm256_srli_epi32(weighAvx2<K>(load256(s)), shift);
            const __m256i b = _mm256_srli_epi32(weighAvx2<K>(load256(s + 32)), shift);
            store256(d, _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8));
        }
    }
}

void reorderBlocksAvx2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                       int32_t& remaining, const int8_t* control) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    const __m256i c =
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(control)));
    for (; n >= 16; n -= 16, s += 64, d += 64) {
        store256(d, _mm256_shuffle_epi8(load256(s), c));
        store256(d + 32, _mm256_shuffle_epi8(load256(s + 32), c));
    }
}

// 8 pixels to 24 bytes: 12 per lane, the lanes joined, stored as 16 + 8 bytes.
void packBlocksAvx2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor, int32_t& remaining,
                    const int8_t* control) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    const __m256i c =
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(control)));
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    for (; n >= 16; n -= 16, s += 64, d += 48) {
        const __m256i a = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load256(s), c), join);
        const __m256i b =
            _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load256(s + 32), c), join);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(a));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(a, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 24), _mm256_castsi256_si128(b));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 40), _mm256_extracti128_si256(b, 1));
    }
}

} // namespace

#pragma GCC pop_options

namespace {

// 16 pixels to their results shifted left by the weighting's shift, one per 32-bit lane.
template <int K> PTC_TARGET_AVX512 inline __m512i weighAvx512(__m512i p) {
    constexpr Weights w = weightings[K];
    const __m512i masked = _mm512_and_si512(p, _mm512_set1_epi32(int32_t(w.mask)));
    return _mm512_madd_epi16(_mm512_maddubs_epi16(masked, _mm512_set1_epi32(byteWeights(w))),
                             _mm512_set1_epi32(wordWeights(w)));
}

// 16 pixels of the run from s, the lanes past count (if below 16) read as zero.
template <bool Partial>
PTC_TARGET_AVX512 inline __m512i loadPixels(const uint8_t* s, __mmask64 lanes, int group) {
    if constexpr (Partial)
        return _mm512_maskz_loadu_epi32(__mmask16(lanes >> (16 * group)), s + 64 * group);
    else
        return load512(s + 64 * group);
}

// 64 pixels (fewer when Partial) to 8-bit results: the packs work per 128-bit lane, the
// permute puts the 4-pixel groups back in order.
template <int K, bool Partial>
PTC_TARGET_AVX512 inline void narrow8Avx512(const uint8_t* s, uint8_t* d, int32_t count) {
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
PTC_TARGET_AVX512 inline void narrow16Avx512(const uint8_t* s, uint8_t* d, int32_t count) {
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
PTC_TARGET_AVX512 void reorderBlocksAvx512(const uint8_t*& sourceCursor,
                                           uint8_t*& destinationCursor, int32_t& remaining,
                                           const int8_t* control) {
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
PTC_TARGET_AVX512 void packBlocksAvx512(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
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
PTC_TARGET_AVX512 void narrowBlocksAvx512(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
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

template <int K>
void narrowBlocks(const uint8_t*& sourceCursor, uint8_t*& destinationCursor, int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    switch (simdLevel()) {
    case SIMD_AVX512:
        narrowBlocksAvx512<K>(s, d, n);
        break;
    case SIMD_AVX2:
        narrowBlocksAvx2<K>(s, d, n);
        break;
    case SIMD_SSSE3:
    case SIMD_SSE2:
        narrowBlocksSse2<K>(s, d, n);
        break;
    default:
        break;
    }
}

template <int K>
void reorderBlocks(const uint8_t*& sourceCursor, uint8_t*& destinationCursor, int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    switch (simdLevel()) {
    case SIMD_AVX512:
        reorderBlocksAvx512(s, d, n, reorderControls[K]);
        [[fallthrough]];
    case SIMD_AVX2:
        reorderBlocksAvx2(s, d, n, reorderControls[K]);
        break;
    case SIMD_SSSE3:
        reorderBlocksSsse3(s, d, n, reorderControls[K]);
        break;
    case SIMD_SSE2:
        reorderBlocksSse2<K>(s, d, n);
        break;
    default:
        break;
    }
}

// Without SSSE3 the 24-bit destinations stay per pixel.
void packBlocks(const uint8_t*& s, uint8_t*& d, int32_t& n, int which) {
    switch (simdLevel()) {
    case SIMD_AVX512:
        if (which == 0)
            packBlocksAvx512<0>(s, d, n);
        else
            packBlocksAvx512<1>(s, d, n);
        [[fallthrough]];
    case SIMD_AVX2:
        packBlocksAvx2(s, d, n, packControls[which]);
        break;
    case SIMD_SSSE3:
        packBlocksSsse3(s, d, n, packControls[which]);
        break;
    default:
        break;
    }
}

} // namespace

#else

namespace {
enum Reorder { TO_ABGR8888, TO_RGBA8888, TO_BGRA8888 };
template <int K> void narrowBlocks(const uint8_t*&, uint8_t*&, int32_t&) {}
template <int K> void reorderBlocks(const uint8_t*&, uint8_t*&, int32_t&) {}
void packBlocks(const uint8_t*&, uint8_t*&, int32_t&, int) {}
} // namespace

#endif

void convert_argb8888_abgr8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    reorderBlocks<TO_ABGR8888>(s, d, n);
    pixelLoop<4, 4>(s, d, n, toAbgr8888);
}
void convert_argb8888_rgba8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    reorderBlocks<TO_RGBA8888>(s, d, n);
    pixelLoop<4, 4>(s, d, n, toRgba8888);
}
void convert_argb8888_bgra8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    reorderBlocks<TO_BGRA8888>(s, d, n);
    pixelLoop<4, 4>(s, d, n, toBgra8888);
}
void convert_argb8888_rgb888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    packBlocks(s, d, n, 0);
    pixelLoop<4, 3>(s, d, n, toRgb888);
}
void convert_argb8888_bgr888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    packBlocks(s, d, n, 1);
    pixelLoop<4, 3>(s, d, n, toBgr888);
}
void convert_argb8888_rgb565(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    narrowBlocks<TO_RGB565>(s, d, n);
    pixelLoop<4, 2>(s, d, n, narrowPixel<TO_RGB565>);
}
void convert_argb8888_bgr565(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    narrowBlocks<TO_BGR565>(s, d, n);
    pixelLoop<4, 2>(s, d, n, narrowPixel<TO_BGR565>);
}
void convert_argb8888_argb1555(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    narrowBlocks<TO_ARGB1555>(s, d, n);
    pixelLoop<4, 2>(s, d, n, narrowPixel<TO_ARGB1555>);
}
void convert_argb8888_abgr1555(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    narrowBlocks<TO_ABGR1555>(s, d, n);
    pixelLoop<4, 2>(s, d, n, narrowPixel<TO_ABGR1555>);
}
void convert_argb8888_grey8(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    narrowBlocks<TO_GREY8>(s, d, n);
    pixelLoop<4, 1>(s, d, n, narrowPixel<TO_GREY8>);
}
void convert_argb8888_rgb332(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    narrowBlocks<TO_RGB332>(s, d, n);
    pixelLoop<4, 1>(s, d, n, narrowPixel<TO_RGB332>);
}

PTC_DEFINE_AREA(argb8888_abgr8888)
PTC_DEFINE_AREA(argb8888_rgba8888)
PTC_DEFINE_AREA(argb8888_bgra8888)
PTC_DEFINE_AREA(argb8888_rgb888)
PTC_DEFINE_AREA(argb8888_bgr888)
PTC_DEFINE_AREA(argb8888_rgb565)
PTC_DEFINE_AREA(argb8888_bgr565)
PTC_DEFINE_AREA(argb8888_argb1555)
PTC_DEFINE_AREA(argb8888_abgr1555)
PTC_DEFINE_AREA(argb8888_grey8)
PTC_DEFINE_AREA(argb8888_rgb332)
