#include "backends/directx/Modes.h"
#include "display/Palette.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace directx;

namespace {

DDPIXELFORMAT rgb(DWORD bits, DWORD red, DWORD green, DWORD blue, DWORD flags = DDPF_RGB) {
    DDPIXELFORMAT pf = {};
    pf.dwSize = sizeof(pf);
    pf.dwFlags = flags;
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = red;
    pf.dwGBitMask = green;
    pf.dwBBitMask = blue;
    return pf;
}

MODE mode(int32_t w, int32_t h, int32_t formatId) {
    MODE m;
    std::strcpy(m.interfaceName, "DirectX");
    m.width = w;
    m.height = h;
    m.format = Format(formatId);
    m.output = 40;
    m.thirdOption = 10;
    return m;
}

void add(List<MODE>& list, const MODE& m) {
    ASSERT_TRUE(list.append(new MODE(m)));
}

} // namespace

TEST(DirectXPixelFormat, DisplayFormatsBecomeStandardFormats) {
    struct Case {
        DDPIXELFORMAT pf;
        int32_t id;
        const char* why;
    } cases[] = {
        {rgb(32, 0xFF0000, 0xFF00, 0xFF), ARGB8888, "X8R8G8B8: the spare byte is alpha"},
        {rgb(32, 0xFF, 0xFF00, 0xFF0000), ABGR8888, "X8B8G8R8"},
        {rgb(32, 0xFF000000, 0xFF0000, 0xFF00), RGBA8888, "R8G8B8X8: spare byte at the bottom"},
        {rgb(32, 0xFF00, 0xFF0000, 0xFF000000), BGRA8888, "B8G8R8X8"},
        {rgb(24, 0xFF0000, 0xFF00, 0xFF), RGB888, "24 bits: nothing spare"},
        {rgb(24, 0xFF, 0xFF00, 0xFF0000), BGR888, "24 bits reversed"},
        {rgb(16, 0xF800, 0x7E0, 0x1F), RGB565, "16 bits: nothing spare"},
        {rgb(16, 0x1F, 0x7E0, 0xF800), BGR565, "16 bits reversed"},
        {rgb(16, 0x7C00, 0x3E0, 0x1F), ARGB1555, "X1R5G5B5: the top bit is alpha"},
        {rgb(16, 0x1F, 0x3E0, 0x7C00), ABGR1555, "X1B5G5R5"},
        {rgb(8, 0xE0, 0x1C, 0x3), RGB332, "8-bit direct"},
        {rgb(8, 0, 0, 0, DDPF_RGB | DDPF_PALETTEINDEXED8), INDEX8, "palettised"},
        {rgb(0, 0, 0, 0, DDPF_PALETTEINDEXED8), INDEX8, "palettised without DDPF_RGB"},
    };
    for (const Case& c : cases) {
        Format f;
        ASSERT_TRUE(formatFromPixelFormat(c.pf, f)) << c.why;
        EXPECT_EQ(f.id, c.id) << c.why << ": got " << (f.name() ? f.name() : "custom");
    }
}

TEST(DirectXPixelFormat, UnusableDescriptionsFailAndLeaveTheFormatEmpty) {
    struct Case {
        DDPIXELFORMAT pf;
        const char* why;
    } cases[] = {
        {rgb(32, 0xFF0000, 0xFF00, 0xFF, DDPF_RGB | DDPF_ALPHAPIXELS), "not exactly DDPF_RGB"},
        {rgb(0, 0, 0, 0, DDPF_FOURCC), "four-cc"},
        {rgb(0, 0, 0, 0, 0), "no flags"},
        {rgb(0, 0xFF0000, 0xFF00, 0xFF), "zero bit count"},
        {rgb(33, 0xFF0000, 0xFF00, 0xFF), "more than 32 bits"},
        {rgb(0xFFFFFFFF, 0xFF0000, 0xFF00, 0xFF), "huge bit count"},
        {rgb(4, 0, 0, 0, DDPF_PALETTEINDEXED4), "4-bit palette"},
    };
    for (const Case& c : cases) {
        Format f(ARGB8888);
        EXPECT_FALSE(formatFromPixelFormat(c.pf, f)) << c.why;
        EXPECT_EQ(f, Format()) << c.why;
        EXPECT_FALSE(f.ok()) << c.why;
    }
}

