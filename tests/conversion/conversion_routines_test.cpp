#include "conversion/FromRgb565.h"
#include "conversion/Raster.h"
#include "conversion/Routes.h"
#include "conversion/Routines.h"
#include "support/GuardedBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

// Every routine against a per-pixel reference written here from the formulas, over all cheap
// inputs, every short run length, every alignment and at every instruction-set level. A case
// names the routine by its scalar variant; the route table holds the others.

namespace {

using conversion::SimdLevel;

struct Lookups {
    uint32_t words[256];  // 4- and 3-byte destinations
    uint32_t halves[256]; // 2-byte destinations: upper halves zero
    uint8_t bytes[256];   // 1-byte destinations
};

enum class Input { Argb8888, Rgb565, Index8, Bytes };

// One source pixel in, one destination pixel's bytes out.
using Reference = void (*)(const uint8_t* source, uint8_t* destination, const Lookups& lookups);

struct RoutineCase {
    const char* name;
    LineRoutine line;
    AreaRoutine area;
    Input input;
    int sourceBytes;
    int destinationBytes;
    Reference reference;
};

void put16(uint8_t* d, unsigned v) {
    d[0] = uint8_t(v);
    d[1] = uint8_t(v >> 8);
}

// ARGB8888 pixels are stored B, G, R, A.
#define ARGB const unsigned B = s[0], G = s[1], R = s[2], A = s[3]
// RGB565: red 15..11, green 10..5, blue 4..0.
#define RGB565                                                                                     \
    const unsigned q = s[0] | unsigned(s[1]) << 8;                                                 \
    const unsigned R5 = q >> 11, G6 = (q >> 5) & 63, B5 = q & 31

// The expansion of 5- and 6-bit channels: products with the single-precision constants nearest
// 255/31 and 255/63, truncated; green in two parts (low three bits, high three bits).
unsigned widen5(unsigned v) {
    return unsigned(v * double(std::bit_cast<float>(uint32_t(0x41039ce7))));
}
unsigned widen6(unsigned v) {
    const double k = std::bit_cast<float>(uint32_t(0x40818618));
    return unsigned((v & 7) * k) + unsigned((v & 0x38) * k);
}

const RoutineCase routineCases[] = {
    {"copy", convert_copy, area_copy, Input::Bytes, 1, 1,
     [](const uint8_t* s, uint8_t* d, const Lookups&) { d[0] = s[0]; }},
    {"argb8888_abgr8888", convert_argb8888_abgr8888, area_argb8888_abgr8888, Input::Argb8888, 4, 4,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         d[0] = uint8_t(R), d[1] = uint8_t(G), d[2] = uint8_t(B), d[3] = uint8_t(A);
     }},
    {"argb8888_bgra8888", convert_argb8888_bgra8888, area_argb8888_bgra8888, Input::Argb8888, 4, 4,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         d[0] = uint8_t(A), d[1] = uint8_t(R), d[2] = uint8_t(G), d[3] = uint8_t(B);
     }},
    {"argb8888_rgba8888", convert_argb8888_rgba8888, area_argb8888_rgba8888, Input::Argb8888, 4, 4,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         d[0] = uint8_t(A), d[1] = uint8_t(B), d[2] = uint8_t(G), d[3] = uint8_t(R);
     }},
    {"argb8888_rgb888", convert_argb8888_rgb888, area_argb8888_rgb888, Input::Argb8888, 4, 3,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         (void)A;
         d[0] = uint8_t(B), d[1] = uint8_t(G), d[2] = uint8_t(R);
     }},
    {"argb8888_bgr888", convert_argb8888_bgr888, area_argb8888_bgr888, Input::Argb8888, 4, 3,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         (void)A;
         d[0] = uint8_t(R), d[1] = uint8_t(G), d[2] = uint8_t(B);
     }},
    {"argb8888_rgb565", convert_argb8888_rgb565, area_argb8888_rgb565, Input::Argb8888, 4, 2,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         (void)A;
         put16(d, (R >> 3) << 11 | (G >> 2) << 5 | B >> 3);
     }},
    {"argb8888_bgr565", convert_argb8888_bgr565, area_argb8888_bgr565, Input::Argb8888, 4, 2,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         (void)A;
         put16(d, (B >> 3) << 11 | (G >> 2) << 5 | R >> 3);
     }},
    {"argb8888_argb1555", convert_argb8888_argb1555, area_argb8888_argb1555, Input::Argb8888, 4, 2,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         (void)A;
         put16(d, (R >> 3) << 10 | (G >> 3) << 5 | B >> 3);
     }},
    {"argb8888_abgr1555", convert_argb8888_abgr1555, area_argb8888_abgr1555, Input::Argb8888, 4, 2,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         (void)A;
         put16(d, (B >> 3) << 10 | (G >> 3) << 5 | R >> 3);
     }},
    {"argb8888_grey8", convert_argb8888_grey8, area_argb8888_grey8, Input::Argb8888, 4, 1,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         (void)A;
         d[0] = uint8_t((R >> 2) + (G >> 1) + (B >> 2));
     }},
    {"argb8888_rgb332", convert_argb8888_rgb332, area_argb8888_rgb332, Input::Argb8888, 4, 1,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         ARGB;
         (void)A;
         d[0] = uint8_t((R >> 5) << 5 | (G >> 5) << 2 | B >> 6);
     }},
    {"rgb565_argb8888", convert_rgb565_argb8888, area_rgb565_argb8888, Input::Rgb565, 2, 4,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         d[0] = uint8_t(widen5(B5)), d[1] = uint8_t(widen6(G6)), d[2] = uint8_t(widen5(R5));
         d[3] = 0;
     }},
    {"rgb565_abgr8888", convert_rgb565_abgr8888, area_rgb565_abgr8888, Input::Rgb565, 2, 4,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         d[0] = uint8_t(widen5(R5)), d[1] = uint8_t(widen6(G6)), d[2] = uint8_t(widen5(B5));
         d[3] = 0;
     }},
    {"rgb565_bgra8888", convert_rgb565_bgra8888, area_rgb565_bgra8888, Input::Rgb565, 2, 4,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         d[0] = 0, d[1] = uint8_t(widen5(R5)), d[2] = uint8_t(widen6(G6));
         d[3] = uint8_t(widen5(B5));
     }},
    {"rgb565_rgba8888", convert_rgb565_rgba8888, area_rgb565_rgba8888, Input::Rgb565, 2, 4,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         d[0] = 0, d[1] = uint8_t(widen5(B5)), d[2] = uint8_t(widen6(G6));
         d[3] = uint8_t(widen5(R5));
     }},
    {"rgb565_rgb888", convert_rgb565_rgb888, area_rgb565_rgb888, Input::Rgb565, 2, 3,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         d[0] = uint8_t(widen5(B5)), d[1] = uint8_t(widen6(G6)), d[2] = uint8_t(widen5(R5));
     }},
    {"rgb565_bgr888", convert_rgb565_bgr888, area_rgb565_bgr888, Input::Rgb565, 2, 3,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         d[0] = uint8_t(widen5(R5)), d[1] = uint8_t(widen6(G6)), d[2] = uint8_t(widen5(B5));
     }},
    {"rgb565_bgr565", convert_rgb565_bgr565, area_rgb565_bgr565, Input::Rgb565, 2, 2,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         put16(d, B5 << 11 | G6 << 5 | R5);
     }},
    {"rgb565_argb1555", convert_rgb565_argb1555, area_rgb565_argb1555, Input::Rgb565, 2, 2,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         put16(d, R5 << 10 | (G6 >> 1) << 5 | B5);
     }},
    {"rgb565_abgr1555", convert_rgb565_abgr1555, area_rgb565_abgr1555, Input::Rgb565, 2, 2,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         put16(d, B5 << 10 | (G6 >> 1) << 5 | R5);
     }},
    {"rgb565_grey8", convert_rgb565_grey8, area_rgb565_grey8, Input::Rgb565, 2, 1,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         d[0] = uint8_t(2 * R5 + 2 * G6 + 2 * B5);
     }},
    {"rgb565_rgb332", convert_rgb565_rgb332, area_rgb565_rgb332, Input::Rgb565, 2, 1,
     [](const uint8_t* s, uint8_t* d, const Lookups&) {
         RGB565;
         d[0] = uint8_t((R5 >> 2) << 5 | (G6 >> 3) << 2 | B5 >> 3);
     }},
    {"index8_32", convert_index8_32, area_index8_32, Input::Index8, 1, 4,
     [](const uint8_t* s, uint8_t* d, const Lookups& l) {
         for (int i = 0; i < 4; ++i) d[i] = uint8_t(l.words[s[0]] >> (8 * i));
     }},
    {"index8_24", convert_index8_24, area_index8_24, Input::Index8, 1, 3,
     [](const uint8_t* s, uint8_t* d, const Lookups& l) {
         for (int i = 0; i < 3; ++i) d[i] = uint8_t(l.words[s[0]] >> (8 * i));
     }},
    {"index8_16", convert_index8_16, area_index8_16, Input::Index8, 1, 2,
     [](const uint8_t* s, uint8_t* d, const Lookups& l) { put16(d, l.halves[s[0]]); }},
    {"index8_8", convert_index8_8, area_index8_8, Input::Index8, 1, 1,
     [](const uint8_t* s, uint8_t* d, const Lookups& l) { d[0] = l.bytes[s[0]]; }},
};

