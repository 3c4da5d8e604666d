#pragma once
#include <bit>
#include <cstdint>

// How the 5- and 6-bit channels of RGB565 pixels widen to 8 bits when converted: a 5-bit value v
// becomes trunc(v x k5), a 6-bit green g becomes trunc((g & 7) x k6) + trunc((g & 0x38) x k6),
// with k5 and k6 the single-precision values nearest 255/31 and 255/63 and the products exact
// (a double holds them). So 31 gives 254, not 255; every other 5-bit value gives the floor of
// v x 255 / 31; greens 21 to 23, 42 to 47 and 63 come out one below that floor.
namespace channel_expansion {

inline constexpr float K5 = std::bit_cast<float>(uint32_t(0x41039ce7)); // 8.22580623626709
inline constexpr float K6 = std::bit_cast<float>(uint32_t(0x40818618)); // 4.047618865966797
static_assert(K5 == float(255.0 / 31) && K6 == float(255.0 / 63), "nearest to 255/31, 255/63");

// A 5-bit value, 0..31.
constexpr uint8_t expand5(uint32_t v) {
    return uint8_t(int32_t(double(v) * double(K5)));
}
// One part of a green: its low three bits (g & 7) or its high three in place (g & 0x38).
constexpr uint8_t expand6Part(uint32_t part) {
    return uint8_t(int32_t(double(part) * double(K6)));
}
// A 6-bit green, 0..63.
constexpr uint8_t expand6(uint32_t g) {
    return uint8_t(expand6Part(g & 7) + expand6Part(g & 0x38));
}

} // namespace channel_expansion
