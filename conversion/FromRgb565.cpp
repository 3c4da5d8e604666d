#include "conversion/Avx512.h"
#include "conversion/Routines.h"

// The eleven routines from RGB565 (R 15..11, G 10..5, B 4..0).

using namespace conversion;

namespace {

uint32_t expand(const ExpansionEntry* table, uint32_t q) {
    return table[q & 0xFFu].lowWord + table[q >> 8].highWord;
}

uint32_t toBgr565(uint32_t q) {
    return ((q >> 11) & 0x1Fu) | (q & 0x7E0u) | ((q & 0x1Fu) << 11);
}
uint32_t toArgb1555(uint32_t q) {
    return ((q >> 1) & 0x7FE0u) | (q & 0x1Fu);
}
uint32_t toAbgr1555(uint32_t q) {
    return ((q >> 11) & 0x1Fu) | ((q >> 1) & 0x3E0u) | ((q << 10) & 0x7C00u);
}
// 2 x (R5 + G6 + B5), at most 250.
uint32_t toGrey8(uint32_t q) {
    return 2 * ((q >> 11) + ((q >> 5) & 0x3Fu) + (q & 0x1Fu));
}
uint32_t toRgb332(uint32_t q) {
    return ((q & 0xE000u) >> 8) | ((q & 0x700u) >> 6) | ((q & 0x18u) >> 3);
}

void expandLoop(const ExpansionEntry* table, const uint8_t*& s, uint8_t*& d, int32_t n) {
    pixelLoop<2, 4>(s, d, n, [table](uint32_t q) { return expand(table, q); });
}

} // namespace

#if defined(__SSE2__)
#include <immintrin.h>