#undef ARGB
#undef RGB565

constexpr uint8_t GUARD = 0xA5;
constexpr size_t GUARD_BYTES = 64;

std::string hex(const uint8_t* p, int n) {
    std::string text;
    char digits[4];
    for (int i = n - 1; i >= 0; --i) {
        std::snprintf(digits, sizeof digits, "%02X", p[i]);
        text += digits;
    }
    return text.empty() ? "-" : text;
}

// The variant of the routine whose scalar variant is given, at a level.
conversion::Variant variantOf(LineRoutine scalar, SimdLevel level) {
    const conversion::Routine* routine = conversion::routineOf(scalar);
    return routine ? routine->at[level] : conversion::Variant{scalar, nullptr};
}
LineRoutine atBest(LineRoutine scalar) {
    return variantOf(scalar, conversion::bestSimdLevel()).line;
}

// Every instruction-set level this processor can run, the best one last.
std::vector<SimdLevel> levels() {
    std::vector<SimdLevel> all;
    for (int l = conversion::SIMD_NONE; l <= conversion::bestSimdLevel(); ++l)
        all.push_back(SimdLevel(l));
    return all;
}

class ConversionRoutine : public ::testing::TestWithParam<RoutineCase> {
  protected:
    void SetUp() override {
        std::mt19937 random(1234);
        for (int i = 0; i < 256; ++i) {
            lookups.words[i] = random();
            lookups.halves[i] = random() & 0xFFFF;
            lookups.bytes[i] = uint8_t(random());
        }
    }
    conversion::Variant variant() const { return variantOf(GetParam().line, level); }

