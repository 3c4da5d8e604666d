#include "conversion/Routines.h"

namespace conversion {

// Any direct format to any other, one pixel at a time through 8-bit components.
void convertGeneric(const Format& source, const Format& destination, const uint8_t* sourcePixels,
                    uint8_t* destinationPixels, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        uint8_t r = 0, g = 0, b = 0, a = 0;
        source.unpack(sourcePixels, &r, &g, &b, &a, RGB_MODEL);
        destination.pack(r, g, b, a, destinationPixels, RGB_MODEL);
        sourcePixels += source.bytes;
        destinationPixels += destination.bytes;
    }
}

} // namespace conversion
