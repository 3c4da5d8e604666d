#include "conversion/Generic.h"
#include "conversion/Raster.h"
#include "conversion/RasterState.h"
#include "conversion/Routes.h"
#include "conversion/Routines.h"
#include "support/GuardedBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

// Which converter a pair of formats gets, what the converter does with counts, lookups and
// rectangles, and how the shared tables live and die.

namespace {

using Converter = std::unique_ptr<RASTER::CONVERTER>;

// The variant a converter made now takes of the routine whose scalar variant is given.
LineRoutine chosen(LineRoutine scalar) {
    const conversion::Routine* routine = conversion::routineOf(scalar);
    return routine ? routine->at[conversion::simdLevel()].line : scalar;
}
AreaRoutine chosenArea(AreaRoutine scalar) {
    for (const conversion::Routine* routine : conversion::routines())
        if (routine->at[0].area == scalar) return routine->at[conversion::simdLevel()].area;
    return scalar;
}

const char* routineName(LineRoutine line) {
    if (const conversion::Routine* routine = conversion::routineOf(line))
        line = routine->at[0].line;
    struct Named {
        LineRoutine line;
        const char* name;
    };
    static const Named names[] = {
        {nullptr, "none"},
        {convert_copy, "copy"},
        {convert_argb8888_abgr8888, "argb8888_abgr8888"},
        {convert_argb8888_bgra8888, "argb8888_bgra8888"},
        {convert_argb8888_rgba8888, "argb8888_rgba8888"},
        {convert_argb8888_rgb888, "argb8888_rgb888"},
        {convert_argb8888_bgr888, "argb8888_bgr888"},
        {convert_argb8888_rgb565, "argb8888_rgb565"},
        {convert_argb8888_bgr565, "argb8888_bgr565"},
        {convert_argb8888_argb1555, "argb8888_argb1555"},
        {convert_argb8888_abgr1555, "argb8888_abgr1555"},
        {convert_argb8888_grey8, "argb8888_grey8"},
        {convert_argb8888_rgb332, "argb8888_rgb332"},
        {convert_rgb565_argb8888, "rgb565_argb8888"},
        {convert_rgb565_abgr8888, "rgb565_abgr8888"},
        {convert_rgb565_bgra8888, "rgb565_bgra8888"},
        {convert_rgb565_rgba8888, "rgb565_rgba8888"},
        {convert_rgb565_rgb888, "rgb565_rgb888"},
        {convert_rgb565_bgr888, "rgb565_bgr888"},
        {convert_rgb565_bgr565, "rgb565_bgr565"},
        {convert_rgb565_argb1555, "rgb565_argb1555"},
        {convert_rgb565_abgr1555, "rgb565_abgr1555"},
        {convert_rgb565_grey8, "rgb565_grey8"},
        {convert_rgb565_rgb332, "rgb565_rgb332"},
        {convert_index8_32, "index8_32"},
        {convert_index8_24, "index8_24"},
        {convert_index8_16, "index8_16"},
        {convert_index8_8, "index8_8"},
    };
    for (const Named& n : names)
        if (n.line == line) return n.name;
    return "unknown";
}

struct Selection {
    const char* reason;
    Format source, destination;
    LineRoutine line;
    AreaRoutine area;
    int32_t needsLookup, sameFormat;
    int32_t converterSourceId; // the source format the converter holds
};

const Format bgr565Layout(0, 5, 5, 6, 11, 5, 0, 0, RGB_MODEL, -1); // becomes BGR565 itself
const Format custom16(11, 5, 5, 6, 0, 5, 0, 0, 1326, -1);          // RGB565 in another model
const Format custom32(0, 8, 8, 8, 16, 8, 24, 8, 1326, -1);         // ABGR8888 in another model
const Format custom24(0, 8, 8, 8, 16, 8, 0, 0, 1326, -1);
const Format custom8(0, 3, 3, 3, 6, 2, 0, 0, 1326, -1);
const Format custom40(0, 10, 10, 10, 20, 10, 30, 10, RGB_MODEL, -1); // 5 bytes per pixel

const Selection selections[] = {
    {"same id: the copy", Format(ARGB8888), Format(ARGB8888), convert_copy, area_copy, 0, 1,
     ARGB8888},
    {"RGB565 to itself: the same-format copy", Format(RGB565), Format(RGB565), convert_copy,
     area_copy, 0, 1, RGB565},
    {"INDEX8 to itself", Format(INDEX8), Format(INDEX8), convert_copy, area_copy, 0, 1, INDEX8},
    {"FAKEMODE to itself: a copy of 0 bytes", Format(FAKEMODE2B), Format(FAKEMODE2B), convert_copy,
     area_copy, 0, 1, FAKEMODE2B},
    {"ARGB8888 to ABGR8888", Format(ARGB8888), Format(ABGR8888), convert_argb8888_abgr8888,
     area_argb8888_abgr8888, 0, 0, ARGB8888},
    {"ARGB8888 to BGRA8888", Format(ARGB8888), Format(BGRA8888), convert_argb8888_bgra8888,
     area_argb8888_bgra8888, 0, 0, ARGB8888},
    {"ARGB8888 to RGBA8888", Format(ARGB8888), Format(RGBA8888), convert_argb8888_rgba8888,
     area_argb8888_rgba8888, 0, 0, ARGB8888},
    {"ARGB8888 to RGB888", Format(ARGB8888), Format(RGB888), convert_argb8888_rgb888,
     area_argb8888_rgb888, 0, 0, ARGB8888},
    {"ARGB8888 to BGR888", Format(ARGB8888), Format(BGR888), convert_argb8888_bgr888,
     area_argb8888_bgr888, 0, 0, ARGB8888},
    {"ARGB8888 to RGB565", Format(ARGB8888), Format(RGB565), convert_argb8888_rgb565,
     area_argb8888_rgb565, 0, 0, ARGB8888},
    {"ARGB8888 to BGR565", Format(ARGB8888), Format(BGR565), convert_argb8888_bgr565,
     area_argb8888_bgr565, 0, 0, ARGB8888},
    {"ARGB8888 to ARGB1555", Format(ARGB8888), Format(ARGB1555), convert_argb8888_argb1555,
     area_argb8888_argb1555, 0, 0, ARGB8888},
    {"ARGB8888 to ABGR1555", Format(ARGB8888), Format(ABGR1555), convert_argb8888_abgr1555,
     area_argb8888_abgr1555, 0, 0, ARGB8888},
    {"ARGB8888 to GREY8", Format(ARGB8888), Format(GREY8), convert_argb8888_grey8,
     area_argb8888_grey8, 0, 0, ARGB8888},
    {"ARGB8888 to RGB332", Format(ARGB8888), Format(RGB332), convert_argb8888_rgb332,
     area_argb8888_rgb332, 0, 0, ARGB8888},
    {"ARGB8888 to INDEX8: no routine", Format(ARGB8888), Format(INDEX8), nullptr, nullptr, 0, 0,
     ARGB8888},
    {"ARGB8888 to FAKEMODE: no routine", Format(ARGB8888), Format(FAKEMODE1A), nullptr, nullptr, 0,
     0, ARGB8888},
    {"RGB565 to ARGB8888", Format(RGB565), Format(ARGB8888), convert_rgb565_argb8888,
     area_rgb565_argb8888, 0, 0, RGB565},
    {"RGB565 to ABGR8888", Format(RGB565), Format(ABGR8888), convert_rgb565_abgr8888,
     area_rgb565_abgr8888, 0, 0, RGB565},
    {"RGB565 to BGRA8888", Format(RGB565), Format(BGRA8888), convert_rgb565_bgra8888,
     area_rgb565_bgra8888, 0, 0, RGB565},
    {"RGB565 to RGBA8888", Format(RGB565), Format(RGBA8888), convert_rgb565_rgba8888,
     area_rgb565_rgba8888, 0, 0, RGB565},
    {"RGB565 to RGB888", Format(RGB565), Format(RGB888), convert_rgb565_rgb888, area_rgb565_rgb888,
     0, 0, RGB565},
    {"RGB565 to BGR888", Format(RGB565), Format(BGR888), convert_rgb565_bgr888, area_rgb565_bgr888,
     0, 0, RGB565},
    {"RGB565 to BGR565", Format(RGB565), Format(BGR565), convert_rgb565_bgr565, area_rgb565_bgr565,
     0, 0, RGB565},
    {"RGB565 to ARGB1555", Format(RGB565), Format(ARGB1555), convert_rgb565_argb1555,
     area_rgb565_argb1555, 0, 0, RGB565},
    {"RGB565 to ABGR1555", Format(RGB565), Format(ABGR1555), convert_rgb565_abgr1555,
     area_rgb565_abgr1555, 0, 0, RGB565},
    {"RGB565 to GREY8", Format(RGB565), Format(GREY8), convert_rgb565_grey8, area_rgb565_grey8, 0,
     0, RGB565},
    {"RGB565 to RGB332", Format(RGB565), Format(RGB332), convert_rgb565_rgb332, area_rgb565_rgb332,
     0, 0, RGB565},
    {"INDEX8 to a 32-bit format", Format(INDEX8), Format(BGRA8888), convert_index8_32,
     area_index8_32, 1, 0, INDEX8},
    {"INDEX8 to a 24-bit format", Format(INDEX8), Format(BGR888), convert_index8_24, area_index8_24,
     1, 0, INDEX8},
    {"INDEX8 to a 16-bit format", Format(INDEX8), Format(ABGR1555), convert_index8_16,
     area_index8_16, 1, 0, INDEX8},
    {"INDEX8 to RGB332", Format(INDEX8), Format(RGB332), convert_index8_8, area_index8_8, 1, 0,
     INDEX8},
    {"INDEX8 to GREY8: indexed to indexed, no lookup flag", Format(INDEX8), Format(GREY8),
     convert_index8_8, area_index8_8, 0, 0, INDEX8},
    {"GREY8 takes the INDEX8 row and source", Format(GREY8), Format(RGB565), convert_index8_16,
     area_index8_16, 1, 0, INDEX8},
    {"GREY8 to ARGB8888", Format(GREY8), Format(ARGB8888), convert_index8_32, area_index8_32, 1, 0,
     INDEX8},
    {"GREY8 to INDEX8: a byte copy", Format(GREY8), Format(INDEX8), convert_copy, area_copy, 0, 1,
     INDEX8},
    {"INDEX8 to FAKEMODE: no routine", Format(INDEX8), Format(FAKEMODE3C), nullptr, nullptr, 1, 0,
     INDEX8},
    {"INDEX8 to a custom 2-byte format", Format(INDEX8), custom16, convert_index8_16,
     area_index8_16, 1, 0, INDEX8},
    {"INDEX8 to a custom 4-byte format", Format(INDEX8), custom32, convert_index8_32,
     area_index8_32, 1, 0, INDEX8},
    {"INDEX8 to a custom 3-byte format", Format(INDEX8), custom24, convert_index8_24,
     area_index8_24, 1, 0, INDEX8},
    {"GREY8 to a custom 1-byte format", Format(GREY8), custom8, convert_index8_8, area_index8_8, 1,
     0, INDEX8},
    {"INDEX8 to a custom 5-byte format: an empty converter", Format(INDEX8), custom40, nullptr,
     nullptr, 0, 0, 0},
    {"ABGR8888 has no table: the generic path", Format(ABGR8888), Format(RGB565), nullptr, nullptr,
     0, 0, ABGR8888},
    {"equal custom formats: the copy", custom32, custom32, convert_copy, area_copy, 0, 1, 0},
    {"BGR565's layout from positions is BGR565", bgr565Layout, Format(BGR565), convert_copy,
     area_copy, 0, 1, BGR565},
    {"ARGB8888 to a custom format: generic", Format(ARGB8888), custom24, nullptr, nullptr, 0, 0,
     ARGB8888},
    {"two empty formats: equal, not valid, no routine", Format(), Format(), nullptr, nullptr, 0, 1,
     0},
    {"FAKEMODE1A to FAKEMODE1C: equal and valid, a copy", Format(FAKEMODE1A), Format(FAKEMODE1C),
     convert_copy, area_copy, 0, 1, FAKEMODE1A},
};

// A reserved id (1022..1025) is valid but has no fields; its same-format slot holds the copy.
Format reserved(int32_t id) {
    Format f;
    f.id = id;
    return f;
}

class ConverterSelection : public ::testing::Test {
  protected:
    RASTER raster;
};

TEST_F(ConverterSelection, EveryPairGetsItsRoutineAndFlags) {
    for (const Selection& s : selections) {
        Converter c(raster.converter(s.source, s.destination));
        ASSERT_TRUE(c) << s.reason;
        EXPECT_EQ(c->line, chosen(s.line))
            << s.reason << ": expected " << routineName(s.line) << ", got " << routineName(c->line);
        EXPECT_EQ(c->area, chosenArea(s.area)) << s.reason;
        EXPECT_EQ(c->needsLookup, s.needsLookup) << s.reason;
        EXPECT_EQ(c->sameFormat, s.sameFormat) << s.reason;
        EXPECT_EQ(c->source.id, s.converterSourceId) << s.reason;
    }
}

// Independently of the table above: for every pair of standard ids, which routine is expected.
LineRoutine expectedRoutine(int32_t s, int32_t d) {
    if (s == d) return convert_copy;
    // The letter variants of one fake-mode group are equal formats: copied.
    const bool fakeS = s >= FAKEMODE1A && s <= FAKEMODE3C,
               fakeD = d >= FAKEMODE1A && d <= FAKEMODE3C;
    if (fakeS && fakeD && (s - FAKEMODE1A) / 3 == (d - FAKEMODE1A) / 3) return convert_copy;
    const bool rgbDestination = d <= ABGR1555 || d == GREY8 || d == RGB332;
    if (s == ARGB8888 && rgbDestination) {
        const LineRoutine byDestination[] = {nullptr,
                                             convert_argb8888_abgr8888,
                                             convert_argb8888_bgra8888,
                                             convert_argb8888_rgba8888,
                                             convert_argb8888_rgb888,
                                             convert_argb8888_bgr888,
                                             convert_argb8888_rgb565,
                                             convert_argb8888_bgr565,
                                             convert_argb8888_argb1555,
                                             convert_argb8888_abgr1555};
        if (d == GREY8) return convert_argb8888_grey8;
        if (d == RGB332) return convert_argb8888_rgb332;
        return byDestination[d - ARGB8888];
    }
    if (s == RGB565 && rgbDestination) {
        const LineRoutine byDestination[] = {convert_rgb565_argb8888,
                                             convert_rgb565_abgr8888,
                                             convert_rgb565_bgra8888,
                                             convert_rgb565_rgba8888,
                                             convert_rgb565_rgb888,
                                             convert_rgb565_bgr888,
                                             nullptr,
                                             convert_rgb565_bgr565,
                                             convert_rgb565_argb1555,
                                             convert_rgb565_abgr1555};
        if (d == GREY8) return convert_rgb565_grey8;
        if (d == RGB332) return convert_rgb565_rgb332;
        return byDestination[d - ARGB8888];
    }
    if (s == INDEX8 || s == GREY8) {
        if (d <= RGBA8888) return convert_index8_32;
        if (d <= BGR888) return convert_index8_24;
        if (d <= ABGR1555) return convert_index8_16;
        if (d == GREY8 || d == RGB332) return convert_index8_8;
        if (d == INDEX8) return convert_copy;
    }
    return nullptr;
}

TEST_F(ConverterSelection, ReservedIdsTakeTheirEmptySlots) {
    Converter same(raster.converter(reserved(1022), reserved(1022)));
    EXPECT_EQ(same->line, chosen(convert_copy));
    EXPECT_EQ(same->sameFormat, 1);
    EXPECT_EQ(same->source.id, 0) << "the slot's formats stay all zeros";
    Converter from(raster.converter(Format(ARGB8888), reserved(1025)));
    EXPECT_EQ(from->line, nullptr);
    EXPECT_EQ(from->destination.type, 0);
}

TEST_F(ConverterSelection, EveryStandardPair) {
    for (int32_t s = ARGB8888; s <= RGB332; ++s)
        for (int32_t d = ARGB8888; d <= RGB332; ++d) {
            Converter c(raster.converter(Format(s), Format(d)));
            ASSERT_TRUE(c);
            EXPECT_EQ(c->line, chosen(expectedRoutine(s, d)))
                << Format(s).name() << " to " << Format(d).name() << ": expected "
                << routineName(expectedRoutine(s, d)) << ", got " << routineName(c->line);
            const bool indexedSource = s == INDEX8 || s == GREY8;
            EXPECT_EQ(c->needsLookup, indexedSource && Format(d).type != INDEXED)
                << Format(s).name() << " to " << Format(d).name();
        }
}

TEST_F(ConverterSelection, SameFormatCountsBytes) {
    // 10 ARGB8888 pixels: the copy runs over 40 bytes and no further.
    Converter c(raster.converter(Format(ARGB8888), Format(ARGB8888)));
    uint8_t source[48], destination[48];
    for (int i = 0; i < 48; ++i) source[i] = uint8_t(i + 1);
    std::memset(destination, 0, sizeof destination);
    ASSERT_EQ(c->convert(source, destination, 10, nullptr), 1);
    EXPECT_EQ(0, std::memcmp(source, destination, 40));
    EXPECT_EQ(destination[40], 0);
}

TEST_F(ConverterSelection, LookupRefusals) {
    const uint32_t lookup[256] = {0x1234};
    uint8_t source[8] = {}, destination[16];
    struct Case {
        const char* reason;
        Format from, to;
    };
    const Case cases[] = {
        {"GREY8 to RGB565", Format(GREY8), Format(RGB565)},
        {"INDEX8 to ARGB8888", Format(INDEX8), Format(ARGB8888)},
        {"INDEX8 to a custom 2-byte format", Format(INDEX8), custom16},
        // The flag says no lookup, but the routine reads one: refused rather than read.
        {"INDEX8 to GREY8", Format(INDEX8), Format(GREY8)},
    };
    for (const Case& k : cases) {
        Converter c(raster.converter(k.from, k.to));
        std::memset(destination, 0xEE, sizeof destination);
        EXPECT_EQ(c->convert(source, destination, 4, nullptr), 0) << k.reason;
        AREA area{};
        area.source = source;
        area.destination = destination;
        area.width = 4;
        area.height = 1;
        EXPECT_EQ(c->convertArea(area), 0) << k.reason;
        EXPECT_EQ(destination[0], 0xEE) << k.reason << ": written without a lookup";
        EXPECT_EQ(c->convert(source, destination, 4, lookup), 1) << k.reason;
        EXPECT_EQ(destination[0], 0x34) << k.reason;
    }
}

TEST_F(ConverterSelection, GreyToIndexIsAByteCopyWithoutLookup) {
    Converter c(raster.converter(Format(GREY8), Format(INDEX8)));
    const uint8_t source[5] = {1, 2, 3, 250, 255};
    uint8_t destination[6] = {};
    ASSERT_EQ(c->convert(source, destination, 5, nullptr), 1);
    EXPECT_EQ(0, std::memcmp(source, destination, 5));
    EXPECT_EQ(destination[5], 0);
}

TEST_F(ConverterSelection, PairsThatCannotConvertWriteNothing) {
    struct Case {
        const char* reason;
        Format from, to;
        int32_t lineResult, areaResult;
    };
    const Case cases[] = {
        {"ARGB8888 to INDEX8", Format(ARGB8888), Format(INDEX8), 0, 0},
        {"ARGB8888 to FAKEMODE", Format(ARGB8888), Format(FAKEMODE1B), 0, 0},
        {"RGB565 to FAKEMODE", Format(RGB565), Format(FAKEMODE3A), 0, 0},
        {"INDEX8 to FAKEMODE, lookup given", Format(INDEX8), Format(FAKEMODE2A), 0, 0},
        {"INDEX8 to a 5-byte custom format", Format(INDEX8), custom40, 0, 0},
        {"FAKEMODE1A to FAKEMODE1C: 0 bytes copied", Format(FAKEMODE1A), Format(FAKEMODE1C), 1, 1},
        {"a reserved id to itself: 0 bytes copied", reserved(1023), reserved(1023), 1, 1},
        {"equal invalid custom formats", Format(0, 0, 0, 0, 0, 0, 0, 0, RGB_MODEL, -1),
         Format(0, 0, 0, 0, 0, 0, 0, 0, RGB_MODEL, -1), 0, 0},
        {"a model unpack and pack refuse", custom32, Format(RGB565), 0, 0},
        {"FAKEMODE to the same FAKEMODE: 0 bytes copied", Format(FAKEMODE1A), Format(FAKEMODE1A), 1,
         1},
    };
    const uint32_t lookup[256] = {};
    for (const Case& k : cases) {
        Converter c(raster.converter(k.from, k.to));
        ASSERT_TRUE(c) << k.reason;
        uint8_t source[64] = {1, 2, 3, 4, 5, 6, 7, 8}, destination[64];
        std::memset(destination, 0xEE, sizeof destination);
        EXPECT_EQ(c->convert(source, destination, 4, lookup), k.lineResult) << k.reason;
        AREA area{};
        area.source = source;
        area.destination = destination;
        area.width = 4;
        area.height = 3;
        area.sourcePitch = 16;
        area.destinationPitch = 16;
        area.lookup = lookup;
        EXPECT_EQ(c->convertArea(area), k.areaResult) << k.reason;
        for (uint8_t b : destination) ASSERT_EQ(b, 0xEE) << k.reason << ": memory written";
    }
}

TEST_F(ConverterSelection, GenericPathPacksWhatItUnpacks) {
    // ABGR8888 to RGB565 has no routine: red is the low byte, truncated to the top bits.
    Converter c(raster.converter(Format(ABGR8888), Format(RGB565)));
    ASSERT_EQ(c->line, nullptr);
    const uint32_t source[] = {0xFF4080FF, 0x00000000, 0xFFFFFFFF, 0x12345678, 0x80FF0000};
    const int count = 5;
    uint16_t destination[count + 1] = {};
    destination[count] = 0xEEEE;
    ASSERT_EQ(c->convert(source, destination, count, nullptr), 1);
    for (int i = 0; i < count; ++i) {
        const uint32_t p = source[i];
        const uint32_t r = p & 0xFF, g = (p >> 8) & 0xFF, b = (p >> 16) & 0xFF;
        EXPECT_EQ(destination[i], (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
            << "pixel 0x" << std::hex << p;
    }
    EXPECT_EQ(destination[count], 0xEEEE);
    // A count of 0 succeeds and writes nothing.
    destination[0] = 0xEEEE;
    EXPECT_EQ(c->convert(source, destination, 0, nullptr), 1);
    EXPECT_EQ(destination[0], 0xEEEE);
}

TEST_F(ConverterSelection, GenericAreaAdvancesByThePitches) {
    // BGR565 to ARGB1555 row by row; the skips hold rubbish the generic path must not use.
    Converter c(raster.converter(Format(BGR565), Format(ARGB1555)));
    ASSERT_EQ(c->area, nullptr);
    const int width = 3, height = 3, sourcePitch = 10, destinationPitch = 8;
    uint8_t source[sourcePitch * height];
    for (int i = 0; i < sourcePitch * height; ++i) source[i] = uint8_t(i * 37 + 11);
    uint8_t destination[destinationPitch * height];
    std::memset(destination, 0xEE, sizeof destination);
    AREA area{};
    area.source = source;
    area.destination = destination;
    area.width = width;
    area.height = height;
    area.sourcePitch = sourcePitch;
    area.destinationPitch = destinationPitch;
    area.sourceSkip = 1000;
    area.destinationSkip = -1000;
    ASSERT_EQ(c->convertArea(area), 1);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* in = &source[y * sourcePitch + 2 * x];
            const unsigned q = in[0] | unsigned(in[1]) << 8;
            // BGR565 red 4..0, green 10..5, blue 15..11; unpack widens, pack takes the top bits.
            const unsigned r5 = q & 31, g6 = (q >> 5) & 63, b5 = q >> 11;
            const unsigned r = (r5 << 3) * 31 / 255 << 3, g = (g6 << 2) * 63 / 255 << 2,
                           b = (b5 << 3) * 31 / 255 << 3;
            const unsigned expected = (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
            const uint8_t* out = &destination[y * destinationPitch + 2 * x];
            EXPECT_EQ(out[0] | unsigned(out[1]) << 8, expected) << "row " << y << ", x " << x;
        }
        EXPECT_EQ(destination[y * destinationPitch + 6], 0xEE) << "row " << y;
    }
}

// The generic path's tables against the pixel-by-pixel unpack and pack they stand for: every
// standard pair without a routine and custom layouts with overlapping, ignored and three-byte
// channels, over every 8- and 16-bit pixel and a random sample of wider ones, each run ending
// where the readable memory ends and followed by a byte that must stay untouched.
TEST_F(ConverterSelection, GenericTablesMatchThePerPixelPath) {
    struct Pair {
        Format from, to;
        std::string name;
    };
    std::vector<Pair> pairs;
    for (int32_t a = FIRST_FORMAT_ID; a <= LAST_RESERVED_ID; ++a) {
        for (int32_t b = FIRST_FORMAT_ID; b <= LAST_RESERVED_ID; ++b) {
            const Format from(a), to(b);
            if (from.type != DIRECT || to.type != DIRECT || from == to) continue;
            Converter c(raster.converter(from, to));
            if (c && !c->line)
                pairs.push_back({from, to, std::to_string(a) + "->" + std::to_string(b)});
        }
    }
    ASSERT_GT(pairs.size(), 80u);
    const Format overlapping(0, 8, 4, 8, 8, 8, 12, 4, RGB_MODEL, 28); // channels share bits
    const Format threeByte(0, 7, 7, 7, 14, 7, 21, 3, RGB_MODEL, 24);
    const Format ignored(3, 5, 30, 6, 8, 0, 0, 0, RGB_MODEL, 11);   // green runs past bit 31
    const Format highBits(24, 8, 16, 8, 0, 0, 0, 0, RGB_MODEL, 16); // 2 bytes, channels above
    const Format wide(0, 8, 8, 8, 16, 8, 24, 8, RGB_MODEL, 32);
    const Format grey(0, 3, 3, 3, 6, 2, 0, 0, RGB_MODEL, 8);
    for (const Format& f : {overlapping, threeByte, ignored, highBits, grey}) {
        pairs.push_back({f, Format(RGB565), "custom->RGB565"});
        pairs.push_back({Format(ARGB8888), f, "ARGB8888->custom"});
        pairs.push_back({f, threeByte, "custom->custom"});
        pairs.push_back({wide, f, "wide->custom"});
    }
    std::mt19937 random(7);
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.name + " (" + std::to_string(pair.from.bytes) + " to " +
                     std::to_string(pair.to.bytes) + " bytes)");
        Converter c(raster.converter(pair.from, pair.to));
        ASSERT_TRUE(c);
        if (c->line) continue;
        const int32_t in = pair.from.bytes, out = pair.to.bytes;
        const int32_t count = in <= 2 ? 1 << (8 * in) : 65536;
        GuardedBuffer source(size_t(count) * size_t(in));
        ASSERT_TRUE(source.ok());
        uint8_t* s = source.end() - size_t(count) * size_t(in); // the size is rounded to pages
        for (int32_t i = 0; i < count; ++i) {
            const uint32_t p = in <= 2 ? uint32_t(i) : uint32_t(random());
            for (int32_t k = 0; k < in; ++k) s[i * in + k] = uint8_t(p >> (8 * k));
        }
        std::vector<uint8_t> expected(size_t(count) * size_t(out) + 1, 0xEE);
        conversion::convertGeneric(pair.from, pair.to, s, expected.data(), count);
        for (int32_t run : {count, 1, 7}) {
            const uint8_t* first = source.end() - size_t(run) * size_t(in);
            const size_t firstPixel = size_t(count - run);
            std::vector<uint8_t> destination(size_t(run) * size_t(out) + 1, 0xEE);
            ASSERT_EQ(c->convert(first, destination.data(), run, nullptr), 1);
            for (int32_t i = 0; i < run * out; ++i)
                ASSERT_EQ(destination[size_t(i)], expected[firstPixel * size_t(out) + size_t(i)])
                    << "pixel " << firstPixel + size_t(i / out) << ", byte " << i % out;
            ASSERT_EQ(destination.back(), 0xEE) << "written past the run";
        }
    }
}

