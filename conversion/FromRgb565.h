#pragma once
#include "format/ChannelExpansion.h"
#include "format/Format.h"

#include <cstdint>

// What the variants of the routines from RGB565 (R 15..11, G 10..5, B 4..0) share.

namespace conversion {

// RGB565 expansion: a pixel with low byte lo and high byte hi becomes
// table[lo].lowWord + table[hi].highWord in the table's 32-bit format.
struct ExpansionEntry {
    uint32_t lowWord;  // green's low three bits and blue
    uint32_t highWord; // red and green's high three bits
};
enum ExpansionTable { EXPAND_ARGB8888, EXPAND_ABGR8888, EXPAND_RGBA8888, EXPAND_BGRA8888 };
// Static storage, filled when the converter tables are built and never freed.
extern ExpansionEntry expansion[4][256];

// Fills one expansion table for a 32-bit format; any other format leaves it untouched.
void fillExpansion(ExpansionEntry* table, const Format& format);

// The widenings the vector variants compute by multiplications, each equal to the rule for every
// channel value: red and blue (v x 2105) >> 8; green from its place in the pixel (bits 10..5),
// (g << 5) x 16555 >> 17, or from a byte of its own, (g << 5) x 8278 >> 16.
constexpr bool multipliesExactly() {
    for (uint32_t v = 0; v < 32; ++v)
        if ((v * 2105) >> 8 != channel_expansion::expand5(v)) return false;
    for (uint32_t g = 0; g < 64; ++g)
        if (((g << 5) * 16555) >> 17 != channel_expansion::expand6(g) ||
            ((g << 5) * 8278) >> 16 != channel_expansion::expand6(g))
            return false;
    return true;
}
static_assert(multipliesExactly(), "the multiplications widen as the rule does");

// The 32-bit formats the expansions write, and the 16- and 8-bit repacks.
enum Expand { TO_ARGB8888, TO_ABGR8888, TO_RGBA8888, TO_BGRA8888 };
enum Repack { TO_BGR565, TO_ARGB1555, TO_ABGR1555, TO_GREY8, TO_RGB332 };

// 4 32-bit pixels to 12 bytes at the bottom of a register, the lowest three bytes of each.
alignas(16) inline constexpr int8_t lowThreeBytes[16] = {0,  1,  2,  4,  5,  6,  8,  9,
                                                         10, 12, 13, 14, -1, -1, -1, -1};

} // namespace conversion
