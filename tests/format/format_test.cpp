#include "format/Format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

// Channel layout written out independently of the library's table.
struct Layout {
    int id;
    uint32_t r, g, b, a; // masks
    int bits, bytes;
};

const Layout directLayouts[] = {
    {1000, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 32, 4},
    {1001, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 32, 4},
    {1002, 0xFF00, 0xFF0000, 0xFF000000, 0xFF, 32, 4},
    {1003, 0xFF000000, 0xFF0000, 0xFF00, 0xFF, 32, 4},
    {1004, 0xFF0000, 0xFF00, 0xFF, 0, 24, 3},
    {1005, 0xFF, 0xFF00, 0xFF0000, 0, 24, 3},
    {1006, 0xF800, 0x7E0, 0x1F, 0, 16, 2},
    {1007, 0x1F, 0x7E0, 0xF800, 0, 16, 2},
    {1008, 0x7C00, 0x3E0, 0x1F, 0x8000, 16, 2},
    {1009, 0x1F, 0x3E0, 0x7C00, 0x8000, 16, 2},
    {1021, 0xE0, 0x1C, 0x3, 0, 8, 1},
};

int lowBit(uint32_t m) {
    int s = 0;
    while (m && !(m >> s & 1)) ++s;
    return s;
}

int bitCount(uint32_t m) {
    int n = 0;
    for (; m; m &= m - 1) ++n;
    return n;
}

// Reference pack: component's top width bits placed at the channel.
uint32_t refChannel(uint8_t v, uint32_t mask) {
    if (!mask) return 0;
    int w = bitCount(mask);
    return (uint32_t(v) >> (8 - w)) << lowBit(mask);
}

// Reference widening of a channel value of width w read back from a pixel.
uint8_t refWiden(uint32_t field, int w) {
    if (w == 0) return 0;
    if (w >= 8) return uint8_t(field);
    uint32_t top = field << (8 - w); // channel's top bit at bit 7
    return uint8_t(((top * ((1u << w) - 1)) / 255) << (8 - w));
}

TEST(Format, StandardIdsMatchIndependentLayouts) {
    for (const Layout& l : directLayouts) {
        Format f(l.id);
        SCOPED_TRACE(l.id);
        EXPECT_EQ(f.id, l.id);
        EXPECT_EQ(f.type, DIRECT);
        EXPECT_EQ(f.model, 1325);
        EXPECT_EQ(uint32_t(f.red.mask), l.r);
        EXPECT_EQ(uint32_t(f.green.mask), l.g);
        EXPECT_EQ(uint32_t(f.blue.mask), l.b);
        EXPECT_EQ(uint32_t(f.alpha.mask), l.a);
        EXPECT_EQ(f.bits, l.bits);
        EXPECT_EQ(f.bytes, l.bytes);
        EXPECT_TRUE(f.ok());
    }
}

TEST(Format, AdjustValuesOfTheTable) {
    struct Case {
        int id, r, g, b, a;
    } cases[] = {{1000, 16, 8, 0, 24}, {1004, 16, 8, 0, 0}, {1006, 8, 3, -3, 0},
                 {1007, -3, 3, 8, 0},  {1008, 7, 2, -3, 8}, {1009, -3, 2, 7, 8},
                 {1021, 0, -3, -6, 0}};
    for (const Case& c : cases) {
        Format f(c.id);
        EXPECT_EQ(f.red.adjust, c.r) << c.id;
        EXPECT_EQ(f.green.adjust, c.g) << c.id;
        EXPECT_EQ(f.blue.adjust, c.b) << c.id;
        EXPECT_EQ(f.alpha.adjust, c.a) << c.id;
    }
}

TEST(Format, NonDirectStandardFormats) {
    struct Case {
        int id, type, model, bits, bytes;
    } cases[] = {{1010, INDEXED, 0, 8, 1},      {1011, FAKEMODE, 1325, 18, 0},
                 {1013, FAKEMODE, 1325, 18, 0}, {1014, FAKEMODE, 1325, 14, 0},
                 {1016, FAKEMODE, 1325, 14, 0}, {1017, FAKEMODE, 1325, 12, 0},
                 {1019, FAKEMODE, 1325, 12, 0}, {1020, INDEXED, 1333, 8, 1}};
    for (const Case& c : cases) {
        Format f(c.id);
        EXPECT_EQ(f.type, c.type) << c.id;
        EXPECT_EQ(f.model, c.model) << c.id;
        EXPECT_EQ(f.bits, c.bits) << c.id;
        EXPECT_EQ(f.bytes, c.bytes) << c.id;
        EXPECT_EQ(f.red.width + f.green.width + f.blue.width + f.alpha.width, 0) << c.id;
        EXPECT_TRUE(f.ok()) << c.id;
    }
}