    const void* lookup() const {
        const RoutineCase& c = GetParam();
        if (c.input != Input::Index8) return nullptr;
        if (c.destinationBytes == 2) return lookups.halves;
        return c.destinationBytes == 1 ? static_cast<const void*>(lookups.bytes) : lookups.words;
    }

    // Source pixels: for 16-bit sources all 65536 values in order, for indices every index
    // several times, for 32-bit sources the telling corners then random words.
    std::vector<uint8_t> sourcePixels(int count, uint32_t seed) const {
        const RoutineCase& c = GetParam();
        std::vector<uint8_t> pixels(size_t(count) * c.sourceBytes);
        std::mt19937 random(seed);
        for (int i = 0; i < count; ++i) {
            uint32_t v = random();
            if (c.input == Input::Rgb565 && seed == 0) v = uint32_t(i);
            if (c.input == Input::Index8 && seed == 0) v = uint32_t(i);
            std::memcpy(&pixels[size_t(i) * c.sourceBytes], &v, size_t(c.sourceBytes));
        }
        return pixels;
    }

    // Runs the line routine on count pixels from source into destination and checks the
    // cursors, every pixel against the reference and the guard bytes on both sides.
    ::testing::AssertionResult convertAndCheck(const uint8_t* source, uint8_t* destination,
                                               int count, const char* where) const {
        const RoutineCase& c = GetParam();
        const uint8_t* s = source;
        uint8_t* d = destination;
        variant().line(s, d, count, lookup());
        if (s != source + size_t(count) * c.sourceBytes ||
            d != destination + size_t(count) * c.destinationBytes)
            return ::testing::AssertionFailure()
                   << where << ": " << c.name << " at " << conversion::simdLevelName(level)
                   << ", count " << count << ": cursors advanced by " << (s - source) << " / "
                   << (d - destination) << " bytes";
        for (int i = 0; i < count; ++i) {
            uint8_t expected[4];
            c.reference(source + size_t(i) * c.sourceBytes, expected, lookups);
            const uint8_t* actual = destination + size_t(i) * c.destinationBytes;
            if (std::memcmp(expected, actual, size_t(c.destinationBytes)) != 0)
                return ::testing::AssertionFailure()
                       << where << ": " << c.name << " at " << conversion::simdLevelName(level)
                       << ", count " << count
                       << ", source address % 64 = " << (reinterpret_cast<uintptr_t>(source) % 64)
                       << ", destination address % 64 = "
                       << (reinterpret_cast<uintptr_t>(destination) % 64) << ", pixel " << i
                       << ": source 0x" << hex(source + size_t(i) * c.sourceBytes, c.sourceBytes)
                       << ", expected 0x" << hex(expected, c.destinationBytes) << ", actual 0x"
                       << hex(actual, c.destinationBytes);
        }
        return ::testing::AssertionSuccess();
    }