// The spare-bits rule against a bit-by-bit reference, for every bit count and a spread of
// colour masks, including masks that reach past the pixel.
TEST(DirectXPixelFormat, SpareBitsBecomeAlphaForEveryBitCount) {
    const DWORD colourMasks[][3] = {
        {0xFF0000, 0xFF00, 0xFF}, {0xF800, 0x7E0, 0x1F}, {0x7C00, 0x3E0, 0x1F},
        {0xE0, 0x1C, 0x3},        {0x4, 0x2, 0x1},       {0xFF000000, 0xFF0000, 0xFF00},
        {0xF0, 0xF00, 0xF000},
    };
    for (DWORD bits = 1; bits <= 32; ++bits) {
        for (const auto& m : colourMasks) {
            uint32_t spare = 0;
            for (DWORD b = 0; b < bits; ++b)
                if (!((m[0] | m[1] | m[2]) >> b & 1u)) spare |= 1u << b;
            const Format expected{int32_t(m[0]),  int32_t(m[1]), int32_t(m[2]),
                                  int32_t(spare), RGB_MODEL,     int32_t(bits)};
            Format f;
            const bool converted = formatFromPixelFormat(rgb(bits, m[0], m[1], m[2]), f);
            EXPECT_EQ(converted, expected.ok()) << bits << " bits, red " << m[0];
            if (converted) {
                EXPECT_TRUE(f == expected) << bits << " bits, red " << m[0];
            }
        }
    }
}

TEST(DirectXPixelFormat, SurfaceDescriptionsRoundTripForEveryStandardFormat) {
    for (int32_t id = FIRST_FORMAT_ID; id <= LAST_STANDARD_ID; ++id) {
        const Format f(id);
        DDPIXELFORMAT pf;
        const bool described = pixelFormatFromFormat(f, pf);
        EXPECT_EQ(pf.dwSize, sizeof(DDPIXELFORMAT)) << f.name();
        if (f.type == FAKEMODE) {
            EXPECT_FALSE(described) << f.name() << ": fake modes have no pixel bytes";
            continue;
        }
        ASSERT_TRUE(described) << f.name();
        EXPECT_EQ(pf.dwRGBBitCount, DWORD(f.bits)) << f.name();
        if (f.type == INDEXED) {
            EXPECT_EQ(pf.dwFlags, DWORD(DDPF_RGB | DDPF_PALETTEINDEXED8)) << f.name();
            continue;
        }
        EXPECT_EQ(pf.dwFlags, DWORD(DDPF_RGB)) << f.name();
        // Back through the display rule: alpha comes back from the spare bits, except for
        // layouts whose spare bits are not all alpha (none among the standard ones).
        Format back;
        ASSERT_TRUE(formatFromPixelFormat(pf, back)) << f.name();
        EXPECT_EQ(back.id, id) << f.name();
    }
    DDPIXELFORMAT pf;
    EXPECT_FALSE(pixelFormatFromFormat(Format(), pf));
    Format grey(0xFF0000, 0xFF00, 0xFF, 0, GREY_MODEL, 24);
    EXPECT_FALSE(pixelFormatFromFormat(grey, pf)) << "direct formats must be RGB";
}

TEST(DirectXModeCodes, TranslationAndDepthOrder) {
    EXPECT_EQ(translateModeCode(DIRECT), FUZZY32);
    EXPECT_EQ(translateModeCode(INDEXED), FUZZY8);
    for (int32_t code : {FUZZY8, FUZZY16, FUZZY32, FAKEMODE, 16, 1000, -1})
        EXPECT_EQ(translateModeCode(code), code);

    struct Case {
        int32_t code;
        int count;
        int32_t depths[MAX_DEPTHS];
    } cases[] = {
        {FUZZY8, 5, {8, 32, 24, 16, FUZZY8}},
        {FUZZY16, 4, {16, 32, 24, FUZZY16}},
        {FUZZY32, 4, {32, 24, 16, FUZZY32}},
        {16, 1, {16}},
        {1006, 1, {1006}},
    };
    for (const Case& c : cases) {
        int32_t depths[MAX_DEPTHS] = {};
        ASSERT_EQ(depthsForCode(c.code, depths), c.count) << c.code;
        for (int i = 0; i < c.count; ++i) EXPECT_EQ(depths[i], c.depths[i]) << c.code << " " << i;
    }
}

