#include "conversion/FromRgb565.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

// The eleven routines from RGB565, pixel by pixel: the scalar variants, which the others end with
// for what their blocks leave.

using namespace conversion;

namespace conversion {

ExpansionEntry expansion[4][256];

namespace {

uint32_t packed(const Format& format, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t bytes[4] = {};
    format.pack(r, g, b, 0, bytes, format.model);
    return load32(bytes);
}

} // namespace

void fillExpansion(ExpansionEntry* table, const Format& format) {
    using namespace channel_expansion;
    if (format.bits != 32) return;
    for (uint32_t b = 0; b < 256; ++b) {
        table[b].lowWord = packed(format, 0, expand6Part((b >> 5) & 7), expand5(b & 31));
        table[b].highWord = packed(format, expand5((b >> 3) & 31), expand6Part((b & 7) << 3), 0);
    }
}

} // namespace conversion

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

template <int Bytes>
void expandLoop(const ExpansionEntry* table, const uint8_t*& s, uint8_t*& d, int32_t n) {
    pixelLoop<2, Bytes>(s, d, n, [table](uint32_t q) { return expand(table, q); });
}

} // namespace

void convert_rgb565_argb8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandLoop<4>(expansion[EXPAND_ARGB8888], s, d, n);
}
void convert_rgb565_abgr8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandLoop<4>(expansion[EXPAND_ABGR8888], s, d, n);
}
void convert_rgb565_rgba8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandLoop<4>(expansion[EXPAND_RGBA8888], s, d, n);
}
void convert_rgb565_bgra8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandLoop<4>(expansion[EXPAND_BGRA8888], s, d, n);
}
// The three low bytes of the ARGB8888 expansion are B, G, R; of the ABGR8888 one R, G, B.
void convert_rgb565_rgb888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandLoop<3>(expansion[EXPAND_ARGB8888], s, d, n);
}
void convert_rgb565_bgr888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandLoop<3>(expansion[EXPAND_ABGR8888], s, d, n);
}
void convert_rgb565_bgr565(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<2, 2>(s, d, n, toBgr565);
}
void convert_rgb565_argb1555(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<2, 2>(s, d, n, toArgb1555);
}
void convert_rgb565_abgr1555(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<2, 2>(s, d, n, toAbgr1555);
}
void convert_rgb565_grey8(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<2, 1>(s, d, n, toGrey8);
}
void convert_rgb565_rgb332(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
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