namespace {

// The batched paths compute the expansion tables' values with multiplications that match
// them exactly for every channel value (the tests compare all 65536 pixels): red and blue
// trunc(v x 255/31 in single precision) = (v x 2105) >> 8, green (g x 16555) >> 12.

enum Expand { TO_ARGB8888, TO_ABGR8888, TO_RGBA8888, TO_BGRA8888 };
enum Repack { TO_BGR565, TO_ARGB1555, TO_ABGR1555, TO_GREY8, TO_RGB332 };

inline __m128i load128(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store128(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// 8 pixels to two registers of 4 32-bit pixels.
template <int K> inline void expandSse2(__m128i q, __m128i& first, __m128i& second) {
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

template <int K>
void expandBlocksSse2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                      int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    for (; n >= 8; n -= 8, s += 16, d += 32) {
        __m128i a, b;
        expandSse2<K>(load128(s), a, b);
        store128(d, a);
        store128(d + 16, b);
    }
}

// 8 pixels to 8 results of 16 bits, or of 8 bits in the low byte of each lane.
template <int K> inline __m128i repackSse2(__m128i q) {
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

template <int K>
void repackBlocksSse2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                      int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    if constexpr (K == TO_GREY8 || K == TO_RGB332) {
        for (; n >= 16; n -= 16, s += 32, d += 16)
            store128(d,
                     _mm_packus_epi16(repackSse2<K>(load128(s)), repackSse2<K>(load128(s + 16))));
    } else {
        for (; n >= 16; n -= 16, s += 32, d += 32) {
            store128(d, repackSse2<K>(load128(s)));
            store128(d + 16, repackSse2<K>(load128(s + 16)));
        }
    }
}

// 4 32-bit pixels to 12 bytes at the bottom of the register, lowest three bytes of each.
alignas(16) const int8_t packControl[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1};

} // namespace

#pragma GCC push_options
#pragma GCC target("ssse3")

namespace {

// 16 pixels: expanded to 32 bits, then four 12-byte groups joined into three stores.
template <int K>
void expand24BlocksSsse3(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                         int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    const __m128i c = _mm_load_si128(reinterpret_cast<const __m128i*>(packControl));
    for (; n >= 16; n -= 16, s += 32, d += 48) {
        __m128i a, b, e, f;
        expandSse2<K>(load128(s), a, b);
        expandSse2<K>(load128(s + 16), e, f);
        a = _mm_shuffle_epi8(a, c);
        b = _mm_shuffle_epi8(b, c);
        e = _mm_shuffle_epi8(e, c);
        f = _mm_shuffle_epi8(f, c);
        store128(d, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        store128(d + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(e, 8)));
        store128(d + 32, _mm_or_si128(_mm_srli_si128(e, 8), _mm_slli_si128(f, 4)));
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

// 16 pixels to two registers of 8 32-bit pixels, in order.
template <int K> inline void expandAvx2(__m256i q, __m256i& first, __m256i& second) {
    // Unpacking works per 128-bit lane: spread pixels 0-3 and 4-7 over the two lanes first.
    q = _mm256_permute4x64_epi64(q, 0xD8);
    const __m256i r = _mm256_srli_epi16(
        _mm256_mulhi_epu16(_mm256_and_si256(q, _mm256_set1_epi16(int16_t(0xF800))),
                           _mm256_set1_epi16(2105)),
        3);
    const __m256i g = _mm256_srli_epi16(
        _mm256_mulhi_epu16(_mm256_and_si256(q, _mm256_set1_epi16(0x7E0)), _mm256_set1_epi16(16555)),
        1);
    const __m256i b = _mm256_srli_epi16(
        _mm256_mullo_epi16(_mm256_and_si256(q, _mm256_set1_epi16(0x1F)), _mm256_set1_epi16(2105)),
        8);
    __m256i low, high;
    if constexpr (K == TO_ARGB8888) low = _mm256_or_si256(b, _mm256_slli_epi16(g, 8)), high = r;
    if constexpr (K == TO_ABGR8888) low = _mm256_or_si256(r, _mm256_slli_epi16(g, 8)), high = b;
    if constexpr (K == TO_RGBA8888)
        low = _mm256_slli_epi16(b, 8), high = _mm256_or_si256(g, _mm256_slli_epi16(r, 8));
    if constexpr (K == TO_BGRA8888)
        low = _mm256_slli_epi16(r, 8), high = _mm256_or_si256(g, _mm256_slli_epi16(b, 8));
    first = _mm256_unpacklo_epi16(low, high);
    second = _mm256_unpackhi_epi16(low, high);
}

template <int K>
void expandBlocksAvx2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                      int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    for (; n >= 16; n -= 16, s += 32, d += 64) {
        __m256i a, b;
        expandAvx2<K>(load256(s), a, b);
        store256(d, a);
        store256(d + 32, b);
    }
}

// 16 pixels to 48 bytes: 12 per lane, the lanes joined, stored as 16 + 8 bytes twice.
template <int K>
void expand24BlocksAvx2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                        int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    const __m256i c =
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(packControl)));
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    for (; n >= 16; n -= 16, s += 32, d += 48) {
        __m256i a, b;
        expandAvx2<K>(load256(s), a, b);
        a = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(a, c), join);
        b = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(b, c), join);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(a));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(a, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 24), _mm256_castsi256_si128(b));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 40), _mm256_extracti128_si256(b, 1));
    }
}

template <int K> inline __m256i repackAvx2(__m256i q) {
    if constexpr (K == TO_BGR565)
        return _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi16(q, 11),
                                               _mm256_and_si256(q, _mm256_set1_epi16(0x7E0))),
                               _mm256_slli_epi16(q, 11));
    if constexpr (K == TO_ARGB1555)
        return _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(q, 1), _mm256_set1_epi16(0x7FE0)),
                               _mm256_and_si256(q, _mm256_set1_epi16(0x1F)));
    if constexpr (K == TO_ABGR1555)
        return _mm256_or_si256(
            _mm256_or_si256(_mm256_srli_epi16(q, 11),
                            _mm256_and_si256(_mm256_srli_epi16(q, 1), _mm256_set1_epi16(0x3E0))),
            _mm256_and_si256(_mm256_slli_epi16(q, 10), _mm256_set1_epi16(0x7C00)));
    if constexpr (K == TO_GREY8) {
        const __m256i sum = _mm256_add_epi16(
            _mm256_add_epi16(_mm256_srli_epi16(q, 11),
                             _mm256_and_si256(_mm256_srli_epi16(q, 5), _mm256_set1_epi16(0x3F))),
            _mm256_and_si256(q, _mm256_set1_epi16(0x1F)));
        return _mm256_add_epi16(sum, sum);
    }
    if constexpr (K == TO_RGB332)
        return _mm256_or_si256(
            _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(q, 8), _mm256_set1_epi16(0xE0)),
                            _mm256_and_si256(_mm256_srli_epi16(q, 6), _mm256_set1_epi16(0x1C))),
            _mm256_and_si256(_mm256_srli_epi16(q, 3), _mm256_set1_epi16(0x3)));
}