TEST(Format, NamesAliasesAndCase) {
    struct Case {
        const char* name;
        int id;
    } cases[] = {
        {"ARGB8888", 1000},   {"abgr8888", 1001},   {"BgRa8888", 1002},   {"RGBA8888", 1003},
        {"rgb888", 1004},     {"BGR888", 1005},     {"rgb565", 1006},     {"BGR565", 1007},
        {"RGB555", 1008},     {"bgr555", 1009},     {"ARGB1555", 1008},   {"ABGR1555", 1009},
        {"RGB332", 1021},     {"index8", 1010},     {"GREY8", 1020},      {"gray8", 1020},
        {"FAKEMODE1A", 1011}, {"FAKEMODE1B", 1012}, {"FAKEMODE1C", 1013}, {"fakemode2a", 1014},
        {"FAKEMODE2B", 1015}, {"FAKEMODE2C", 1016}, {"FAKEMODE3A", 1017}, {"FAKEMODE3B", 1018},
        {"FAKEMODE3C", 1019}, {"FAKEMODE1", 1011},  {"FAKEMODE2", 1014},  {"FAKEMODE3", 1019},
    };
    for (const Case& c : cases) EXPECT_EQ(Format(c.name).id, c.id) << c.name;
    EXPECT_TRUE(Format("rgb565") == Format(1006));
}

TEST(Format, UnknownIdsAndNamesAreEmpty) {
    const Format empty;
    for (const Format& f :
         {Format(999), Format(1022), Format(0), Format(-1), Format("RGB56"), Format("RGB5655"),
          Format(""), Format("FAKEMODE4"), Format(static_cast<const char*>(nullptr))}) {
        EXPECT_FALSE(f.ok());
        EXPECT_EQ(std::memcmp(&f, &empty, sizeof f), 0) << "all 21 fields zero";
    }
}

TEST(Format, MasksFindStandardLayoutsOnlyWithModel1325) {
    for (const Layout& l : directLayouts) {
        Format f(int32_t(l.r), int32_t(l.g), int32_t(l.b), int32_t(l.a), 1325, -1);
        EXPECT_EQ(f.id, l.id);
    }
    Format custom(0xFF0000, 0xFF00, 0xFF, int32_t(0xFF000000), 1326, -1);
    EXPECT_EQ(custom.id, 0);
    EXPECT_EQ(custom.bits, 32);
    EXPECT_EQ(custom.bytes, 4);
    EXPECT_TRUE(custom.ok());
    EXPECT_FALSE(custom == Format(1000)) << "models differ";
    // 15 bits without an alpha bit is not ARGB1555.
    Format rgb555(0x7C00, 0x3E0, 0x1F, 0, 1325, -1);
    EXPECT_EQ(rgb555.id, 0);
    EXPECT_EQ(rgb555.bits, 15);
    EXPECT_EQ(rgb555.bytes, 2);
}

TEST(Format, MaskAnalysisStopsAtTheFirstGap) {
    Format f(0x0F0F, 0, 0, 0, 1326, -1);
    EXPECT_EQ(f.red.shift, 0);
    EXPECT_EQ(f.red.width, 4);
    EXPECT_EQ(f.red.mask, 0xF);
    Format top(int32_t(0x80000000), 0, 0, 0, 1326, -1);
    EXPECT_EQ(top.red.shift, 31);
    EXPECT_EQ(top.red.width, 1);
    EXPECT_EQ(uint32_t(top.red.mask), 0x80000000u);
}