TEST_F(ConverterSelection, AreaHeights) {
    Converter c(raster.converter(Format(ARGB8888), Format(RGB565)));
    uint32_t source[4 * 3];
    for (int i = 0; i < 12; ++i) source[i] = 0xFFFFFFFF;
    uint16_t destination[4 * 3];
    std::memset(destination, 0, sizeof destination);
    AREA area{};
    area.source = source;
    area.destination = destination;
    area.width = 4;
    area.height = 0;
    area.sourcePitch = 16;
    area.destinationPitch = 8;
    area.sourceSkip = 0;
    area.destinationSkip = 0;
    EXPECT_EQ(c->convertArea(area), 1);
    EXPECT_EQ(destination[0], 0) << "height 0 wrote";
    area.height = 3;
    EXPECT_EQ(c->convertArea(area), 1);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(destination[i], 0xFFFF) << "pixel " << i;
    // The converter works on a copy; the routine counts the copy's height down.
    EXPECT_EQ(area.height, 3);
    AREA direct = area;
    c->area(direct, nullptr);
    EXPECT_EQ(direct.height, 0);
}

TEST_F(ConverterSelection, SameFormatAreaCountsBytes) {
    Converter c(raster.converter(Format(RGB565), Format(RGB565)));
    uint16_t source[3 * 5], destination[3 * 5];
    for (int i = 0; i < 15; ++i) source[i] = uint16_t(0x1000 + i);
    std::memset(destination, 0, sizeof destination);
    AREA area{};
    area.source = source;
    area.destination = destination;
    area.width = 4; // pixels; 8 bytes once scaled
    area.height = 3;
    area.sourcePitch = 10;
    area.destinationPitch = 10;
    area.sourceSkip = 2;
    area.destinationSkip = 2;
    ASSERT_EQ(c->convertArea(area), 1);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) EXPECT_EQ(destination[y * 5 + x], source[y * 5 + x]);
        EXPECT_EQ(destination[y * 5 + 4], 0) << "row " << y;
    }
}