    static ::testing::AssertionResult guardsIntact(const uint8_t* from, const uint8_t* to,
                                                   const char* side) {
        for (const uint8_t* p = from; p < to; ++p)
            if (*p != GUARD)
                return ::testing::AssertionFailure() << "guard byte " << (p - from) << " " << side
                                                     << " the run changed to 0x" << hex(p, 1);
        return ::testing::AssertionSuccess();
    }

    RASTER raster; // builds the expansion tables the RGB565 routines read
    Lookups lookups;
    SimdLevel level = conversion::bestSimdLevel(); // the variant under test
};

// All 65536 RGB565 values, every index four times, a quarter million random ARGB8888 words, a
// megabyte to copy: one long run, where the widest batches (and the large-copy path) do the work.
TEST_P(ConversionRoutine, EveryCheapInputInOneLongRun) {
    const RoutineCase& c = GetParam();
    const int count = c.input == Input::Rgb565   ? 65536
                      : c.input == Input::Index8 ? 1024
                      : c.input == Input::Bytes  ? 1 << 20
                                                 : 262144;
    std::vector<uint8_t> source = sourcePixels(count, 0);
    if (c.input == Input::Argb8888) {
        // Channel corners first: every byte at 0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF.
        const uint8_t corners[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
        int i = 0;
        for (uint8_t b : corners)
            for (uint8_t g : corners)
                for (uint8_t r : corners)
                    for (uint8_t a : corners) {
                        uint8_t* p = &source[size_t(i++) * 4];
                        p[0] = b, p[1] = g, p[2] = r, p[3] = a;
                    }
    }
    for (SimdLevel l : levels()) {
        level = l;
        std::vector<uint8_t> destination(size_t(count) * c.destinationBytes + 2 * GUARD_BYTES,
                                         GUARD);
        uint8_t* run = destination.data() + GUARD_BYTES;
        ASSERT_TRUE(convertAndCheck(source.data(), run, count, "long run"));
        ASSERT_TRUE(guardsIntact(destination.data(), run, "before"));
        ASSERT_TRUE(guardsIntact(run + size_t(count) * c.destinationBytes,
                                 destination.data() + destination.size(), "after"));
    }
}

// Every run length 0..70 at every source and destination alignment, guard bytes around.
TEST_P(ConversionRoutine, EveryShortRunAtEveryAlignment) {
    const RoutineCase& c = GetParam();
    for (SimdLevel l : levels()) {
        level = l;
        for (int count = 0; count <= 70; ++count) {
            const std::vector<uint8_t> pixels = sourcePixels(count, uint32_t(count + 1));
            for (int sourceAlign = 0; sourceAlign < 4; ++sourceAlign)
                for (int destinationAlign = 0; destinationAlign < 4; ++destinationAlign) {
                    alignas(64) uint8_t source[70 * 4 + 64];
                    alignas(64) uint8_t destination[70 * 4 + 2 * GUARD_BYTES];
                    std::memset(destination, GUARD, sizeof destination);
                    if (!pixels.empty())
                        std::memcpy(source + sourceAlign, pixels.data(), pixels.size());
                    uint8_t* run = destination + GUARD_BYTES + destinationAlign;
                    ASSERT_TRUE(convertAndCheck(source + sourceAlign, run, count, "short run"));
                    ASSERT_TRUE(guardsIntact(destination, run, "before"))
                        << c.name << ", count " << count;
                    ASSERT_TRUE(guardsIntact(run + count * c.destinationBytes,
                                             destination + sizeof destination, "after"))
                        << c.name << ", count " << count;
                }
        }
    }
}

// Every destination offset within a cache line, with enough pixels after it for whole blocks
// at every width, and run lengths that end at every offset too: each level's head before its
// first aligned block and its tail after the last.
TEST_P(ConversionRoutine, EveryHeadAndTailAtEveryLevel) {
    const RoutineCase& c = GetParam();
    const int first = 160, lengths = c.destinationBytes % 2 ? 64 : 64 / c.destinationBytes;
    const int longest = first + lengths - 1;
    const std::vector<uint8_t> pixels = sourcePixels(longest, 5);
    std::vector<uint8_t> source(pixels.size() + 64), destination(size_t(longest) * 4 + 192);
    uint8_t* const line =
        destination.data() + (64 - reinterpret_cast<uintptr_t>(destination.data()) % 64);
    LineRoutine below = nullptr;
    for (SimdLevel l : levels()) {
        level = l;
        if (variant().line == below) continue; // the same variant as the level below
        below = variant().line;
        for (int offset = 0; offset < 64; ++offset) {
            // The source at another offset each time.
            uint8_t* in = source.data() + (offset * 7) % 64;
            std::memcpy(in, pixels.data(), pixels.size());
            for (int count = first; count <= longest; ++count) {
                std::memset(destination.data(), GUARD, destination.size());
                uint8_t* run = line + offset;
                ASSERT_TRUE(convertAndCheck(in, run, count, "head and tail"));
                ASSERT_TRUE(guardsIntact(destination.data(), run, "before"));
                ASSERT_TRUE(guardsIntact(run + count * c.destinationBytes,
                                         destination.data() + destination.size(), "after"))
                    << c.name << ", offset " << offset << ", count " << count;
            }
        }
    }
}

// Sets the size from which areas stream for as long as it lives.
class StreamingFrom {
  public:
    explicit StreamingFrom(int64_t bytes) : previous_(conversion::setStreamingFrom(bytes)) {}
    ~StreamingFrom() { conversion::setStreamingFrom(previous_); }
    StreamingFrom(const StreamingFrom&) = delete;
    StreamingFrom& operator=(const StreamingFrom&) = delete;

  private:
    int64_t previous_;
};

// An area whose destination is above the size from which the area routines stream (lowered to
// keep the test quick: the path is the same), padded rows and rows that form one run, at every
// level: the same bytes as the line routine writes row by row (which the tests above hold to
// the reference), and the padding untouched.
TEST_P(ConversionRoutine, StreamedAreaMatchesTheRows) {
    const RoutineCase& c = GetParam();
    const StreamingFrom streaming(256 * 1024);
    const int width = 1001, destinationRow = width * c.destinationBytes;
    const int height = int(conversion::streamingFrom() / destinationRow) + 2;
    uint32_t state = 2463534242u; // xorshift: a cheap fill for megabytes
    std::vector<uint8_t> pixels(size_t(width) * c.sourceBytes * height);
    for (uint8_t& b : pixels) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        b = uint8_t(state);
    }
    // Made once: fresh megabytes for every case would cost more in page faults than the rest.
    std::vector<uint8_t> expected(size_t(destinationRow + 7) * height + 64);
    std::vector<uint8_t> actual(expected.size());
    LineRoutine below = nullptr;
    for (SimdLevel l : levels()) {
        level = l;
        if (variant().line == below) continue;
        below = variant().line;
        for (const int padding : {0, 7}) {
            const int destinationPitch = destinationRow + padding;
            std::fill(expected.begin(), expected.end(), GUARD);
            std::fill(actual.begin(), actual.end(), GUARD);
            // 3 bytes past a cache line: every level has a head.
            const size_t start = 67 - reinterpret_cast<uintptr_t>(actual.data()) % 64;
            for (int y = 0; y < height; ++y) {
                const uint8_t* s = &pixels[size_t(y) * width * c.sourceBytes];
                uint8_t* d = &expected[start + size_t(y) * destinationPitch];
                variant().line(s, d, width, lookup());
            }
            AREA area{};
            area.source = pixels.data();
            area.destination = &actual[start];
            area.width = width;
            area.height = height;
            area.sourcePitch = width * c.sourceBytes;
            area.destinationPitch = destinationPitch;
            area.destinationSkip = padding;
            variant().area(area, lookup());
            EXPECT_EQ(area.height, 0) << c.name;
            const auto differs = std::mismatch(expected.begin(), expected.end(), actual.begin());
            ASSERT_TRUE(differs.first == expected.end())
                << c.name << " at " << conversion::simdLevelName(level) << ", padding " << padding
                << ": byte " << (differs.first - expected.begin()) - ptrdiff_t(start)
                << " of the area is 0x" << hex(&*differs.second, 1) << ", expected 0x"
                << hex(&*differs.first, 1);
        }
    }
}

