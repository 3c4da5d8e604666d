#pragma once
#include <array>
#include <cstdint>

// What the variants of the routines from ARGB8888 (A 31..24, R 23..16, G 15..8, B 7..0) share.

namespace conversion {

// One channel of a shift-and-mask conversion: the source word shifted right by shift (left by
// -shift when negative), then masked. A routine of this kind adds its channel terms; where the
// masks are disjoint the sum is their OR.
struct ChannelTerm {
    int shift;
    uint32_t mask;
};
struct ChannelTerms {
    ChannelTerm terms[3];
};

template <class Word> constexpr Word shifted(Word v, int shift) {
    return shift >= 0 ? Word(v >> shift) : Word(v << -shift);
}
// Whether the mask removes anything the shift leaves in a word of that type.
template <class Word> constexpr bool maskMatters(ChannelTerm t) {
    return (shifted(Word(~Word(0)), t.shift) & Word(~t.mask)) != 0;
}
template <class Word> constexpr Word applyTerms(const ChannelTerms& c, Word v) {
    Word sum = 0;
    for (const ChannelTerm& t : c.terms) sum = Word(sum + (shifted(v, t.shift) & Word(t.mask)));
    return sum;
}

// The narrowing routines, each a sum of three shifted and masked channels of the source word.
enum Narrow { TO_RGB565, TO_BGR565, TO_ARGB1555, TO_ABGR1555, TO_GREY8, TO_RGB332 };
inline constexpr ChannelTerms narrowings[] = {
    {{{8, 0xF800}, {5, 0x7E0}, {3, 0x1F}}},   // RGB565: R, G, B
    {{{-8, 0xF800}, {5, 0x7E0}, {19, 0x1F}}}, // BGR565: B, G, R
    {{{9, 0x7C00}, {6, 0x3E0}, {3, 0x1F}}},   // ARGB1555: R, G, B; alpha bit 0
    {{{-7, 0x7C00}, {6, 0x3E0}, {19, 0x1F}}}, // ABGR1555: B, G, R; alpha bit 0
    {{{18, 0x3F}, {9, 0x7F}, {2, 0x3F}}},     // GREY8: R / 4 + G / 2 + B / 4, at most 253
    {{{16, 0xE0}, {11, 0x1C}, {6, 0x3}}},     // RGB332: R, G, B
};

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
inline constexpr Weights weightings[] = {
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

// Red and blue exchanged, or the word rotated by 8, or its bytes reversed.
enum Reorder { TO_ABGR8888, TO_RGBA8888, TO_BGRA8888 };
// Byte orders within a pixel, as shuffle controls: destination byte i takes source byte c[i].
alignas(16) inline constexpr int8_t reorderControls[3][16] = {
    {2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15}, // ABGR8888
    {3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14}, // RGBA8888
    {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12}, // BGRA8888
};

// The 24-bit packs: bytes B, G, R (RGB888) or R, G, B (BGR888) of each pixel.
enum Pack { TO_RGB888, TO_BGR888 };
// 4 pixels to 12 bytes at the bottom of a register.
alignas(16) inline constexpr int8_t packControls[2][16] = {
    {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1},
    {2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1},
};

} // namespace conversion