TEST_F(ConverterSelection, ByteCountsThatOverflowAreRefused) {
    Converter c(raster.converter(Format(ARGB8888), Format(ARGB8888)));
    uint8_t pixel[4] = {};
    EXPECT_EQ(c->convert(pixel, pixel, 0x20000000, nullptr), 0);
}

TEST_F(ConverterSelection, ANewConverterIsEmpty) {
    RASTER::CONVERTER c;
    EXPECT_EQ(c.source.id, 0);
    EXPECT_EQ(c.destination.type, 0);
    EXPECT_EQ(c.needsLookup, 0);
    EXPECT_EQ(c.sameFormat, 0);
    EXPECT_EQ(c.line, nullptr);
    EXPECT_EQ(c.area, nullptr);
    uint8_t b[4] = {};
    EXPECT_EQ(c.convert(b, b, 1, nullptr), 0);
}

// A converter is made with the variant of the level in use then, and keeps it.
TEST_F(ConverterSelection, EachLevelGetsItsVariant) {
    const conversion::Routine* routine = conversion::routeFor(RGB565, RGB888);
    ASSERT_TRUE(routine);
    for (int level = conversion::SIMD_NONE; level <= conversion::bestSimdLevel(); ++level) {
        conversion::setSimdLevel(conversion::SimdLevel(level));
        Converter c(raster.converter(Format(RGB565), Format(RGB888)));
        const RASTER::CONVERTER* kept = raster.kept(Format(RGB565), Format(RGB888));
        conversion::setSimdLevel(conversion::bestSimdLevel());
        EXPECT_EQ(c->line, routine->at[level].line)
            << conversion::simdLevelName(conversion::SimdLevel(level));
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->line, routine->at[level].line) << "kept, level " << level;
    }
}

