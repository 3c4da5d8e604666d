#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

// The four routines from 8-bit indices through a palette lookup: 256 finished destination
// pixels, as 32-bit words for 4-, 3- and 2-byte destinations and as bytes for 1-byte ones.
// A table walk is bound by loads and stores: eight lookups are loaded before any is stored, so
// they overlap, and narrow results are joined into wide stores.

using namespace conversion;

namespace {

void words32(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint32_t* table) {
    Cursors c(s, d, n);
    for (; c.n >= 8; c.n -= 8, c.s += 8, c.d += 32) {
        uint32_t w[8];
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) w[k] = table[c.s[k]];
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) store32(c.d + 4 * k, w[k]);
    }
}

// Four results closed up into three 32-bit words.
void words24(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint32_t* table) {
    Cursors c(s, d, n);
    for (; c.n >= 4; c.n -= 4, c.s += 4, c.d += 12) {
        const uint32_t a = table[c.s[0]] & 0xFFFFFF, b = table[c.s[1]] & 0xFFFFFF;
        const uint32_t e = table[c.s[2]] & 0xFFFFFF, f = table[c.s[3]] & 0xFFFFFF;
        store32(c.d, a | b << 24);
        store32(c.d + 4, b >> 8 | e << 16);
        store32(c.d + 8, e >> 16 | f << 8);
    }
}

// Four results to a 64-bit store.
void words16(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint32_t* table) {
    Cursors c(s, d, n);
    for (; c.n >= 8; c.n -= 8, c.s += 8, c.d += 16) {
        uint64_t w[8];
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) w[k] = table[c.s[k]] & 0xFFFF;
        const uint64_t first = w[0] | w[1] << 16 | w[2] << 32 | w[3] << 48;
        const uint64_t second = w[4] | w[5] << 16 | w[6] << 32 | w[7] << 48;
        std::memcpy(c.d, &first, 8);
        std::memcpy(c.d + 8, &second, 8);
    }
}

void bytes8(const uint8_t*& s, uint8_t*& d, int32_t& n, const uint8_t* table) {
    Cursors c(s, d, n);
    for (; c.n >= 8; c.n -= 8, c.s += 8, c.d += 8) {
        uint8_t b[8];
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) b[k] = table[c.s[k]];
        std::memcpy(c.d, b, 8);
    }
}

} // namespace

void convert_index8_32(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    words32(s, d, n, table);
    pixelLoop<1, 4>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_24(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    words24(s, d, n, table);
    pixelLoop<1, 3>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_16(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    words16(s, d, n, table);
    pixelLoop<1, 2>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_8(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint8_t* table = static_cast<const uint8_t*>(lookup);
    bytes8(s, d, n, table);
    pixelLoop<1, 1>(s, d, n, [table](uint32_t i) { return table[i]; });
}

PTC_DEFINE_AREA(index8_32)
PTC_DEFINE_AREA(index8_24)
PTC_DEFINE_AREA(index8_16)
PTC_DEFINE_AREA(index8_8)
