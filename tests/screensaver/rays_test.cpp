#include "screensaver/Rays.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A block of 32-bit pixels filled with noise. Flipped, it is addressed from its last row with a
// negative pitch; at() takes the row as the routines see it.
struct Pixels {
    int32_t width, height;
    bool flipped;
    std::vector<uint32_t> words;

    Pixels(int32_t w, int32_t h, bool flip = false, uint32_t seed = 7)
        : width(w), height(h), flipped(flip), words(size_t(w) * h) {
        for (uint32_t& word : words) word = seed = seed * 1664525u + 1013904223u;
    }
    void* top() { return &at(0, 0); }
    int32_t pitch() const { return (flipped ? -4 : 4) * width; }
    uint32_t& at(int32_t x, int32_t y) {
        return words[size_t(flipped ? height - 1 - y : y) * width + x];
    }
};

RayTables builtTables() {
    RayTables tables;
    EXPECT_TRUE(buildRayTable(tables));
    return tables;
}

// The ray table entry written out directly from its definition.
int32_t plainEntry(int32_t i, int32_t x) {
    float tiny;
    const uint32_t tinyBits = 0x358637BD;
    std::memcpy(&tiny, &tinyBits, 4);
    float fx = float(x), fy = float(i * 1.2);
    if (fx == 0) fx = tiny;
    if (fy == 0) fy = tiny;
    float distance = float(std::sqrt(double(fx) * double(fx) + double(fy) * double(fy)));
    int32_t d = int32_t(std::floor(distance));
    if (d > 254) d = 254;
    double q = std::atan(double(fy) / double(fx));
    double a = x >= 0 ? std::floor(q * 0.3183098861837907 * 0.5 * 256.0)
                      : 127.0 - std::floor(-q * 0.3183098861837907 * 0.5 * 256.0);
    return int32_t(a) * 256 + 254 - d;
}

int32_t& entryAt(RayTables& tables, int32_t i, int32_t x) {
    return tables.rayTable[size_t(i + 150) * 480 + (x + 240)];
}

// One light-map row written out directly, with a division per byte.
void plainLightRow(uint32_t tick, int32_t r, uint8_t* row) {
    const double pi = 3.141592653589793, t = tick;
    double s = (15 * std::cos(pi / 8 * (99999999 - t * 0.5 - r)) + 36) +
               (31 * std::sin(pi / 32 * t) + 52) +
               (36 + 15 * std::cos(pi / 16 * (99999999 - t - r * 0.5)));
    int32_t v = int32_t(s);
    for (int32_t c = 0; c < v; ++c) row[c] = 0;
    for (int32_t j = 0; j <= 254 - v; ++j) row[v + j] = uint8_t(j * 256 / (255 - v));
}

