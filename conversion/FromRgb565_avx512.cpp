#include "conversion/Avx512.h"
#include "conversion/FromRgb565.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

// The routines from RGB565 with AVX-512, 32 pixels at a time: a multishift moves each channel's
// bits to the low bits of a byte of its own, a byte permute looks up the widened channel in a
// 64-entry table, and one byte permute per 64 output bytes takes every destination byte from
// where its channel is. The pixels before the destination's first 64-byte boundary and those
// after the last whole block go through the AVX2 variant: plain stores, where masked ones are
// slow on some processors (AMD's Zen 4 among them). The expansions to 32-bit pixels stay with
// AVX2, which was as fast or faster.

using namespace conversion;
using Vector = Avx512Vector;

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

// The bit offsets, within each quadword of four pixels, of the blue fields then the red ones,
// and of the green fields (repeated). A field's byte also holds the bits above it, which the
// tables ignore: a byte permute reads an index's low six bits, and the 5-bit table repeats.
constexpr int64_t blueRedFields = 0x3B2B1B0B30201000;
constexpr int64_t greenFields = 0x3525150535251505;

// The widened channels by value, the 5-bit table repeated.
alignas(64) constexpr std::array<uint8_t, 64> widened5 = [] {
    std::array<uint8_t, 64> table{};
    for (uint32_t i = 0; i < 64; ++i) table[i] = channel_expansion::expand5(i % 32);
    return table;
}();
alignas(64) constexpr std::array<uint8_t, 64> widened6 = [] {
    std::array<uint8_t, 64> table{};
    for (uint32_t i = 0; i < 64; ++i) table[i] = channel_expansion::expand6(i);
    return table;
}();

// Blue and red of 32 pixels widened, as placed by blueRedFields, and their green by greenFields.
inline void widenChannels(__m512i q, __m512i& blueRed, __m512i& green) {
    blueRed = permuteBytes(
        _mm512_maskz_multishift_epi64_epi8(~__mmask64(0), _mm512_set1_epi64(blueRedFields), q),
        load512(widened5.data()));
    green = permuteBytes(
        _mm512_maskz_multishift_epi64_epi8(~__mmask64(0), _mm512_set1_epi64(greenFields), q),
        load512(widened6.data()));
}

// 32 pixels expanded to three bytes each.
template <int K> inline void widenAvx512(const uint8_t* s, uint8_t* d) {
    __m512i blueRed, green;
    widenChannels(load512(s), blueRed, green);
    const uint8_t* control = widenControls<K, 3>.data();
    store512(d, _mm512_permutex2var_epi8(blueRed, load512(control), green));
    storeLowHalf(d + 64, _mm512_permutex2var_epi8(blueRed, load512(control + 64), green));
}

// 64 pixels to 24-bit pixels: two blocks' 96 bytes each rejoined into three 64-byte stores,
// which line up with the destination's cache lines where it does.
template <int K> inline void widen24Pair(const uint8_t* s, uint8_t* d) {
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

template <int K>
void widenBlocksAvx512(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                       int32_t& remaining) {
    Cursors c(sourceCursor, destinationCursor, remaining);
    for (; c.n >= 64; c.n -= 64, c.s += 128, c.d += 192) widen24Pair<K>(c.s, c.d);
    for (; c.n >= 32; c.n -= 32, c.s += 64, c.d += 96) widenAvx512<K>(c.s, c.d);
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

// 64 pixels to their 8-bit results. Their 64 high bytes (rrrrrggg) and 64 low bytes
// (gggbbbbb) are taken apart first, so every later step serves 64 pixels.
template <int K> inline void repack8Block(const Repack8& r, const uint8_t* s, uint8_t* d) {
    const __m512i a = load512(s), b = load512(s + 64);
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
    store512(d, bytes);
}

template <int K>
void repack8BlocksAvx512(const uint8_t*& sourceCursor, uint8_t*& destinationCursor,
                         int32_t& remaining) {
    Cursors c(sourceCursor, destinationCursor, remaining);
    Repack8 r;
    r.even = load512(evenBytes.data());
    r.odd = _mm512_add_epi8(r.even, _mm512_set1_epi8(1));
    if constexpr (K == TO_GREY8) {
        r.high = loadByteTable(greyOfHigh.data());
        r.low = loadByteTable(greyOfLow.data());
    }
    for (; c.n >= 64; c.n -= 64, c.s += 128, c.d += 64) repack8Block<K>(r, c.s, c.d);
}

} // namespace

// These were 10 to 50% faster than AVX2 in the cache, but 10 to 40% slower on frames from main
// memory: areas above the second-level cache go to the AVX2 variants.
constexpr int64_t AVX2_FROM = int64_t(1) << 20;

#define PTC_AVX512_IN_CACHE(name, blocks, bytes)                                                   \
    void convert_##name##_avx512(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {  \
        alignDestination<Vector::BYTES, bytes>(s, d, n, lookup, convert_##name##_avx2);            \
        blocks(s, d, n);                                                                           \
        convert_##name##_avx2(s, d, n, lookup);                                                    \
    }                                                                                              \
    void area_##name##_avx512(AREA& area, const void* lookup) {                                    \
        const int64_t rowBytes = int64_t(area.destinationPitch) - area.destinationSkip;            \
        if (rowBytes * area.height >= AVX2_FROM) return area_##name##_avx2(area, lookup);          \
        walkArea<convert_##name##_avx512, Vector>(area, lookup);                                   \
    }

PTC_AVX512_IN_CACHE(rgb565_rgb888, widenBlocksAvx512<TO_ARGB8888>, 3)
PTC_AVX512_IN_CACHE(rgb565_bgr888, widenBlocksAvx512<TO_ABGR8888>, 3)
PTC_AVX512_IN_CACHE(rgb565_grey8, repack8BlocksAvx512<TO_GREY8>, 1)
PTC_AVX512_IN_CACHE(rgb565_rgb332, repack8BlocksAvx512<TO_RGB332>, 1)
