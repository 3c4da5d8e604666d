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

void convert_rgb565_argb8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandLoop(expansion[EXPAND_ARGB8888], s, d, n);
}
void convert_rgb565_abgr8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandLoop(expansion[EXPAND_ABGR8888], s, d, n);
}
void convert_rgb565_rgba8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandLoop(expansion[EXPAND_RGBA8888], s, d, n);
}
void convert_rgb565_bgra8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    expandLoop(expansion[EXPAND_BGRA8888], s, d, n);
}
void convert_rgb565_rgb888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    const ExpansionEntry* table = expansion[EXPAND_ARGB8888];
    pixelLoop<2, 3>(s, d, n, [table](uint32_t q) { return expand(table, q); });
}
void convert_rgb565_bgr888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    const ExpansionEntry* table = expansion[EXPAND_ABGR8888];
    pixelLoop<2, 3>(s, d, n, [table](uint32_t q) { return expand(table, q); });
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