TEST(RayTable, ListedEntriesAndWholeTable) {
    RayTables tables = builtTables();
    const struct {
        int32_t i, x, entry;
        const char* why;
    } cases[] = {
        {0, 0, 8446, "centre: both coordinates replaced, angle 32, distance 0"},
        {0, 1, 253, "just right of the centre"},
        {0, -1, 32765, "just left: angle 127"},
        {1, 0, 16381, "just below: angle 63"},
        {-1, 0, -16131, "just above: angle -64, a negative entry"},
        {0, 239, 15, "right edge of the row, distance 239"},
        {100, -100, 23650, "lower left quadrant"},
        {-150, -240, 39424, "top-left corner, distance clamped"},
        {149, 239, 6656, "bottom-right corner, distance clamped"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(entryAt(tables, c.i, c.x), c.entry)
            << "(" << c.i << ", " << c.x << "): " << c.why;

    int64_t sum = 0, plainSum = 0;
    int32_t mismatches = 0;
    for (int32_t i = -150; i < 150; ++i)
        for (int32_t x = -240; x < 240; ++x) {
            const int32_t entry = entryAt(tables, i, x), expected = plainEntry(i, x);
            sum += entry;
            plainSum += expected;
            if (entry != expected && mismatches++ < 5)
                ADD_FAILURE() << "(" << i << ", " << x << "): " << entry << " != " << expected;
            const int32_t angle = (entry - (entry & 0xFF)) / 256, distance = 254 - (entry & 0xFF);
            ASSERT_TRUE(angle >= -64 && angle <= 191 && distance >= 0) << i << ", " << x;
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(sum, plainSum);
}

TEST(RayTable, FailedAllocationIsReportedAndChangesNothing) {
    static int callsLeft;
    auto failAfter = [](size_t size) -> void* {
        return callsLeft-- > 0 ? std::malloc(size) : nullptr;
    };
    for (int succeeding : {0, 1}) {
        RayTables empty;
        callsLeft = succeeding;
        EXPECT_FALSE(buildRayTable(empty, failAfter))
            << "allocation " << succeeding + 1 << " fails";
        EXPECT_FALSE(empty.ok() || empty.rayTable || empty.lightMap);

        RayTables built = builtTables();
        const int32_t* table = built.rayTable.get();
        callsLeft = succeeding;
        EXPECT_FALSE(buildRayTable(built, failAfter));
        EXPECT_EQ(built.rayTable.get(), table) << "the old tables are kept";
    }
}

TEST(LightMap, ListedRowStartsAndWholeMap) {
    RayTables tables = builtTables();
    uint8_t* map = tables.lightMap.get();
    EXPECT_EQ(std::count(map, map + 65536, 0), 65536) << "the first frame shows no rays";

    const struct {
        uint32_t tick;
        int32_t v[4];
    } starts[] = {{0, {152, 148, 143, 137}}, {1000, {93, 87, 82, 80}}};
    for (const auto& s : starts) {
        regenerateLightMap(tables, s.tick);
        for (int32_t r = 0; r < 4; ++r) {
            const uint8_t* row = map + r * 256;
            const int32_t v =
                int32_t(std::find_if(row, row + 256, [](uint8_t b) { return b; }) - row) - 1;
            EXPECT_EQ(v, s.v[r]) << "tick " << s.tick << " row " << r;
            EXPECT_EQ(row[254], (254 - v) * 256 / (255 - v)) << "the ramp ends at the centre";
        }
    }

    for (int32_t r = 0; r < 256; ++r) map[r * 256 + 255] = 0xA5; // column 255 is never written
    // Ticks 0..63 give every row start from 63 to 183, so every ramp length; then ticks around
    // the 99999999 of the formula and the last tick of the clock.
    std::vector<uint32_t> ticks = {99999999u, 100000000u, 0xFFFFFFFFu / 25};
    for (uint32_t tick = 0; tick < 64; ++tick) ticks.push_back(tick);
    for (uint32_t tick : ticks) {
        regenerateLightMap(tables, tick);
        uint8_t row[256];
        for (int32_t r = 0; r < 256; ++r) {
            row[255] = 0xA5;
            plainLightRow(tick, r, row);
            ASSERT_EQ(std::memcmp(map + r * 256, row, 256), 0) << "tick " << tick << " row " << r;
        }
    }
}

// Adds the rays byte by byte from the table window at (rowStart, colStart).
void plainAddRays(RayTables& tables, Pixels& canvas, int32_t rowStart, int32_t colStart) {
    for (int32_t y = 0; y < 200; ++y)
        for (int32_t x = 0; x < 320; ++x) {
            const int32_t e = tables.rayTable[size_t(rowStart + y) * 480 + colStart + x] & 0xFFFF;
            const uint32_t v = tables.lightMap[e], p = canvas.at(x, y);
            const uint32_t add[4] = {v / 2, v, v, 0};
            uint32_t out = 0;
            for (int32_t k = 0; k < 4; ++k)
                out |= std::min(255u, (p >> (8 * k) & 0xFF) + add[k]) << (8 * k);
            canvas.at(x, y) = out;
        }
}

TEST(Rays, MatchPlainReferenceOverWindowsAndPitches) {
    RayTables tables = builtTables();
    for (size_t k = 0; k < 65536; ++k) tables.lightMap[k] = uint8_t(k * 2654435761u >> 24);
    const struct {
        RayWindow asked, read;
        const char* why;
    } windows[] = {
        {rayWindow(0), {96, 80}, "tick 0"},
        {{96, 156}, {96, 156}, "the farthest corner: reads up to row 295, column 475"},
        {{4, 4}, {4, 4}, "the nearest corner the clock gives"},
        {{1000, -50}, {100, 0}, "out of the table: moved inside"},
        {{-1, 500}, {0, 160}, "out of the table the other way"},
    };
    for (const auto& w : windows)
        for (bool flipped : {false, true}) {
            // 640 wide and taller than 200: nothing outside the 320x200 area may change.
            Pixels canvas(640, 210, flipped), expected = canvas;
            addRays(tables, canvas.top(), canvas.pitch(), w.asked);
            plainAddRays(tables, expected, w.read.rowStart, w.read.colStart);
            EXPECT_TRUE(canvas.words == expected.words) << w.why << (flipped ? ", flipped" : "");
        }
}

TEST(Rays, ListedPixelCases) {
    RayTables tables = builtTables();
    const struct {
        uint32_t pixel, v, expected;
        const char* why;
    } cases[] = {
        {0x12345678, 0, 0x12345678, "a zero light map changes nothing"},
        {0x00000000, 255, 0x00FFFF7F, "blue gets half strength"},
        {0xAB000000, 1, 0xAB010100, "the alpha byte is kept; 1 / 2 adds nothing to blue"},
        {0x00FFFFFF, 10, 0x00FFFFFF, "channels at 255 stay 255"},
        {0x00C8C8C8, 100, 0x00FFFFFA, "sums of 255 or more are stored as 255"},
        {0xFF81FF83, 0x7F, 0xFFFFFFC2, "sums of exactly 256 and 255, no carry into alpha"},
    };
    for (const auto& c : cases) {
        std::memset(tables.lightMap.get(), int(c.v), 65536);
        Pixels canvas(320, 200);
        std::fill(canvas.words.begin(), canvas.words.end(), c.pixel);
        addRays(tables, canvas.top(), canvas.pitch(), uint32_t(4321));
        EXPECT_EQ(std::count(canvas.words.begin(), canvas.words.end(), c.expected), 64000)
            << std::hex << c.pixel << " + " << c.v << ": " << c.why;
    }
}

TEST(Rays, NegativeEntriesAddressTheLastLightMapRows) {
    RayTables tables = builtTables();
    // (-1, 0) is -16131: angle -64, so light-map row 192, column 253. It lies at canvas pixel
    // (84, 53) of the window at (96, 156).
    uint8_t* map = tables.lightMap.get();
    map[192 * 256 + 253] = 100;
    Pixels canvas(320, 200);
    std::fill(canvas.words.begin(), canvas.words.end(), 0);
    addRays(tables, canvas.top(), canvas.pitch(), RayWindow{96, 156});
    EXPECT_EQ(canvas.at(84, 53), 0x00646432u);
}

TEST(Rays, NothingDrawnBeforeTheFirstLightMapOrWithoutTables) {
    RayTables tables = builtTables(), empty;
    Pixels canvas(320, 200), original = canvas;
    addRays(tables, canvas.top(), canvas.pitch(), uint32_t(0));
    addRays(empty, canvas.top(), canvas.pitch(), uint32_t(0));
    regenerateLightMap(empty, 0);
    EXPECT_TRUE(canvas.words == original.words);
}

TEST(Rays, WindowFollowsTheClockInsideTheTable) {
    EXPECT_EQ(rayWindow(0).rowStart, 96);
    EXPECT_EQ(rayWindow(500).rowStart, 4);
    EXPECT_EQ(rayWindow(235).colStart, 156);
    EXPECT_EQ(rayWindow(705).colStart, 4);
    for (uint32_t tick = 0; tick < 48000; ++tick) {
        const RayWindow w = rayWindow(tick);
        ASSERT_TRUE(w.rowStart >= 4 && w.rowStart <= 96 && w.colStart >= 4 && w.colStart <= 156)
            << tick;
    }
    EXPECT_EQ(rayTick(24), 0u);
    EXPECT_EQ(rayTick(25), 1u);
    EXPECT_EQ(rayTick(0xFFFFFFFFu), 171798691u);

    // The clock form draws with the tick it returns.
    RayTables tables = builtTables();
    regenerateLightMap(tables, 77);
    Pixels canvas(320, 200), expected = canvas;
    const uint32_t tick = addRays(tables, canvas.top(), canvas.pitch());
    addRays(tables, expected.top(), expected.pitch(), tick);
    EXPECT_TRUE(canvas.words == expected.words);
}

TEST(ClearCanvas, ZeroesTheLeft320PixelsOfEachRow) {
    for (bool flipped : {false, true}) {
        Pixels canvas(640, 480, flipped), original = canvas;
        clearCanvas(canvas.top(), canvas.pitch(), 400);
        for (int32_t y = 0; y < 480; ++y)
            for (int32_t x = 0; x < 640; ++x)
                ASSERT_EQ(canvas.at(x, y), x < 320 && y < 400 ? 0 : original.at(x, y))
                    << x << ", " << y << (flipped ? ", flipped" : "");
    }
}

// Doubles byte-wise: each byte of an average is the sum of the halved bytes, and the top byte
// keeps only the low 8 bits of its sum, as the 32-bit wrap-around drops the carry.
uint32_t plainAverage(uint32_t p, uint32_t q) {
    uint32_t out = 0;
    for (int32_t k = 0; k < 4; ++k) {
        const uint32_t sum = ((p >> (8 * k) & 0xFF) >> 1) + ((q >> (8 * k) & 0xFF) >> 1);
        out |= (k == 3 ? ((sum << 1) & 0xFF) >> 1 : sum) << (8 * k);
    }
    return out;
}

// Every screen pixel is compared: rows outside the 400 doubled ones and columns 638 and 639 keep
// the screen's noise, and the last doubled row averages canvas rows 199 and 200.
TEST(DoubleCanvas, MatchesPlainReference) {
    const struct {
        int32_t height, rowOffset;
        bool flipped;
    } layouts[] = {{480, 40, false}, {400, 0, false}, {480, 40, true}};
    for (const auto& l : layouts) {
        Pixels canvas(640, l.height, l.flipped, 11), screen(640, l.height, l.flipped, 13);
        Pixels expected = screen;
        for (int32_t sy = 0; sy < 200; ++sy)
            for (int32_t sx = 0; sx < 319; ++sx) {
                const uint32_t a = canvas.at(sx, sy);
                const uint32_t h = plainAverage(a, canvas.at(sx + 1, sy));
                const uint32_t w = plainAverage(a, canvas.at(sx, sy + 1)); // row 200 for row 199
                const int32_t x = 2 * sx, y = l.rowOffset + 2 * sy;
                expected.at(x, y) = a;
                expected.at(x + 1, y) = h;
                expected.at(x, y + 1) = w;
                expected.at(x + 1, y + 1) = plainAverage(h, w);
            }
        doubleCanvas(screen.top(), canvas.top(), canvas.pitch(), l.rowOffset);
        for (int32_t y = 0; y < l.height; ++y)
            for (int32_t x = 0; x < 640; ++x)
                ASSERT_EQ(screen.at(x, y), expected.at(x, y))
                    << x << ", " << y << " offset " << l.rowOffset << (l.flipped ? " flipped" : "");
    }
}

TEST(DoubleCanvas, FourPixelsAndWrapAroundAverage) {
    const struct {
        uint32_t p, q, average, corner;
        const char* why;
    } cases[] = {
        {0x10203040, 0x30405060, 0x20304050, 0x20304050, "a plain average"},
        {0x01010101, 0x01010101, 0x00000000, 0x00000000, "the low bit of each byte goes first"},
        {0x00FF00FF, 0x00010001, 0x007F007F, 0x007E007E, "no carry between bytes"},
        {0xFFFFFFFF, 0xFFFFFFFF, 0x7EFEFEFE, 0x7EFEFEFE, "the carry out of the top byte is lost"},
        {0x80000000, 0x80000000, 0x00000000, 0x00000000, "top bytes summing to 256 wrap to 0"},
        {0xC0000000, 0xC0000000, 0x40000000, 0x40000000, "0xC0 + 0xC0 keeps only 0x80"},
    };
    for (const auto& c : cases) {
        // p at (5, 7) with q to its right and below: both halves are average(p, q).
        Pixels canvas(640, 201), screen(640, 400);
        canvas.at(5, 7) = c.p;
        canvas.at(6, 7) = canvas.at(5, 8) = c.q;
        doubleCanvas(screen.top(), canvas.top(), canvas.pitch(), 0);
        SCOPED_TRACE(testing::Message() << std::hex << c.p << ", " << c.q << ": " << c.why);
        EXPECT_EQ(screen.at(10, 14), c.p);
        EXPECT_EQ(screen.at(11, 14), c.average);
        EXPECT_EQ(screen.at(10, 15), c.average);
        EXPECT_EQ(screen.at(11, 15), c.corner);
    }
}

} // namespace
