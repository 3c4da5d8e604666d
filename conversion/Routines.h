#pragma once
#include "conversion/Raster.h"

#include <cstdint>
#include <cstring>

// The conversion routines and what they share. Internal to the conversion subsystem (and its
// tests): everyone else reaches the routines through RASTER::CONVERTER.

// Line routines: (source cursor, destination cursor, count, lookup); see LineRoutine.
#define PTC_DECLARE_ROUTINE(name)                                                                  \
    void convert_##name(const uint8_t*& source, uint8_t*& destination, int32_t count,              \
                        const void* lookup);                                                       \
    void area_##name(AREA& area, const void* lookup);

PTC_DECLARE_ROUTINE(copy)
PTC_DECLARE_ROUTINE(argb8888_abgr8888)
PTC_DECLARE_ROUTINE(argb8888_bgra8888)
PTC_DECLARE_ROUTINE(argb8888_rgba8888)
PTC_DECLARE_ROUTINE(argb8888_rgb888)
PTC_DECLARE_ROUTINE(argb8888_bgr888)
PTC_DECLARE_ROUTINE(argb8888_rgb565)
PTC_DECLARE_ROUTINE(argb8888_bgr565)
PTC_DECLARE_ROUTINE(argb8888_argb1555)
PTC_DECLARE_ROUTINE(argb8888_abgr1555)
PTC_DECLARE_ROUTINE(argb8888_grey8)
PTC_DECLARE_ROUTINE(argb8888_rgb332)
PTC_DECLARE_ROUTINE(rgb565_argb8888)
PTC_DECLARE_ROUTINE(rgb565_abgr8888)
PTC_DECLARE_ROUTINE(rgb565_bgra8888)
PTC_DECLARE_ROUTINE(rgb565_rgba8888)
PTC_DECLARE_ROUTINE(rgb565_rgb888)
PTC_DECLARE_ROUTINE(rgb565_bgr888)
PTC_DECLARE_ROUTINE(rgb565_bgr565)
PTC_DECLARE_ROUTINE(rgb565_argb1555)
PTC_DECLARE_ROUTINE(rgb565_abgr1555)
PTC_DECLARE_ROUTINE(rgb565_grey8)
PTC_DECLARE_ROUTINE(rgb565_rgb332)
PTC_DECLARE_ROUTINE(index8_32)
PTC_DECLARE_ROUTINE(index8_24)
PTC_DECLARE_ROUTINE(index8_16)
PTC_DECLARE_ROUTINE(index8_8)

#undef PTC_DECLARE_ROUTINE

namespace conversion {

// The generic path between two direct formats, pixel by pixel through unpack and pack.
void convertGeneric(const Format& source, const Format& destination, const uint8_t* sourcePixels,
                    uint8_t* destinationPixels, int32_t count);

// The same path through one table per source channel, for pixels of one to four bytes.
class GenericPath {
  public:
    GenericPath(const Format& source, const Format& destination);
    ~GenericPath();
    GenericPath(const GenericPath&) = delete;
    GenericPath& operator=(const GenericPath&) = delete;

    // Fills the tables; false when the pixel sizes are out of its reach or memory is short.
    bool build();
    // True when built for exactly these formats.
    bool builtFor(const Format& source, const Format& destination) const;
    void convert(const uint8_t* sourcePixels, uint8_t* destinationPixels, int32_t count) const;

  private:
    struct Table;
    template <int R, int W> void run(const uint8_t* s, uint8_t* d, int32_t count) const;
    template <int R> void runFrom(const uint8_t* s, uint8_t* d, int32_t count) const;

    Format source;
    Format destination;
    Table* channels = nullptr;
};

// RGB565 expansion: a pixel with low byte lo and high byte hi becomes
// table[lo].lowWord + table[hi].highWord in the table's 32-bit format.
struct ExpansionEntry {
    uint32_t lowWord;  // green's low three bits and blue
    uint32_t highWord; // red and green's high three bits
};
enum ExpansionTable { EXPAND_ARGB8888, EXPAND_ABGR8888, EXPAND_RGBA8888, EXPAND_BGRA8888 };
// Static storage, filled when the converter tables are built and never freed.
extern ExpansionEntry expansion[4][256];

// Fills one expansion table for a 32-bit format; any other format leaves it untouched.
void fillExpansion(ExpansionEntry* table, const Format& format);

// Instruction sets the routines may use. Chosen once from the processor; tests lower it to
// run every path. SIMD_AVX512 means AVX-512 F, BW, VL and VBMI together (byte permutes).
enum SimdLevel : int32_t { SIMD_NONE, SIMD_SSE2, SIMD_SSSE3, SIMD_AVX2, SIMD_AVX512 };

// The attribute that lets one function use the SIMD_AVX512 instructions; the rest of the file
// stays at the build's baseline, so processors without them never meet one.
#define PTC_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,bmi2")))
SimdLevel simdLevel();
SimdLevel bestSimdLevel();
// Clamps to what the processor supports and returns the level now in use.
SimdLevel setSimdLevel(SimdLevel level);

// One channel of a shift-and-mask conversion: the source word shifted right by shift (left by
// -shift when negative), then masked. A routine of this kind adds its channel terms; where the
// masks are disjoint the sum is their OR.
struct ChannelTerm {
    int shift;
    uint32_t mask;
};
struct ChannelTerms {
    ChannelTerm terms[3];
};

template <class Word> constexpr Word shifted(Word v, int shift) {
    return shift >= 0 ? Word(v >> shift) : Word(v << -shift);
}
// Whether the mask removes anything the shift leaves in a word of that type.
template <class Word> constexpr bool maskMatters(ChannelTerm t) {
    return (shifted(Word(~Word(0)), t.shift) & Word(~t.mask)) != 0;
}
template <class Word> constexpr Word applyTerms(const ChannelTerms& c, Word v) {
    Word sum = 0;
    for (const ChannelTerm& t : c.terms) sum = Word(sum + (shifted(v, t.shift) & Word(t.mask)));
    return sum;
}

// The shared static state behind RASTER's instance count.
void acquireTables();
void releaseTables(); // at count 0 it does nothing
int32_t instanceCount();
bool tablesBuilt();
// How often the tables have been built since the program started.
int32_t tableBuilds();

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

// Every area routine is its line routine walked over the rows.
#define PTC_DEFINE_AREA(name)                                                                      \
    void area_##name(AREA& area, const void* lookup) {                                             \
        conversion::walkArea<convert_##name>(area, lookup);                                        \
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

// The per-pixel loop every routine ends with: loads a pixel of SourceBytes (1, 2 or 4), stores
// the low DestinationBytes of pixel(value) and advances both cursors.
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

} // namespace conversion