template <int K>
void repackBlocksAvx2(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                      int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    if constexpr (K == TO_GREY8 || K == TO_RGB332) {
        for (; n >= 32; n -= 32, s += 64, d += 32) {
            // The pack works per 128-bit lane; the 64-bit permute restores pixel order.
            const __m256i bytes =
                _mm256_packus_epi16(repackAvx2<K>(load256(s)), repackAvx2<K>(load256(s + 32)));
            store256(d, _mm256_permute4x64_epi64(bytes, 0xD8));
        }
    } else {
        for (; n >= 32; n -= 32, s += 64, d += 64) {
            store256(d, repackAvx2<K>(load256(s)));
            store256(d + 32, repackAvx2<K>(load256(s + 32)));
        }
    }
}

} // namespace

#pragma GCC pop_options

// With AVX-512, 32 pixels at a time: a multishift moves each channel's bits to the low bits
// of a byte of its own, a byte permute looks up the widened channel in a 64-entry table, and
// one byte permute per 64 output bytes takes every destination byte from where its channel is.

namespace {

enum Channel { NO_CHANNEL, BLUE, GREEN, RED };
// The bytes of a destination pixel, lowest first.
struct ByteOrder {
    Channel bytes[4];
};
constexpr ByteOrder byteOrders[] = {
    {{BLUE, GREEN, RED, NO_CHANNEL}}, // ARGB8888 (and RGB888)
    {{RED, GREEN, BLUE, NO_CHANNEL}}, // ABGR8888 (and BGR888)
    {{NO_CHANNEL, BLUE, GREEN, RED}}, // RGBA8888
    {{NO_CHANNEL, RED, GREEN, BLUE}}, // BGRA8888
};

// Permute controls for 32 pixels of Bytes bytes, 64 output bytes each. Pixel p = 4k + j
// (word j of quadword k) has its blue in byte 8k + j and its red in byte 8k + 4 + j of the
// first register, its green in byte 8k + j of the second (64 + 8k + j).
template <int K, int Bytes> constexpr std::array<uint8_t, 128> widenControl() {
    std::array<uint8_t, 128> control{};
    for (int j = 0; j < 32 * Bytes; ++j) {
        const int p = j / Bytes, at = 8 * (p / 4) + p % 4;
        const Channel c = byteOrders[K].bytes[j % Bytes];
        control[size_t(j)] = uint8_t(c == BLUE ? at : c == GREEN ? 64 + at : c == RED ? at + 4 : 0);
    }
    return control;
}
template <int K, int Bytes>
alignas(64) constexpr std::array<uint8_t, 128> widenControls = widenControl<K, Bytes>();

// The destination bytes that hold a channel (the rest are zero), for one 64-byte store.
template <int K> constexpr __mmask64 channelBytes() {
    __mmask64 mask = 0;
    for (int j = 0; j < 64; ++j)
        if (byteOrders[K].bytes[j % 4] != NO_CHANNEL) mask |= __mmask64(1) << j;
    return mask;
}

// The bit offsets, within each quadword of four pixels, of the blue fields then the red ones,
// and of the green fields (repeated). A field's byte also holds the bits above it, which the
// tables ignore: a byte permute reads an index's low six bits, and the 5-bit table repeats.
constexpr int64_t blueRedFields = 0x3B2B1B0B30201000;
constexpr int64_t greenFields = 0x3525150535251505;

// trunc(v x 255/31) = (v x 2105) >> 8 and trunc(g x 255/63) = (g << 5) x 8278 >> 16 for
// every channel value.
alignas(64) constexpr std::array<uint8_t, 64> widened5 = [] {
    std::array<uint8_t, 64> table{};
    for (int i = 0; i < 64; ++i) table[size_t(i)] = uint8_t((i % 32 * 2105) >> 8);
    return table;
}();
alignas(64) constexpr std::array<uint8_t, 64> widened6 = [] {
    std::array<uint8_t, 64> table{};
    for (int i = 0; i < 64; ++i) table[size_t(i)] = uint8_t((i << 5) * 8278 >> 16);
    return table;
}();

// Blue and red of 32 pixels widened, as placed by blueRedFields, and their green by greenFields.
PTC_TARGET_AVX512 inline void widenChannels(__m512i q, __m512i& blueRed, __m512i& green) {
    blueRed = permuteBytes(
        _mm512_maskz_multishift_epi64_epi8(~__mmask64(0), _mm512_set1_epi64(blueRedFields), q),
        load512(widened5.data()));
    green = permuteBytes(
        _mm512_maskz_multishift_epi64_epi8(~__mmask64(0), _mm512_set1_epi64(greenFields), q),
        load512(widened6.data()));
}

// 32 pixels (fewer when Partial) expanded to 32-bit pixels (Bytes 4) or to three bytes each.
template <int K, int Bytes, bool Partial>
PTC_TARGET_AVX512 inline void widenAvx512(const uint8_t* s, uint8_t* d, int32_t count) {
    const __mmask32 lanes = __mmask32(firstLanes(count));
    __m512i blueRed, green;
    widenChannels(Partial ? _mm512_maskz_loadu_epi16(lanes, s) : load512(s), blueRed, green);
    const uint8_t* control = widenControls<K, Bytes>.data();
    if constexpr (Bytes == 3) {
        const __m512i first = _mm512_permutex2var_epi8(blueRed, load512(control), green);
        const __m512i second = _mm512_permutex2var_epi8(blueRed, load512(control + 64), green);
        if constexpr (Partial) {
            const int32_t bytes = 3 * count;
            _mm512_mask_storeu_epi8(d, firstLanes(bytes), first);
            if (bytes > 64) _mm512_mask_storeu_epi8(d + 64, firstLanes(bytes - 64), second);
        } else {
            store512(d, first);
            storeLowHalf(d + 64, second);
        }
    } else {
        constexpr __mmask64 channels = channelBytes<K>();
        const __m512i first =
            _mm512_maskz_permutex2var_epi8(channels, blueRed, load512(control), green);
        const __m512i second =
            _mm512_maskz_permutex2var_epi8(channels, blueRed, load512(control + 64), green);
        if constexpr (Partial) {
            _mm512_mask_storeu_epi32(d, __mmask16(lanes), first);
            _mm512_mask_storeu_epi32(d + 64, __mmask16(lanes >> 16), second);
        } else {
            store512(d, first);
            store512(d + 64, second);
        }
    }
}

// 64 pixels to 24-bit pixels: two blocks' 96 bytes each rejoined into three 64-byte stores,
// which line up with the destination's cache lines where it does.
template <int K> PTC_TARGET_AVX512 inline void widen24Pair(const uint8_t* s, uint8_t* d) {
    const __m512i first = load512(widenControls<K, 3>.data());
    const __m512i second = load512(widenControls<K, 3>.data() + 64);
    __m512i blueRed, green;
    widenChannels(load512(s), blueRed, green);
    const __m512i a0 = _mm512_permutex2var_epi8(blueRed, first, green);
    const __m512i a1 = _mm512_permutex2var_epi8(blueRed, second, green);
    widenChannels(load512(s + 64), blueRed, green);
    const __m512i b0 = _mm512_permutex2var_epi8(blueRed, first, green);
    const __m512i b1 = _mm512_permutex2var_epi8(blueRed, second, green);
    store512(d, a0);
    store512(d + 64, shuffleLanes<0x44>(a1, b0));
    store512(d + 128, shuffleLanes<0x4E>(b0, b1));
}

template <int K, int Bytes>
PTC_TARGET_AVX512 void widenBlocksAvx512(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                                         int32_t& remaining) {
    Cursors c(sourceCursor, destinationCursor, remaining);
    if constexpr (Bytes == 3)
        for (; c.n >= 64; c.n -= 64, c.s += 128, c.d += 192) widen24Pair<K>(c.s, c.d);
    for (; c.n >= 32; c.n -= 32, c.s += 64, c.d += 32 * Bytes)
        widenAvx512<K, Bytes, false>(c.s, c.d, 32);
    if (c.n > 0) {
        widenAvx512<K, Bytes, true>(c.s, c.d, c.n);
        c.s += 2 * c.n, c.d += Bytes * c.n, c.n = 0;
    }
}

// GREY8 is 2 x (R5 + G6 + B5) = greyOfHigh[high byte] + greyOfLow[low byte], at most
// 174 + 76 = 250: with the high byte rrrrrggg and the low byte gggbbbbb, green's high three
// bits count eight times.
alignas(64) constexpr std::array<uint8_t, 256> greyOfHigh = [] {
    std::array<uint8_t, 256> table{};
    for (int h = 0; h < 256; ++h) table[size_t(h)] = uint8_t(2 * ((h >> 3) + 8 * (h & 7)));
    return table;
}();
alignas(64) constexpr std::array<uint8_t, 256> greyOfLow = [] {
    std::array<uint8_t, 256> table{};
    for (int l = 0; l < 256; ++l) table[size_t(l)] = uint8_t(2 * ((l >> 5) + (l & 31)));
    return table;
}();

struct Repack8 {
    __m512i even, odd;
    ByteTable high, low; // GREY8 only
};

// 64 pixels (fewer when Partial) to their 8-bit results. Their 64 high bytes (rrrrrggg) and
// 64 low bytes (gggbbbbb) are taken apart first, so every later step serves 64 pixels.
template <int K, bool Partial>
PTC_TARGET_AVX512 inline void repack8Block(const Repack8& r, const uint8_t* s, uint8_t* d,
                                           int32_t count) {
    const __mmask64 lanes = firstLanes(count);
    const __m512i a = Partial ? _mm512_maskz_loadu_epi16(__mmask32(lanes), s) : load512(s);
    const __m512i b =
        Partial ? _mm512_maskz_loadu_epi16(__mmask32(lanes >> 32), s + 64) : load512(s + 64);
    const __m512i high = _mm512_permutex2var_epi8(a, r.odd, b);
    const __m512i low = _mm512_permutex2var_epi8(a, r.even, b);
    __m512i bytes;
    if constexpr (K == TO_RGB332) {
        // The shifts work on words; the selects keep only bits that stayed within their byte.
        const __m512i redGreen = _mm512_ternarylogic_epi32(_mm512_set1_epi8(char(0xE0)), high,
                                                           _mm512_slli_epi16(high, 2), 0xCA);
        bytes = _mm512_ternarylogic_epi32(_mm512_set1_epi8(char(0xFC)), redGreen,
                                          _mm512_srli_epi16(low, 3), 0xCA);
    } else {
        bytes = _mm512_add_epi8(lookupBytes(r.high, high, _mm512_movepi8_mask(high)),
                                lookupBytes(r.low, low, _mm512_movepi8_mask(low)));
    }
    if constexpr (Partial)
        _mm512_mask_storeu_epi8(d, lanes, bytes);
    else
        store512(d, bytes);
}

template <int K>
PTC_TARGET_AVX512 void repack8BlocksAvx512(const uint8_t*& sourceCursor,
                                           uint8_t*& destinationCursor, int32_t& remaining) {
    Cursors c(sourceCursor, destinationCursor, remaining);
    Repack8 r;
    r.even = load512(evenBytes.data());
    r.odd = _mm512_add_epi8(r.even, _mm512_set1_epi8(1));
    if constexpr (K == TO_GREY8) {
        r.high = loadByteTable(greyOfHigh.data());
        r.low = loadByteTable(greyOfLow.data());
    }
    for (; c.n >= 64; c.n -= 64, c.s += 128, c.d += 64) repack8Block<K, false>(r, c.s, c.d, 64);
    if (c.n > 0) {
        repack8Block<K, true>(r, c.s, c.d, c.n);
        c.s += 2 * c.n, c.d += c.n, c.n = 0;
    }
}

} // namespace