// 64 custom 16-bit layouts no other test asks for: red of every width 1..8 at shifts 0..7.
Format customPair(int k) {
    return Format(k % 8, 1 + k / 8 % 8, 8, 8, 0, 0, 0, 0, RGB_MODEL, 16);
}

// The converter kept for a pair is made once and handed to every request for it, from any
// thread at once; it is the converter a request would get. Past the pairs the tables hold,
// requests are refused and converter() still serves.
TEST_F(ConverterSelection, KeptConvertersAreMadeOncePerPair) {
    struct Pair {
        const char* reason;
        Format from, to;
    };
    const Pair pairs[] = {
        {"a routine", Format(ARGB8888), Format(RGB565)},
        {"the generic path", Format(ABGR8888), Format(RGB565)},
        {"GREY8, a request of its own", Format(GREY8), Format(RGB565)},
        {"INDEX8", Format(INDEX8), Format(RGB565)},
        {"equal custom formats", custom32, custom32},
    };
    std::vector<const RASTER::CONVERTER*> first;
    for (const Pair& p : pairs) {
        const RASTER::CONVERTER* k = raster.kept(p.from, p.to);
        ASSERT_TRUE(k) << p.reason;
        for (const RASTER::CONVERTER* other : first) EXPECT_NE(k, other) << p.reason;
        first.push_back(k);
        EXPECT_EQ(raster.kept(p.from, p.to), k) << p.reason;
        Converter c(raster.converter(p.from, p.to));
        EXPECT_EQ(c->line, k->line) << p.reason;
        EXPECT_EQ(c->source.id, k->source.id) << p.reason;
        EXPECT_EQ(c->destination, k->destination) << p.reason;
    }

    const int threads = 4, pairCount = 8;
    std::vector<const RASTER::CONVERTER*> got(threads * pairCount);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int k = 0; k < pairCount; ++k)
                got[size_t(t * pairCount + k)] = raster.kept(customPair(k), Format(RGB565));
        });
    for (std::thread& w : workers) w.join();
    for (int k = 0; k < pairCount; ++k)
        for (int t = 0; t < threads; ++t) {
            ASSERT_TRUE(got[size_t(t * pairCount + k)]) << "pair " << k;
            EXPECT_EQ(got[size_t(t * pairCount + k)], got[size_t(k)]) << "pair " << k;
        }

    int kept = 0, refused = 0;
    for (int k = 0; k < 128; ++k) {
        const Format from = customPair(k % 64), to(k < 64 ? BGR565 : ARGB1555);
        if (raster.kept(from, to))
            ++kept;
        else
            ++refused;
        Converter c(raster.converter(from, to));
        ASSERT_TRUE(c);
        uint16_t pixel = 0xFFFF, out = 0;
        EXPECT_EQ(c->convert(&pixel, &out, 1, nullptr), 1) << "pair " << k;
    }
    EXPECT_GT(kept, 0);
    EXPECT_GT(refused, 0) << "the tables hold a bounded number of pairs";
}