TEST(Format, WideChannelsHaveNoMasksAndPackZero) {
    Format f(0x3FF00000, 0xFFC00, 0x3FF, 0, 1325, -1);
    EXPECT_EQ(f.id, 0);
    EXPECT_EQ(f.bits, 30);
    EXPECT_EQ(f.bytes, 4);
    EXPECT_EQ(f.red.mask | f.green.mask | f.blue.mask | f.alpha.mask, 0);
    uint8_t px[4] = {1, 2, 3, 4};
    EXPECT_TRUE(f.pack(255, 255, 255, 255, px, 1325));
    EXPECT_EQ(px[0] | px[1] | px[2] | px[3], 0);
}

TEST(Format, ChannelsOutsideA32BitPixelAreIgnored) {
    // A channel is masked only when it lies wholly in bits 0..31 with a width of 1..8; any
    // other position or width is ignored: no mask, packs nothing, unpacks 0, never shifts out
    // of range or overflows (the sanitizer build checks the arithmetic).
    struct Case {
        int32_t shift, width;
        uint32_t mask;
        const char* why;
    } cases[] = {
        {24, 8, 0xFF000000u, "the highest byte fits exactly"},
        {31, 1, 0x80000000u, "the top bit alone"},
        {25, 8, 0, "one bit past the top"},
        {28, 8, 0, "half outside"},
        {-4, 8, 0, "below bit 0"},
        {INT32_MAX - 7, 8, 0, "shift plus width is INT32_MAX"},
        {INT32_MAX, 8, 0, "shift plus width overflows 32 bits"},
        {INT32_MAX, 1, 0, "shift plus width overflows by one"},
        {0, 0, 0, "zero width"},
        {0, -1, 0, "negative width"},
        {8, INT32_MIN, 0, "the most negative width"},
        {0, 9, 0, "wider than a byte"},
    };
    for (const Case& c : cases) {
        // Green, blue and alpha fill the low three bytes, so a masked red lands in the top one.
        const Format f(c.shift, c.width, 0, 8, 8, 8, 16, 8, 1326, -1);
        EXPECT_EQ(uint32_t(f.red.mask), c.mask) << c.why;
        uint8_t px[8] = {}; // a 9-bit red makes a 33-bit, 5-byte pixel
        EXPECT_TRUE(f.pack(255, 0, 0, 0, px, 1326)) << c.why;
        const uint32_t packed =
            uint32_t(px[0]) | uint32_t(px[1]) << 8 | uint32_t(px[2]) << 16 | uint32_t(px[3]) << 24;
        EXPECT_EQ(packed, c.mask) << c.why;
        const uint8_t all[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        uint8_t r = 1, g = 1, b = 1, a = 1;
        EXPECT_TRUE(f.unpack(all, &r, &g, &b, &a, 1326)) << c.why;
        if (!c.mask) {
            EXPECT_EQ(r, 0) << c.why;
        }
    }
}

TEST(Format, PackAndUnpackExamples) {
    uint8_t px[4] = {};
    Format rgb565(1006);
    ASSERT_TRUE(rgb565.pack(255, 255, 255, 0, px, 1325));
    EXPECT_EQ(px[0], 0xFF);
    EXPECT_EQ(px[1], 0xFF);
    uint8_t r, g, b, a;
    ASSERT_TRUE(rgb565.unpack(px, &r, &g, &b, &a, 1325));
    EXPECT_EQ(r, 240);
    EXPECT_EQ(g, 248);
    EXPECT_EQ(b, 240);
    EXPECT_EQ(a, 0);

    Format argb1555(1008);
    ASSERT_TRUE(argb1555.pack(0, 0, 0, 255, px, 1325));
    EXPECT_EQ(px[0], 0x00);
    EXPECT_EQ(px[1], 0x80);
    ASSERT_TRUE(argb1555.unpack(px, &r, &g, &b, &a, 1325));
    EXPECT_EQ(a, 0) << "a 1-bit alpha widens to 0";

    Format rgb332(1021);
    px[0] = 0xFF;
    ASSERT_TRUE(rgb332.unpack(px, &r, &g, &b, &a, 1325));
    EXPECT_EQ(r, 192);
    EXPECT_EQ(g, 192);
    EXPECT_EQ(b, 128);
}

TEST(Format, PackWritesOnlyItsBytesAndRefusesOtherModels) {
    uint8_t px[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_TRUE(Format(1004).pack(1, 2, 3, 4, px, 1325));
    EXPECT_EQ(px[0], 3);
    EXPECT_EQ(px[1], 2);
    EXPECT_EQ(px[2], 1);
    EXPECT_EQ(px[3], 0xAA);
    uint8_t untouched[4] = {7, 7, 7, 7};
    EXPECT_FALSE(Format(1000).pack(1, 2, 3, 4, untouched, 1326));
    EXPECT_EQ(untouched[0], 7);
    uint8_t r = 5, g = 5, b = 5, a = 5;
    EXPECT_FALSE(Format(1000).unpack(px, &r, &g, &b, &a, 1326));
    EXPECT_EQ(r + g + b + a, 20);
}

// Every standard direct format, every value of every channel, against the reference.
TEST(Format, PackThenUnpackEqualsTheWideningFormula) {
    for (const Layout& l : directLayouts) {
        Format f(l.id);
        const uint32_t masks[4] = {l.r, l.g, l.b, l.a};
        for (int channel = 0; channel < 4; ++channel) {
            for (int v = 0; v < 256; ++v) {
                uint8_t c[4] = {0x5A, 0xA5, 0x3C, 0xC3};
                c[channel] = uint8_t(v);
                uint8_t px[4] = {};
                ASSERT_TRUE(f.pack(c[0], c[1], c[2], c[3], px, 1325));
                uint32_t expected = refChannel(c[0], l.r) | refChannel(c[1], l.g) |
                                    refChannel(c[2], l.b) | refChannel(c[3], l.a);
                uint32_t got = px[0] | px[1] << 8 | px[2] << 16 | uint32_t(px[3]) << 24;
                ASSERT_EQ(got, l.bytes == 4 ? expected : expected & ((1u << 8 * l.bytes) - 1))
                    << l.id << " channel " << channel << " value " << v;
                uint8_t out[4];
                ASSERT_TRUE(f.unpack(px, &out[0], &out[1], &out[2], &out[3], 1325));
                for (int k = 0; k < 4; ++k) {
                    uint32_t field = (got & masks[k]) >> lowBit(masks[k]);
                    ASSERT_EQ(out[k], refWiden(field, bitCount(masks[k])))
                        << l.id << " channel " << k << " value " << v;
                }
            }
        }
    }
}

TEST(Format, ValidityRules) {
    Format f;
    EXPECT_FALSE(f.ok());
    f.id = 1025;
    EXPECT_TRUE(f.ok()) << "reserved ids are valid";
    Format direct(0, 4, 4, 4, 8, 4, 0, 0, 1332, -1);
    EXPECT_TRUE(direct.ok());
    Format badModel(0, 4, 4, 4, 8, 4, 0, 0, 1324, -1);
    EXPECT_FALSE(badModel.ok());
    Format noChannels(0, 0, 0, 0, 0, 0, 0, 0, 1326, -1);
    EXPECT_FALSE(noChannels.ok());
    Format indexed;
    indexed.type = INDEXED;
    indexed.bits = 8;
    EXPECT_FALSE(indexed.ok()) << "bytes 0";
    indexed.bytes = 1;
    EXPECT_TRUE(indexed.ok());
    Format fake;
    fake.type = FAKEMODE;
    fake.bits = 1;
    EXPECT_TRUE(fake.ok());
}

TEST(Format, EqualityPaths) {
    EXPECT_TRUE(Format(1011) == Format(1013)) << "FAKEMODE letters share their fields";
    EXPECT_TRUE(Format(1017) == Format(1019));
    EXPECT_FALSE(Format(1011) == Format(1014));
    EXPECT_FALSE(Format(1010) == Format(1020)) << "models differ";
    EXPECT_TRUE(Format(1010) != Format(1020));
    // A custom record field-equal to a standard one compares equal to it.
    Format copy(1006);
    copy.id = 0;
    EXPECT_TRUE(copy == Format(1006));
    Format reservedA, reservedB;
    reservedA.id = reservedB.id = 1023;
    reservedB.bits = 99;
    EXPECT_TRUE(reservedA == reservedB) << "reserved ids compare by id";
    EXPECT_FALSE(Format() == Format(1000));
    EXPECT_TRUE(Format() == Format(999));
    Format self(1000);
    self = self;
    EXPECT_EQ(self.id, 1000);
}

} // namespace