namespace {

template <int K> void expandBlocks(const uint8_t*& s, uint8_t*& d, int32_t& n) {
    switch (simdLevel()) {
    case SIMD_AVX512:
        widenBlocksAvx512<K, 4>(s, d, n);
        break;
    case SIMD_AVX2:
        expandBlocksAvx2<K>(s, d, n);
        break;
    case SIMD_SSSE3:
    case SIMD_SSE2:
        expandBlocksSse2<K>(s, d, n);
        break;
    default:
        break;
    }
}

// Without SSSE3 the 24-bit destinations stay per pixel.
template <int K> void expand24Blocks(const uint8_t*& s, uint8_t*& d, int32_t& n) {
    switch (simdLevel()) {
    case SIMD_AVX512:
        widenBlocksAvx512<K, 3>(s, d, n);
        break;
    case SIMD_AVX2:
        expand24BlocksAvx2<K>(s, d, n);
        break;
    case SIMD_SSSE3:
        expand24BlocksSsse3<K>(s, d, n);
        break;
    default:
        break;
    }
}

template <int K> void repackBlocks(const uint8_t*& s, uint8_t*& d, int32_t& n) {
    switch (simdLevel()) {
    case SIMD_AVX512:
        if constexpr (K == TO_GREY8 || K == TO_RGB332) {
            repack8BlocksAvx512<K>(s, d, n);
            break;
        }
        [[fallthrough]];
    case SIMD_AVX2:
        repackBlocksAvx2<K>(s, d, n);
        break;
    case SIMD_SSSE3:
    case SIMD_SSE2:
        repackBlocksSse2<K>(s, d, n);
        break;
    default:
        break;
    }
}

} // namespace

