#include "conversion/Generic.h"

#include <cstring>
#include <new>

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

namespace {

uint32_t readPixel(const uint8_t* p, int32_t bytes) {
    uint32_t v = 0;
    for (int32_t i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
    return v;
}

template <int R> inline uint32_t load(const uint8_t* s) {
    if constexpr (R == 4) {
        uint32_t v;
        std::memcpy(&v, s, 4);
        return v;
    } else if constexpr (R == 3) {
        uint16_t v;
        std::memcpy(&v, s, 2);
        return v | uint32_t(s[2]) << 16;
    } else if constexpr (R == 2) {
        uint16_t v;
        std::memcpy(&v, s, 2);
        return v;
    } else {
        return s[0];
    }
}

template <int W> inline void store(uint8_t* d, uint32_t v) {
    if constexpr (W == 4) {
        std::memcpy(d, &v, 4);
    } else if constexpr (W == 3) {
        const uint16_t low = uint16_t(v);
        std::memcpy(d, &low, 2);
        d[2] = uint8_t(v >> 16);
    } else if constexpr (W == 2) {
        const uint16_t low = uint16_t(v);
        std::memcpy(d, &low, 2);
    } else {
        d[0] = uint8_t(v);
    }
}

} // namespace

// Unpack and pack treat each channel on its own: a destination pixel is the sum of what each
// source channel's component packs to, and a component depends only on that channel's at
// most eight source bits. So one table per source channel, filled through unpack and pack
// themselves, gives every pixel exactly as the per-pixel path does.
struct GenericPath::Table {
    int32_t shift = 0;
    uint32_t mask = 0; // 0: the component is the same for every pixel, entries[0]
    uint32_t entries[256] = {};
};

GenericPath::GenericPath(const Format& sourceFormat, const Format& destinationFormat)
    : source(sourceFormat), destination(destinationFormat) {}

GenericPath::~GenericPath() {
    delete[] channels;
}

bool GenericPath::build() {
    if (source.bytes < 1 || source.bytes > 4 || destination.bytes < 1 || destination.bytes > 4)
        return false;
    channels = new (std::nothrow) Table[4];
    if (!channels) return false;
    const ::Channel* from[4] = {&source.red, &source.green, &source.blue, &source.alpha};
    for (int c = 0; c < 4; ++c) {
        Table& t = channels[c];
        if (from[c]->mask != 0) {
            t.shift = from[c]->shift;
            t.mask = uint32_t(from[c]->mask) >> from[c]->shift;
        }
        for (uint32_t i = 0; i <= t.mask; ++i) {
            const uint32_t pixel = i << t.shift;
            uint8_t in[4], out[4] = {};
            for (int k = 0; k < 4; ++k) in[k] = uint8_t(pixel >> (8 * k));
            uint8_t component[4] = {};
            source.unpack(in, &component[0], &component[1], &component[2], &component[3],
                          RGB_MODEL);
            uint8_t only[4] = {};
            only[c] = component[c];
            destination.pack(only[0], only[1], only[2], only[3], out, RGB_MODEL);
            t.entries[i] = readPixel(out, destination.bytes);
        }
    }
    return true;
}

bool GenericPath::builtFor(const Format& sourceFormat, const Format& destinationFormat) const {
    return channels && source == sourceFormat && destination == destinationFormat;
}

template <int R, int W> void GenericPath::run(const uint8_t* s, uint8_t* d, int32_t count) const {
    const Table &c0 = channels[0], &c1 = channels[1], &c2 = channels[2], &c3 = channels[3];
    for (int32_t i = 0; i < count; ++i, s += R, d += W) {
        const uint32_t p = load<R>(s);
        store<W>(d, c0.entries[(p >> c0.shift) & c0.mask] + c1.entries[(p >> c1.shift) & c1.mask] +
                        c2.entries[(p >> c2.shift) & c2.mask] +
                        c3.entries[(p >> c3.shift) & c3.mask]);
    }
}

template <int R> void GenericPath::runFrom(const uint8_t* s, uint8_t* d, int32_t count) const {
    switch (destination.bytes) {
    case 1:
        return run<R, 1>(s, d, count);
    case 2:
        return run<R, 2>(s, d, count);
    case 3:
        return run<R, 3>(s, d, count);
    default:
        return run<R, 4>(s, d, count);
    }
}

void GenericPath::convert(const uint8_t* s, uint8_t* d, int32_t count) const {
    switch (source.bytes) {
    case 1:
        return runFrom<1>(s, d, count);
    case 2:
        return runFrom<2>(s, d, count);
    case 3:
        return runFrom<3>(s, d, count);
    default:
        return runFrom<4>(s, d, count);
    }
}

} // namespace conversion