TEST(RasterInstances, TablesLiveFromTheFirstToTheLast) {
    // The library's own RASTER lives for the whole program: step its count aside for the test.
    const int32_t held = conversion::instanceCount();
    for (int32_t i = 0; i < held; ++i) conversion::releaseTables();
    struct Restore {
        int32_t count;
        ~Restore() {
            for (int32_t i = 0; i < count; ++i) conversion::acquireTables();
        }
    } restore{held};
    const int32_t builds = conversion::tableBuilds();
    Converter survivor;
    {
        std::optional<RASTER> a, b, c;
        a.emplace();
        b.emplace();
        c.emplace(*a); // a copy counts too
        EXPECT_EQ(conversion::instanceCount(), 3);
        EXPECT_EQ(conversion::tableBuilds(), builds + 1) << "built once";
        survivor.reset(b->converter(Format(RGB565), Format(ARGB8888)));
        a.reset();
        b.reset();
        EXPECT_TRUE(conversion::tablesBuilt()) << "freed before the last destruction";
        c.reset();
        EXPECT_FALSE(conversion::tablesBuilt()) << "not freed at the last destruction";
    }
    EXPECT_EQ(conversion::instanceCount(), 0);
    conversion::releaseTables(); // one destruction too many
    EXPECT_EQ(conversion::instanceCount(), 0);
    EXPECT_FALSE(conversion::tablesBuilt());

    // A converter handed out earlier still converts: it holds copies, the routines are static.
    const uint16_t white = 0xFFFF;
    uint32_t out = 0;
    EXPECT_EQ(survivor->convert(&white, &out, 1, nullptr), 1);
    EXPECT_EQ(out, 0x00FEFEFEu);

    // The next RASTER builds them anew.
    RASTER again;
    EXPECT_EQ(conversion::tableBuilds(), builds + 2);
    Converter c(again.converter(Format(ARGB8888), Format(RGB565)));
    EXPECT_EQ(c->line, chosen(convert_argb8888_rgb565));
}

} // namespace
