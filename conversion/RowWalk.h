#pragma once
#include "conversion/Raster.h"

#include <cstdint>
#include <cstring>

// What every routine's variants share: the row walk of the area routines, the per-pixel loop and
// unaligned loads and stores. The files of each instruction set are compiled for it, so these
// have internal linkage: every file gets its own copy, built with its own flags, and the linker
// can never hand a baseline caller one built for a wider instruction set.

namespace conversion {
namespace {

// Walks the rows of an area with one line routine: the body of every area routine.
template <LineRoutine line> void walkArea(AREA& area, const void* lookup) {
    if (area.height <= 0) return;
    const uint8_t* source = static_cast<const uint8_t*>(area.source);
    uint8_t* destination = static_cast<uint8_t*>(area.destination);
    if (area.sourceSkip == 0 && area.destinationSkip == 0 && area.width > 0) {
        // Rows that follow each other without a gap on both sides are one long run: the same
        // pixels, without the per-row start and tail. Counts stay within 32 bits.
        const int32_t rowsPerRun = INT32_MAX / area.width;
        while (area.height > 0) {
            const int32_t rows = area.height < rowsPerRun ? area.height : rowsPerRun;
            line(source, destination, rows * area.width, lookup);
            area.height -= rows;
        }
        return;
    }
    while (area.height > 0) {
        line(source, destination, area.width, lookup);
        source += area.sourceSkip;
        destination += area.destinationSkip;
        --area.height;
    }
}

// Unaligned little-endian loads and stores.
inline uint32_t load24(const uint8_t* p) {
    return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}
inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}
inline void store16(uint8_t* p, uint16_t v) {
    std::memcpy(p, &v, 2);
}
inline void store24(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}

// Local copies of a routine's cursors, written back when it returns. Byte stores may alias any
// object, so cursors left in the caller's variables would be reloaded after every store.
struct Cursors {
    const uint8_t*& sourceCursor;
    uint8_t*& destinationCursor;
    int32_t& remaining;
    const uint8_t* s;
    uint8_t* d;
    int32_t n;
    Cursors(const uint8_t*& source, uint8_t*& destination, int32_t& count)
        : sourceCursor(source), destinationCursor(destination), remaining(count), s(source),
          d(destination), n(count) {}
    ~Cursors() {
        sourceCursor = s;
        destinationCursor = d;
        remaining = n;
    }
    Cursors(const Cursors&) = delete;
    Cursors& operator=(const Cursors&) = delete;
};

// The per-pixel loop every scalar routine ends with: loads a pixel of SourceBytes (1, 2 or 4),
// stores the low DestinationBytes of pixel(value) and advances both cursors.
template <int SourceBytes, int DestinationBytes, class Pixel>
inline void pixelLoop(const uint8_t*& sourceCursor, uint8_t*& destinationCursor, int32_t count,
                      Pixel pixel) {
    const uint8_t* source = sourceCursor;
    uint8_t* destination = destinationCursor;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t value;
        if constexpr (SourceBytes == 4)
            value = load32(source);
        else if constexpr (SourceBytes == 2)
            value = load16(source);
        else
            value = source[0];
        const uint32_t result = pixel(value);
        if constexpr (DestinationBytes == 4)
            store32(destination, result);
        else if constexpr (DestinationBytes == 3)
            store24(destination, result);
        else if constexpr (DestinationBytes == 2)
            store16(destination, uint16_t(result));
        else
            destination[0] = uint8_t(result);
        source += SourceBytes;
        destination += DestinationBytes;
    }
    sourceCursor = source;
    destinationCursor = destination;
}

} // namespace
} // namespace conversion

// Every area routine is its line routine walked over the rows.
#define PTC_DEFINE_AREA(name)                                                                      \
    void area_##name(AREA& area, const void* lookup) {                                             \
        conversion::walkArea<convert_##name>(area, lookup);                                        \
    }

// A variant that converts whole blocks with its instruction set (blocks(s, d, n) takes what it
// can and leaves the rest), then hands the rest to the next variant down, ending in the scalar
// routine's per-pixel loop.
#define PTC_BLOCKS_THEN(variant, blocks, rest)                                                     \
    void convert_##variant(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {        \
        blocks(s, d, n);                                                                           \
        convert_##rest(s, d, n, lookup);                                                           \
    }                                                                                              \
    PTC_DEFINE_AREA(variant)