#else

namespace {
enum Expand { TO_ARGB8888, TO_ABGR8888, TO_RGBA8888, TO_BGRA8888 };
enum Repack { TO_BGR565, TO_ARGB1555, TO_ABGR1555, TO_GREY8, TO_RGB332 };
template <int K> void expandBlocks(const uint8_t*&, uint8_t*&, int32_t&) {}
template <int K> void expand24Blocks(const uint8_t*&, uint8_t*&, int32_t&) {}
template <int K> void repackBlocks(const uint8_t*&, uint8_t*&, int32_t&) {}
} // namespace

#endif

void convert_rgb565_argb8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandBlocks<TO_ARGB8888>(s, d, n);
    expandLoop(expansion[EXPAND_ARGB8888], s, d, n);
}
void convert_rgb565_abgr8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandBlocks<TO_ABGR8888>(s, d, n);
    expandLoop(expansion[EXPAND_ABGR8888], s, d, n);
}
void convert_rgb565_rgba8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandBlocks<TO_RGBA8888>(s, d, n);
    expandLoop(expansion[EXPAND_RGBA8888], s, d, n);
}
void convert_rgb565_bgra8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandBlocks<TO_BGRA8888>(s, d, n);
    expandLoop(expansion[EXPAND_BGRA8888], s, d, n);
}
void convert_rgb565_rgb888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expand24Blocks<TO_ARGB8888>(s, d, n);
    const ExpansionEntry* table = expansion[EXPAND_ARGB8888];
    pixelLoop<2, 3>(s, d, n, [table](uint32_t q) { return expand(table, q); });
}
void convert_rgb565_bgr888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expand24Blocks<TO_ABGR8888>(s, d, n);
    const ExpansionEntry* table = expansion[EXPAND_ABGR8888];
    pixelLoop<2, 3>(s, d, n, [table](uint32_t q) { return expand(table, q); });
}
void convert_rgb565_bgr565(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    repackBlocks<TO_BGR565>(s, d, n);
    pixelLoop<2, 2>(s, d, n, toBgr565);
}
void convert_rgb565_argb1555(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    repackBlocks<TO_ARGB1555>(s, d, n);
    pixelLoop<2, 2>(s, d, n, toArgb1555);
}
void convert_rgb565_abgr1555(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    repackBlocks<TO_ABGR1555>(s, d, n);
    pixelLoop<2, 2>(s, d, n, toAbgr1555);
}
void convert_rgb565_grey8(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    repackBlocks<TO_GREY8>(s, d, n);
    pixelLoop<2, 1>(s, d, n, toGrey8);
}
void convert_rgb565_rgb332(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    repackBlocks<TO_RGB332>(s, d, n);
    pixelLoop<2, 1>(s, d, n, toRgb332);
}

PTC_DEFINE_AREA(rgb565_argb8888)
PTC_DEFINE_AREA(rgb565_abgr8888)
PTC_DEFINE_AREA(rgb565_rgba8888)
PTC_DEFINE_AREA(rgb565_bgra8888)
PTC_DEFINE_AREA(rgb565_rgb888)
PTC_DEFINE_AREA(rgb565_bgr888)
PTC_DEFINE_AREA(rgb565_bgr565)
PTC_DEFINE_AREA(rgb565_argb1555)
PTC_DEFINE_AREA(rgb565_abgr1555)
PTC_DEFINE_AREA(rgb565_grey8)
PTC_DEFINE_AREA(rgb565_rgb332)
