#include "conversion/Routines.h"

// The four routines from 8-bit indices through a palette lookup: 256 finished destination
// pixels, as 32-bit words for 4-, 3- and 2-byte destinations and as bytes for 1-byte ones.

using namespace conversion;

void convert_index8_32(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    pixelLoop<1, 4>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_24(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    pixelLoop<1, 3>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_16(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint32_t* table = static_cast<const uint32_t*>(lookup);
    pixelLoop<1, 2>(s, d, n, [table](uint32_t i) { return table[i]; });
}
void convert_index8_8(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {
    const uint8_t* table = static_cast<const uint8_t*>(lookup);
    pixelLoop<1, 1>(s, d, n, [table](uint32_t i) { return table[i]; });
}

PTC_DEFINE_AREA(index8_32)
PTC_DEFINE_AREA(index8_24)
PTC_DEFINE_AREA(index8_16)
PTC_DEFINE_AREA(index8_8)
