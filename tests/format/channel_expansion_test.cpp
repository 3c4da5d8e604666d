#include "format/ChannelExpansion.h"

#include <gtest/gtest.h>

#include <cstdint>

// The widening rule of RGB565 channels against exact integer arithmetic: the floor of
// v x 255 / max, except for the values listed one below it.

namespace {

struct Width {
    const char* name;
    uint32_t max;
    uint8_t (*expand)(uint32_t);
    uint64_t oneBelow; // bit v set: value v comes out one below the floor
};

constexpr uint64_t bits(uint32_t first, uint32_t last) {
    return (~uint64_t(0) >> (63 - last)) & (~uint64_t(0) << first);
}

const Width widths[] = {
    {"5-bit", 31, channel_expansion::expand5, bits(31, 31)},
    {"6-bit green", 63, channel_expansion::expand6, bits(21, 23) | bits(42, 47) | bits(63, 63)},
};

TEST(ChannelExpansion, FloorOfTheExactProductBarTheListedValues) {
    for (const Width& w : widths)
        for (uint32_t v = 0; v <= w.max; ++v) {
            const uint32_t floor = v * 255 / w.max - (w.oneBelow >> v & 1);
            EXPECT_EQ(w.expand(v), floor) << w.name << " value " << v;
        }
}

TEST(ChannelExpansion, TellingValues) {
    EXPECT_EQ(channel_expansion::expand5(31), 254);
    EXPECT_EQ(channel_expansion::expand5(30), 246);
    EXPECT_EQ(channel_expansion::expand6(63), 254);
    EXPECT_EQ(channel_expansion::expand6(21), 84);
}

} // namespace
