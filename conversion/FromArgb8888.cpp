#include "conversion/FromArgb8888.h"
#include "conversion/Routines.h"
#include "conversion/RowWalk.h"

// The eleven routines from ARGB8888, pixel by pixel: the scalar variants, which the others end
// with for what their blocks leave.

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
template <int K> uint32_t narrowPixel(uint32_t p) {
    return applyTerms(narrowings[K], p);
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
    pixelLoop<4, 2>(s, d, n, narrowPixel<TO_RGB565>);
}
void convert_argb8888_bgr565(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 2>(s, d, n, narrowPixel<TO_BGR565>);
}
void convert_argb8888_argb1555(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 2>(s, d, n, narrowPixel<TO_ARGB1555>);
}
void convert_argb8888_abgr1555(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 2>(s, d, n, narrowPixel<TO_ABGR1555>);
}
void convert_argb8888_grey8(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 1>(s, d, n, narrowPixel<TO_GREY8>);
}
void convert_argb8888_rgb332(const uint8_t*& s, uint8_t*& d, int32_t n, const void*) {
    pixelLoop<4, 1>(s, d, n, narrowPixel<TO_RGB332>);
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