// Source and destination runs that start just after or end just before an inaccessible page:
// a read or write outside the run faults.
TEST_P(ConversionRoutine, NeverTouchesMemoryOutsideTheRun) {
    const RoutineCase& c = GetParam();
    const int longest = 1100;
    GuardedBuffer source(size_t(longest) * c.sourceBytes);
    GuardedBuffer destination(size_t(longest) * c.destinationBytes);
    ASSERT_TRUE(source.ok() && destination.ok());
    std::vector<int> counts;
    for (int n = 0; n <= 70; ++n) counts.push_back(n);
    for (int n : {127, 128, 129, 255, 256, 257, 1000, longest}) counts.push_back(n);
    for (SimdLevel l : levels()) {
        level = l;
        for (int count : counts) {
            const std::vector<uint8_t> pixels = sourcePixels(count, uint32_t(count + 7));
            const size_t inBytes = pixels.size(), outBytes = size_t(count) * c.destinationBytes;
            // Both runs at the end of their pages, then both at the start.
            uint8_t* s = source.end() - inBytes;
            if (inBytes) std::memcpy(s, pixels.data(), inBytes);
            ASSERT_TRUE(convertAndCheck(s, destination.end() - outBytes, count, "at page end"));
            s = source.begin();
            if (inBytes) std::memcpy(s, pixels.data(), inBytes);
            ASSERT_TRUE(convertAndCheck(s, destination.begin(), count, "at page start"));
        }
    }
}

