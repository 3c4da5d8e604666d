#pragma once
#include "conversion/Raster.h"
#include "conversion/Routines.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

// What every routine's variants share: the row walk of the area routines, the per-pixel loop and
// unaligned loads and stores. The files of each instruction set are compiled for it, so these
// have internal linkage: every file gets its own copy, built with its own flags, and the linker
// can never hand a baseline caller one built for a wider instruction set.

namespace conversion {
namespace {

// Streamed frames are converted a chunk at a time into a buffer that stays in the first-level
// cache, then copied out with streaming stores.
inline constexpr int32_t STAGE_BYTES = 8 * 1024;

// Rows that follow each other without a gap on both sides are one long run: the same pixels,
// without the per-row start and tail.
inline bool rowsAreOneRun(const AREA& area) {
    return area.sourceSkip == 0 && area.destinationSkip == 0 && area.width > 0;
}

// Whether an area's destination is large enough to be streamed.
inline bool streams(const AREA& area) {
    const int64_t rowBytes = int64_t(area.destinationPitch) - area.destinationSkip;
    return area.width > 0 && rowBytes * area.height >= streamingFrom();
}

// A streamed area: each row (or the whole area when its rows are one run) in chunks that the
// line routine converts into the buffer, placed at the destination's offset within a cache line
// so that it aligns its stores alike and the copy out loads from where it stores to. Vector
// gives the streaming copy and the fence that orders its stores before whatever follows. A
// byte copy (Copies) needs no buffer: it streams straight from the source.
template <LineRoutine line, class Vector, bool Copies>
void streamArea(AREA& area, const void* lookup) {
    const int32_t pixelBytes = (area.destinationPitch - area.destinationSkip) / area.width;
    // Whole cache lines per chunk, so every chunk starts where the first did within its line.
    const int32_t chunk = STAGE_BYTES / pixelBytes / 64 * 64;
    alignas(64) uint8_t buffer[STAGE_BYTES + 64];
    const uint8_t* source = static_cast<const uint8_t*>(area.source);
    uint8_t* destination = static_cast<uint8_t*>(area.destination);
    const bool oneRun = rowsAreOneRun(area);
    int64_t rows = oneRun ? 1 : area.height;
    const int64_t width = oneRun ? int64_t(area.width) * area.height : area.width;
    for (; rows > 0; --rows) {
        for (int64_t left = width; left > 0;) {
            const int32_t n = left < chunk ? int32_t(left) : chunk;
            const size_t bytes = size_t(n) * size_t(pixelBytes);
            if constexpr (Copies) {
                Vector::stream(destination, source, bytes);
                source += bytes;
            } else {
                uint8_t* staged = buffer + (reinterpret_cast<uintptr_t>(destination) & 63);
                uint8_t* cursor = staged;
                line(source, cursor, n, lookup);
                Vector::stream(destination, staged, bytes);
            }
            destination += bytes;
            left -= n;
        }
        source += area.sourceSkip;
        destination += area.destinationSkip;
    }
    Vector::fence();
    area.height = 0;
}

// Walks the rows of an area with one line routine: the body of every area routine. With a
// Vector (see streamArea), large areas are streamed.
template <LineRoutine line, class Vector = void, bool Copies = false>
void walkArea(AREA& area, const void* lookup) {
    if (area.height <= 0) return;
    if constexpr (!std::is_void_v<Vector>) {
        if (streams(area)) {
            streamArea<line, Vector, Copies>(area, lookup);
            return;
        }
    }
    const uint8_t* source = static_cast<const uint8_t*>(area.source);
    uint8_t* destination = static_cast<uint8_t*>(area.destination);
    if (rowsAreOneRun(area)) {
        // Counts stay within 32 bits.
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

// The pixels of Bytes each to write from d before the destination reaches a multiple of Align
// bytes; -1 when it never does (2-byte pixels at an odd address).
template <int Align, int Bytes> constexpr int32_t pixelsToAlign(uintptr_t d) {
    const uint32_t gap = uint32_t(0 - d) & (Align - 1);
    if constexpr (Bytes % 2 == 1) {
        // An odd size steps through every remainder: k pixels with Bytes k = gap (mod Align).
        uint32_t inverse = 1;
        while (Bytes * inverse % Align != 1) inverse += 2;
        return int32_t(gap * inverse & (Align - 1));
    } else {
        return gap % Bytes == 0 ? int32_t(gap / Bytes) : -1;
    }
}
static_assert(pixelsToAlign<64, 3>(1) == 21 && pixelsToAlign<16, 3>(16 - 9) == 3);
static_assert(pixelsToAlign<32, 2>(3) == -1 && pixelsToAlign<32, 4>(4) == 7);

// Converts through line the pixels that lie before the first address the destination reaches
// that is a multiple of Align bytes, when enough of the run follows it to fill whole blocks.
template <int Align, int Bytes, class Line>
inline void alignDestination(const uint8_t*& s, uint8_t*& d, int32_t& n, const void* lookup,
                             Line line) {
    const int32_t head = pixelsToAlign<Align, Bytes>(reinterpret_cast<uintptr_t>(d));
    if (head > 0 && n - head >= Align) {
        line(s, d, head, lookup);
        n -= head;
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

// The same for a variant of an instruction set, whose file names its Vector (Sse2.h, Avx2.h,
// Avx512.h): large areas are streamed.
#define PTC_DEFINE_STREAMED_AREA(name)                                                             \
    void area_##name(AREA& area, const void* lookup) {                                             \
        conversion::walkArea<convert_##name, Vector>(area, lookup);                                \
    }

// A variant that converts whole blocks with its instruction set (blocks(s, d, n) takes what it
// can and leaves the rest) into a destination aligned to the file's Vector width, the pixels
// before that boundary and the rest after the blocks going to the next variant down, ending in
// the scalar routine's per-pixel loop. Bytes: the destination's bytes per pixel.
#define PTC_BLOCKS_THEN(variant, blocks, rest, bytes)                                              \
    void convert_##variant(const uint8_t*& s, uint8_t*& d, int32_t n, const void* lookup) {        \
        conversion::alignDestination<Vector::BYTES, bytes>(s, d, n, lookup, convert_##rest);       \
        blocks(s, d, n);                                                                           \
        convert_##rest(s, d, n, lookup);                                                           \
    }                                                                                              \
    PTC_DEFINE_STREAMED_AREA(variant)
