#include "conversion/Avx2.h"
#include "conversion/FromRgb565.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"
#include "conversion/Sse2.h"

#include <array>

// The routines from RGB565 with AVX2, 16 or 32 pixels a step.

using namespace conversion;
using Vector = Avx2Vector;

namespace {

// 16 pixels to two registers of 8 32-bit pixels, in order.
template <int K> inline void expand16(__m256i q, __m256i& first, __m256i& second) {
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
void expandBlocks(const uint8_t*& sourceCursor, uint8_t*& destinationCursor, int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    for (; n >= 16; n -= 16, s += 32, d += 64) {
        __m256i a, b;
        expand16<K>(load256(s), a, b);
        store256(d, a);
        store256(d + 32, b);
    }
}

// 32 pixels to 96 bytes in three whole stores. Each 16 bytes of output hold parts of at most
// six pixels, so each half of an output register is made from a window of eight pixels loaded
// into its own lane, and two byte shuffles per register take the bytes from where they lie:
// no shuffle has to cross lanes. Blue and red widen into one word per pixel, green into another.
inline void widen24(__m256i q, __m256i& blueRed, __m256i& green) {
    const __m256i b = _mm256_srli_epi16(
        _mm256_mullo_epi16(_mm256_and_si256(q, _mm256_set1_epi16(0x1F)), _mm256_set1_epi16(2105)),
        8);
    const __m256i r =
        _mm256_and_si256(_mm256_mullo_epi16(_mm256_srli_epi16(q, 11), _mm256_set1_epi16(2105)),
                         _mm256_set1_epi16(int16_t(0xFF00)));
    blueRed = _mm256_or_si256(b, r);
    green =
        _mm256_mulhi_epu16(_mm256_and_si256(q, _mm256_set1_epi16(0x7E0)), _mm256_set1_epi16(8278));
}

// The first pixel of the window of each 16 output bytes: output bytes 16j to 16j + 15 hold
// parts of pixels 16j / 3 to (16j + 15) / 3, all inside the block.
constexpr int windows[6] = {0, 4, 8, 16, 20, 24};

// Shuffle controls for output register k: from the blue-red words, then from the green words.
// K is TO_ARGB8888 for B, G, R bytes (RGB888) or TO_ABGR8888 for R, G, B (BGR888).
template <int K> constexpr std::array<int8_t, 192> windowControls() {
    std::array<int8_t, 192> control{};
    for (int k = 0; k < 3; ++k)
        for (int half = 0; half < 2; ++half)
            for (int i = 0; i < 16; ++i) {
                const int j = 2 * k + half, byte = 16 * j + i;
                const int pixel = byte / 3 - windows[j], channel = byte % 3; // 0 first, 2 last
                const bool blueFirst = K == TO_ARGB8888;
                const int red = blueFirst ? 2 : 0;
                const size_t at = size_t(64 * k + 16 * half + i);
                control[at] = int8_t(channel == 1     ? -1
                                     : channel == red ? 2 * pixel + 1
                                                      : 2 * pixel);
                control[at + 32] = int8_t(channel == 1 ? 2 * pixel : -1);
            }
    return control;
}
template <int K> alignas(32) constexpr std::array<int8_t, 192> windowControl = windowControls<K>();

template <int K>
void expand24Blocks(const uint8_t*& source, uint8_t*& destination, int32_t& count) {
    Cursors c(source, destination, count);
    __m256i fromBlueRed[3], fromGreen[3];
    for (int k = 0; k < 3; ++k) {
        fromBlueRed[k] = load256(windowControl<K>.data() + 64 * k);
        fromGreen[k] = load256(windowControl<K>.data() + 64 * k + 32);
    }
    for (; c.n >= 32; c.n -= 32, c.s += 64, c.d += 96) {
        for (int k = 0; k < 3; ++k) {
            const __m256i q =
                _mm256_inserti128_si256(_mm256_castsi128_si256(load128(c.s + 2 * windows[2 * k])),
                                        load128(c.s + 2 * windows[2 * k + 1]), 1);
            __m256i blueRed, green;
            widen24(q, blueRed, green);
            store256(c.d + 32 * k, _mm256_or_si256(_mm256_shuffle_epi8(blueRed, fromBlueRed[k]),
                                                   _mm256_shuffle_epi8(green, fromGreen[k])));
        }
    }
}

template <int K> inline __m256i repack16(__m256i q) {
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
void repackBlocks(const uint8_t*& sourceCursor, uint8_t*& destinationCursor, int32_t& remaining) {
    Cursors cursors(sourceCursor, destinationCursor, remaining);
    const uint8_t*& s = cursors.s;
    uint8_t*& d = cursors.d;
    int32_t& n = cursors.n;
    if constexpr (K == TO_GREY8 || K == TO_RGB332) {
        for (; n >= 32; n -= 32, s += 64, d += 32) {
            // The pack works per 128-bit lane; the 64-bit permute restores pixel order.
            const __m256i bytes =
                _mm256_packus_epi16(repack16<K>(load256(s)), repack16<K>(load256(s + 32)));
            store256(d, _mm256_permute4x64_epi64(bytes, 0xD8));
        }
    } else {
        for (; n >= 32; n -= 32, s += 64, d += 64) {
            store256(d, repack16<K>(load256(s)));
            store256(d + 32, repack16<K>(load256(s + 32)));
        }
    }
}

} // namespace

PTC_BLOCKS_THEN(rgb565_argb8888_avx2, expandBlocks<TO_ARGB8888>, rgb565_argb8888, 4)
PTC_BLOCKS_THEN(rgb565_abgr8888_avx2, expandBlocks<TO_ABGR8888>, rgb565_abgr8888, 4)
PTC_BLOCKS_THEN(rgb565_rgba8888_avx2, expandBlocks<TO_RGBA8888>, rgb565_rgba8888, 4)
PTC_BLOCKS_THEN(rgb565_bgra8888_avx2, expandBlocks<TO_BGRA8888>, rgb565_bgra8888, 4)
PTC_BLOCKS_THEN(rgb565_rgb888_avx2, expand24Blocks<TO_ARGB8888>, rgb565_rgb888, 3)
PTC_BLOCKS_THEN(rgb565_bgr888_avx2, expand24Blocks<TO_ABGR8888>, rgb565_bgr888, 3)
PTC_BLOCKS_THEN(rgb565_bgr565_avx2, repackBlocks<TO_BGR565>, rgb565_bgr565, 2)
PTC_BLOCKS_THEN(rgb565_argb1555_avx2, repackBlocks<TO_ARGB1555>, rgb565_argb1555, 2)
PTC_BLOCKS_THEN(rgb565_abgr1555_avx2, repackBlocks<TO_ABGR1555>, rgb565_abgr1555, 2)
PTC_BLOCKS_THEN(rgb565_grey8_avx2, repackBlocks<TO_GREY8>, rgb565_grey8, 1)
PTC_BLOCKS_THEN(rgb565_rgb332_avx2, repackBlocks<TO_RGB332>, rgb565_rgb332, 1)