// A rectangle with padding between the rows, flipped (negative pitch) rows, and rows without
// padding (which may be converted as one run): every row converted, the padding untouched, the
// height counted down to 0.
TEST_P(ConversionRoutine, AreaWalksEveryRowAndOnlyTheRows) {
    const RoutineCase& c = GetParam();
    const int width = 37, height = 5;
    for (int shape = 0; shape < 3; ++shape) {
        const bool flipped = shape == 1, padded = shape < 2;
        const int sourcePitch = width * c.sourceBytes + (padded ? 3 : 0);
        const int destinationPitch = width * c.destinationBytes + (padded ? 5 : 0);
        const std::vector<uint8_t> pixels = sourcePixels(width * height, 99);
        std::vector<uint8_t> source(size_t(sourcePitch) * height);
        for (int y = 0; y < height; ++y)
            std::memcpy(&source[size_t(y) * sourcePitch],
                        &pixels[size_t(y) * width * c.sourceBytes], size_t(width) * c.sourceBytes);
        // A guard row after the last row.
        std::vector<uint8_t> destination(size_t(destinationPitch) * (height + 1), GUARD);

        AREA area{};
        // Flipped: the source's first row is its last in memory, walked upwards.
        const int firstRow = flipped ? height - 1 : 0;
        area.sourcePitch = flipped ? -sourcePitch : sourcePitch;
        area.destinationPitch = destinationPitch;
        area.source = &source[size_t(firstRow) * sourcePitch];
        area.destination = destination.data();
        area.width = width;
        area.height = height;
        area.sourceSkip = area.sourcePitch - width * c.sourceBytes;
        area.destinationSkip = destinationPitch - width * c.destinationBytes;
        variant().area(area, lookup());
        EXPECT_EQ(area.height, 0) << c.name;

        for (int y = 0; y < height; ++y) {
            const int sourceRow = flipped ? height - 1 - y : y;
            const uint8_t* in = &source[size_t(sourceRow) * sourcePitch];
            const uint8_t* out = &destination[size_t(y) * destinationPitch];
            for (int x = 0; x < width; ++x) {
                uint8_t expected[4];
                c.reference(in + x * c.sourceBytes, expected, lookups);
                ASSERT_EQ(0, std::memcmp(expected, out + x * c.destinationBytes,
                                         size_t(c.destinationBytes)))
                    << c.name << (flipped ? " flipped" : "") << ", row " << y << ", pixel " << x
                    << ": expected 0x" << hex(expected, c.destinationBytes) << ", actual 0x"
                    << hex(out + x * c.destinationBytes, c.destinationBytes);
            }
            ASSERT_TRUE(guardsIntact(out + width * c.destinationBytes, out + destinationPitch,
                                     "after the row"))
                << c.name << ", row " << y;
        }
        const uint8_t* last = &destination[size_t(height) * destinationPitch];
        ASSERT_TRUE(guardsIntact(last, last + destinationPitch, "after the area")) << c.name;
    }
}