TEST(DirectXModeCodes, MatchingAgainstEveryStandardFormat) {
    for (int32_t id = FIRST_FORMAT_ID; id <= LAST_STANDARD_ID; ++id) {
        const MODE m = mode(320, 200, id);
        const Format& f = m.format;
        const bool direct16or32 = f.type == DIRECT && f.model == RGB_MODEL && f.bits >= 16;
        EXPECT_EQ(modeMatchesCode(m, 320, 200, FUZZY8), id == INDEX8) << f.name();
        EXPECT_EQ(modeMatchesCode(m, 320, 200, FUZZY16), direct16or32) << f.name();
        EXPECT_EQ(modeMatchesCode(m, 320, 200, FUZZY32), direct16or32) << f.name();
        for (int32_t depth : {8, 12, 14, 16, 18, 24, 32})
            EXPECT_EQ(modeMatchesCode(m, 320, 200, depth), f.bits == depth) << f.name() << depth;
        EXPECT_FALSE(modeMatchesCode(m, 320, 201, FUZZY32)) << "height must be equal";
        EXPECT_FALSE(modeMatchesCode(m, 640, 200, f.bits)) << "width must be equal";
    }
}

TEST(DirectXModeCodes, AvailabilityInAList) {
    List<MODE> modes;
    EXPECT_TRUE(modeCodeAvailable(modes, 123, 45, FUZZY32)) << "empty list accepts all";
    EXPECT_TRUE(formatAvailable(modes, 123, 45, Format(RGB565)));

    add(modes, mode(320, 200, INDEX8));
    add(modes, mode(320, 200, RGB565));
    add(modes, mode(640, 480, ARGB8888));
    EXPECT_TRUE(modeCodeAvailable(modes, 320, 200, FUZZY32)) << "a 16-bit mode serves FUZZY32";
    EXPECT_TRUE(modeCodeAvailable(modes, 320, 200, FUZZY8));
    EXPECT_TRUE(modeCodeAvailable(modes, 320, 200, 16));
    EXPECT_FALSE(modeCodeAvailable(modes, 320, 200, 32));
    EXPECT_FALSE(modeCodeAvailable(modes, 640, 480, FUZZY8));
    EXPECT_FALSE(modeCodeAvailable(modes, 640, 400, FUZZY32));
    EXPECT_FALSE(modeCodeAvailable(modes, 320, 200, 1006)) << "a format id is not a depth";

    EXPECT_TRUE(formatAvailable(modes, 320, 200, Format(RGB565)));
    EXPECT_TRUE(formatAvailable(modes, 640, 480, Format(ARGB8888)));
    EXPECT_FALSE(formatAvailable(modes, 640, 480, Format(RGB565)));
    EXPECT_FALSE(formatAvailable(modes, 320, 200, Format(BGR565)));
    // Equality is by value: a custom format laid out as ARGB8888 finds it.
    const Format custom(0xFF0000, 0xFF00, 0xFF, int32_t(0xFF000000), RGB_MODEL, 32);
    EXPECT_TRUE(formatAvailable(modes, 640, 480, custom));
}

// The palette route of an 8-bit display: colours through the ABGR8888 lookup are DirectDraw
// entries (red, green, blue, flags), and the byte swap turns entries read back into colours.
TEST(DirectXPalette, EntriesAndColoursConvertBothWays) {
    Palette palette;
    std::mt19937 random(9);
    uint32_t* colours = palette.lock();
    ASSERT_NE(colours, nullptr);
    for (int i = 0; i < 256; ++i) colours[i] = uint32_t(random());
    palette.unlock();

    const void* table = palette.lookup(Format(ABGR8888), 4);
    ASSERT_NE(table, nullptr);
    PALETTEENTRY entries[256];
    std::memcpy(entries, table, sizeof(entries));
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = palette.data()[i];
        ASSERT_EQ(entries[i].peRed, (c >> 16) & 0xFF) << i;
        ASSERT_EQ(entries[i].peGreen, (c >> 8) & 0xFF) << i;
        ASSERT_EQ(entries[i].peBlue, c & 0xFF) << i;
        ASSERT_EQ(entries[i].peFlags, c >> 24) << i;
    }
    uint32_t back[256];
    std::memcpy(back, entries, sizeof(back));
    swapRedAndBlue(back, 256);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(back[i], palette.data()[i]) << i;
    swapRedAndBlue(back, 256);
    EXPECT_EQ(std::memcmp(back, entries, sizeof(back)), 0) << "the swap is its own inverse";
}
