#include "conversion/Routines.h"

// The eleven routines from ARGB8888 (A 31..24, R 23..16, G 15..8, B 7..0).

using namespace conversion;

namespace {

uint32_t toAbgr8888(uint32_t p) {
    return (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
}
uint32_t toRgba8888(uint32_t p) {
    return p << 8 | p >> 24;
}
uint32_t toBgra8888(uint32_t p) {
    return __builtin_bswap32(p);
}
uint32_t toRgb888(uint32_t p) {
    return p & 0xFFFFFFu;
}
uint32_t toBgr888(uint32_t p) {
    return ((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16);
}
uint32_t toRgb565(uint32_t p) {
    return ((p >> 8) & 0xF800u) | ((p >> 5) & 0x7E0u) | ((p >> 3) & 0x1Fu);
}
uint32_t toBgr565(uint32_t p) {
    return ((p << 8) & 0xF800u) | ((p >> 5) & 0x7E0u) | ((p >> 19) & 0x1Fu);
}
uint32_t toArgb1555(uint32_t p) {
    return ((p >> 9) & 0x7C00u) | ((p >> 6) & 0x3E0u) | ((p >> 3) & 0x1Fu);
}
uint32_t toAbgr1555(uint32_t p) {
    return ((p << 7) & 0x7C00u) | ((p >> 6) & 0x3E0u) | ((p >> 19) & 0x1Fu);
}
// At most 63 + 127 + 63 = 253.
uint32_t toGrey8(uint32_t p) {
    return ((p >> 18) & 0x3Fu) + ((p >> 9) & 0x7Fu) + ((p >> 2) & 0x3Fu);
}
uint32_t toRgb332(uint32_t p) {
    return ((p >> 16) & 0xE0u) | ((p >> 11) & 0x1Cu) | ((p >> 6) & 0x3u);
}

} // namespace

void convert_argb8888_abgr8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 4>(s, d, n, toAbgr8888);
}
void convert_argb8888_rgba8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 4>(s, d, n, toRgba8888);
}
void convert_argb8888_bgra8888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 4>(s, d, n, toBgra8888);
}
void convert_argb8888_rgb888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 3>(s, d, n, toRgb888);
}
void convert_argb8888_bgr888(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 3>(s, d, n, toBgr888);
}
void convert_argb8888_rgb565(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 2>(s, d, n, toRgb565);
}
void convert_argb8888_bgr565(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 2>(s, d, n, toBgr565);
}
void convert_argb8888_argb1555(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 2>(s, d, n, toArgb1555);
}
void convert_argb8888_abgr1555(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 2>(s, d, n, toAbgr1555);
}
void convert_argb8888_grey8(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 1>(s, d, n, toGrey8);
}
void convert_argb8888_rgb332(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 1>(s, d, n, toRgb332);
}

PTC_DEFINE_AREA(argb8888_abgr8888)
PTC_DEFINE_AREA(argb8888_rgba8888)
PTC_DEFINE_AREA(argb8888_bgra8888)
PTC_DEFINE_AREA(argb8888_rgb888)
PTC_DEFINE_AREA(argb8888_bgr888)
PTC_DEFINE_AREA(argb8888_rgb565)
PTC_DEFINE_AREA(argb8888_bgr565)
PTC_DEFINE_AREA(argb8888_argb1555)
PTC_DEFINE_AREA(argb8888_abgr1555)
PTC_DEFINE_AREA(argb8888_grey8)
PTC_DEFINE_AREA(argb8888_rgb332)