TEST_P(ConversionRoutine, AreaOfHeightZeroWritesNothing) {
    uint8_t source[64] = {}, destination[64];
    std::memset(destination, GUARD, sizeof destination);
    AREA area{};
    area.source = source;
    area.destination = destination;
    area.width = 4;
    area.sourcePitch = 16;
    area.destinationPitch = 16;
    variant().area(area, lookup());
    EXPECT_EQ(area.height, 0);
    EXPECT_TRUE(guardsIntact(destination, destination + sizeof destination, "in"));
}

INSTANTIATE_TEST_SUITE_P(AllRoutines, ConversionRoutine, ::testing::ValuesIn(routineCases),
                         [](const ::testing::TestParamInfo<RoutineCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(ConversionRoutines, EveryRoutineIsCovered) {
    // 26 converting routines and the copy, each with its area routine.
    EXPECT_EQ(sizeof(routineCases) / sizeof(routineCases[0]), 27u);
    EXPECT_EQ(conversion::routines().size(), 27u);
    for (const RoutineCase& c : routineCases) EXPECT_TRUE(conversion::routineOf(c.line)) << c.name;
}

// Telling values, each written out by hand.
struct TellingValue {
    const char* reason;
    LineRoutine line;
    uint32_t source;
    int sourceBytes;
    uint32_t expected;
    int destinationBytes;
};

const TellingValue tellingValues[] = {
    {"ARGB8888 to RGB565 truncates", convert_argb8888_rgb565, 0x80FF8040, 4, 0xFC08, 2},
    {"ARGB8888 to ARGB1555, alpha bit 0", convert_argb8888_argb1555, 0x80FF8040, 4, 0x7E08, 2},
    {"ARGB8888 to BGR565", convert_argb8888_bgr565, 0x80FF8040, 4, 0x441F, 2},
    {"ARGB8888 to RGB332", convert_argb8888_rgb332, 0x80FF8040, 4, 0xF1, 1},
    {"ARGB8888 to GREY8 is 63 + 64 + 16", convert_argb8888_grey8, 0x80FF8040, 4, 0x8F, 1},
    {"ARGB8888 to ABGR8888 swaps red and blue", convert_argb8888_abgr8888, 0x11223344, 4,
     0x11443322, 4},
    {"ARGB8888 to RGBA8888 rotates by 8", convert_argb8888_rgba8888, 0x11223344, 4, 0x22334411, 4},
    {"ARGB8888 to BGRA8888 reverses", convert_argb8888_bgra8888, 0x11223344, 4, 0x44332211, 4},
    {"ARGB8888 to RGB888 stores B, G, R", convert_argb8888_rgb888, 0x11223344, 4, 0x223344, 3},
    {"ARGB8888 to GREY8 at most 253", convert_argb8888_grey8, 0xFFFFFFFF, 4, 253, 1},
    {"RGB565 white expands to 254, not 255", convert_rgb565_argb8888, 0xFFFF, 2, 0x00FEFEFE, 4},
    {"5-bit 31 gives 254", convert_rgb565_argb8888, 0xF800, 2, 0x00FE0000, 4},
    {"green 21 gives 84", convert_rgb565_argb8888, 21 << 5, 2, 84 << 8, 4},
    {"green 63 gives 254", convert_rgb565_argb8888, 63 << 5, 2, 254 << 8, 4},
    {"5-bit 30 gives the floor 246", convert_rgb565_argb8888, 30, 2, 246, 4},
    {"RGB565 white to ARGB1555", convert_rgb565_argb1555, 0xFFFF, 2, 0x7FFF, 2},
    {"RGB565 white to GREY8 is 250", convert_rgb565_grey8, 0xFFFF, 2, 250, 1},
    {"RGB565 white to RGB332", convert_rgb565_rgb332, 0xFFFF, 2, 0xFF, 1},
    {"RGB565 red to BGR565 is blue", convert_rgb565_bgr565, 0xF800, 2, 0x001F, 2},
};

TEST(ConversionRoutines, TellingValues) {
    RASTER raster; // the expansion tables
    for (const TellingValue& t : tellingValues) {
        // Alone, and inside a run long enough for every batched path.
        for (int count : {1, 200}) {
            std::vector<uint8_t> source(size_t(count) * t.sourceBytes);
            for (int i = 0; i < count; ++i)
                std::memcpy(&source[size_t(i) * t.sourceBytes], &t.source, size_t(t.sourceBytes));
            std::vector<uint8_t> destination(size_t(count) * t.destinationBytes);
            const uint8_t* s = source.data();
            uint8_t* d = destination.data();
            atBest(t.line)(s, d, count, nullptr);
            for (int i = 0; i < count; ++i) {
                uint32_t actual = 0;
                std::memcpy(&actual, &destination[size_t(i) * t.destinationBytes],
                            size_t(t.destinationBytes));
                ASSERT_EQ(actual, t.expected) << t.reason << ": 0x" << std::hex << t.source
                                              << ", pixel " << std::dec << i << " of " << count;
            }
        }
    }
}

TEST(ConversionRoutines, ExpansionTablesHoldTheTruncatedProducts) {
    RASTER raster;
    const conversion::ExpansionEntry* argb = conversion::expansion[conversion::EXPAND_ARGB8888];
    // High byte 0xF8: red 31 -> 254; low byte 0x1F: blue 31 -> 254.
    EXPECT_EQ(argb[0xF8].highWord, 0x00FE0000u);
    EXPECT_EQ(argb[0x1F].lowWord, 0x000000FEu);
    // Green 21 = 0b010101: high part 2 << 3 from the high byte, low part 5 from the low byte.
    EXPECT_EQ(argb[0x02].highWord + argb[0xA0].lowWord, 84u << 8);
    // Low words never hold red or alpha, high words never blue or alpha.
    for (int table = 0; table < 4; ++table)
        for (int b = 0; b < 256; ++b) {
            const conversion::ExpansionEntry& e = conversion::expansion[table][b];
            EXPECT_EQ(e.lowWord & e.highWord, 0u) << "table " << table << ", byte " << b;
        }
    // A format of another size leaves a table as it was.
    conversion::ExpansionEntry untouched[256] = {};
    conversion::fillExpansion(untouched, Format(RGB565));
    EXPECT_EQ(untouched[255].lowWord, 0u);
}

TEST(ConversionRoutines, IndexedSixteenBitPairsMatchSingles) {
    uint32_t lookup[256] = {};
    lookup[5] = 0x1234;
    lookup[6] = 0xABCD;
    for (int count : {2, 100}) {
        std::vector<uint8_t> source(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) source[size_t(i)] = uint8_t(i % 2 ? 6 : 5);
        std::vector<uint8_t> destination(size_t(count) * 2);
        const uint8_t* s = source.data();
        uint8_t* d = destination.data();
        atBest(convert_index8_16)(s, d, count, lookup);
        for (int i = 0; i < count; i += 2) {
            const uint8_t expected[4] = {0x34, 0x12, 0xCD, 0xAB};
            ASSERT_EQ(0, std::memcmp(&destination[size_t(i) * 2], expected, 4))
                << "count " << count << ", pixel " << i;
        }
    }
}

TEST(ConversionRoutines, CountZeroLeavesCursorsAndMemory) {
    for (const RoutineCase& c : routineCases) {
        uint8_t source[4] = {1, 2, 3, 4}, destination[4] = {GUARD, GUARD, GUARD, GUARD};
        const uint8_t* s = source;
        uint8_t* d = destination;
        const uint32_t lookup[256] = {};
        atBest(c.line)(s, d, 0, lookup);
        EXPECT_EQ(s, source) << c.name;
        EXPECT_EQ(d, destination) << c.name;
        EXPECT_EQ(destination[0], GUARD) << c.name;
    }
}

} // namespace
