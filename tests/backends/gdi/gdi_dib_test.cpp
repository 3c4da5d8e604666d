#include "backends/gdi/Dib.h"
#include "backends/gdi/DrawDib.h"
#include "display/Surface.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

// Every standard format id and whether GDI holds it, and how.
struct DibCase {
    int32_t id;
    bool held;
    DWORD compression;
    size_t block;
    const char* why;
};
constexpr DibCase dibCases[] = {
    {ARGB8888, true, BI_RGB, 40, "GDI's own 32-bit layout"},
    {ABGR8888, true, BI_BITFIELDS, 52, "other 32-bit direct: masks"},
    {BGRA8888, true, BI_BITFIELDS, 52, "other 32-bit direct: masks"},
    {RGBA8888, true, BI_BITFIELDS, 52, "other 32-bit direct: masks"},
    {RGB888, true, BI_RGB, 40, "GDI's own 24-bit layout"},
    {BGR888, false, 0, 0, "24 bits allow no masks"},
    {RGB565, true, BI_BITFIELDS, 52, "16-bit direct other than 555: masks"},
    {BGR565, true, BI_BITFIELDS, 52, "16-bit direct other than 555: masks"},
    {ARGB1555, true, BI_RGB, 40, "GDI's own 16-bit layout"},
    {ABGR1555, true, BI_BITFIELDS, 52, "other 16-bit direct: masks"},
    {INDEX8, true, BI_RGB, 1064, "8-bit indexed: colour table"},
    {FAKEMODE1A, false, 0, 0, "fake modes have no pixels of their own"},
    {FAKEMODE1B, false, 0, 0, "fake mode"},
    {FAKEMODE1C, false, 0, 0, "fake mode"},
    {FAKEMODE2A, false, 0, 0, "fake mode"},
    {FAKEMODE2B, false, 0, 0, "fake mode"},
    {FAKEMODE2C, false, 0, 0, "fake mode"},
    {FAKEMODE3A, false, 0, 0, "fake mode"},
    {FAKEMODE3B, false, 0, 0, "fake mode"},
    {FAKEMODE3C, false, 0, 0, "fake mode"},
    {GREY8, true, BI_RGB, 1064, "8-bit indexed: colour table"},
    {RGB332, false, 0, 0, "direct formats under 16 bits"},
};
static_assert(sizeof(dibCases) / sizeof(dibCases[0]) == LAST_STANDARD_ID - FIRST_FORMAT_ID + 1);

// A memory DC with a section selected, for GetPixel read-back.
struct Selected {
    HDC dc;
    HGDIOBJ previous;
    explicit Selected(HBITMAP bitmap) : dc(CreateCompatibleDC(nullptr)) {
        previous = SelectObject(dc, bitmap);
    }
    ~Selected() {
        SelectObject(dc, previous);
        DeleteDC(dc);
    }
};

} // namespace

TEST(GdiDesktopFormat, DepthsMapToTheFourFormats) {
    for (int bits = -1; bits <= 64; ++bits) {
        const Format f = desktopFormatForBits(bits);
        const int32_t expected = bits == 8    ? INDEX8
                                 : bits == 16 ? RGB565
                                 : bits == 24 ? RGB888
                                 : bits == 32 ? ARGB8888
                                              : 0;
        EXPECT_EQ(f.id, expected) << "bits " << bits;
        EXPECT_EQ(f.ok(), expected != 0) << "bits " << bits;
    }
    HDC screen = GetDC(nullptr);
    const int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(desktopFormat(), desktopFormatForBits(depth));
    EXPECT_GE(screenRefreshRate(), 0);
    EXPECT_NE(screenRefreshRate(), 1) << "1 means the hardware default and is reported as 0";
}

TEST(GdiDib, AdvancePadsRowsToFourBytes) {
    for (int32_t bytes = 1; bytes <= 4; ++bytes) {
        for (int32_t width = 1; width <= 64; ++width) {
            int32_t row = width * bytes;
            while (row % 4) ++row;
            EXPECT_EQ(dibAdvance(width, bytes), row - width * bytes)
                << "width " << width << " bytes " << bytes;
        }
    }
    EXPECT_EQ(dibAdvance(INT32_MAX, 3), 3) << "no overflow in width x bytes";
}

TEST(GdiDib, HeaderPerFormat) {
    for (const DibCase& c : dibCases) {
        const Format f(c.id);
        for (int32_t orientation : {TOP_DOWN, BOTTOM_UP}) {
            size_t size = 1234;
            const HeapBlock<BITMAPINFO> info = makeDibInfo(5, 3, f, orientation, size);
            ASSERT_EQ(info != nullptr, c.held) << f.name() << ": " << c.why;
            if (!info) {
                EXPECT_EQ(size, 0u);
                continue;
            }
            const BITMAPINFOHEADER& h = info->bmiHeader;
            EXPECT_EQ(size, c.block) << f.name();
            EXPECT_EQ(h.biSize, 40u);
            EXPECT_EQ(h.biWidth, 5);
            EXPECT_EQ(h.biHeight, orientation == BOTTOM_UP ? 3 : -3) << f.name();
            EXPECT_EQ(h.biPlanes, 1);
            EXPECT_EQ(h.biBitCount, f.bits) << f.name();
            EXPECT_EQ(h.biCompression, c.compression) << f.name();
            EXPECT_EQ(h.biSizeImage, 0u);
            EXPECT_EQ(h.biClrUsed, 0u);
            const auto* tail = reinterpret_cast<const uint8_t*>(info.get()) + 40;
            if (c.compression == BI_BITFIELDS) {
                DWORD masks[3];
                std::memcpy(masks, tail, sizeof masks);
                EXPECT_EQ(masks[0], DWORD(f.red.mask)) << f.name();
                EXPECT_EQ(masks[1], DWORD(f.green.mask)) << f.name();
                EXPECT_EQ(masks[2], DWORD(f.blue.mask)) << f.name();
            }
            if (c.block == 1064) {
                for (int i = 0; i < 1024; ++i) ASSERT_EQ(tail[i], 0) << "colour table byte " << i;
            }
        }
    }
}

TEST(GdiDib, RefusesWhatGdiCannotHold) {
    struct Bad {
        int32_t width, height, id, orientation;
        const char* why;
    } cases[] = {
        {0, 10, ARGB8888, BOTTOM_UP, "zero width"},
        {10, 0, ARGB8888, BOTTOM_UP, "zero height"},
        {-4, 10, ARGB8888, BOTTOM_UP, "negative width"},
        {10, 10, ARGB8888, 22, "unknown orientation"},
        {10, 10, ARGB8888, -1, "orientation must be chosen already"},
        {10, 10, 0, BOTTOM_UP, "empty format"},
        {40000, 40000, ARGB8888, BOTTOM_UP, "6.4 GB image"},
        {INT32_MAX, 1, RGB888, BOTTOM_UP, "row past 32 bits"},
        {16384, 32768, ARGB8888, TOP_DOWN, "exactly 2 GiB"},
    };
    for (const Bad& c : cases) {
        size_t size = 99;
        EXPECT_EQ(makeDibInfo(c.width, c.height, Format(c.id), c.orientation, size), nullptr)
            << c.why;
        EXPECT_EQ(size, 0u) << c.why;
        DibSection dib;
        EXPECT_FALSE(dib.create(c.width, c.height, Format(c.id), c.orientation)) << c.why;
        EXPECT_FALSE(dib.ok()) << c.why;
    }
}

// The sections GDI makes: its stride, its masks, and where row 0 lies for each orientation,
// read back through GDI itself.
TEST(GdiDib, SectionsMatchGdisOwnLayout) {
    for (const DibCase& c : dibCases) {
        if (!c.held) continue;
        const Format f(c.id);
        for (int32_t orientation : {TOP_DOWN, BOTTOM_UP}) {
            for (int32_t width : {1, 2, 3, 5, 8}) {
                const int32_t height = 4;
                DibSection dib;
                ASSERT_TRUE(dib.create(width, height, f, orientation)) << f.name();
                ASSERT_TRUE(dib.ok());
                DIBSECTION ds{};
                ASSERT_EQ(GetObjectA(dib.bitmap.get(), sizeof ds, &ds), int(sizeof ds)) << f.name();
                const int32_t pitch = width * f.bytes + dibAdvance(width, f.bytes);
                EXPECT_EQ(ds.dsBm.bmWidthBytes, pitch) << f.name() << " width " << width;
                EXPECT_EQ(ds.dsBm.bmBits, dib.bits);
                EXPECT_EQ(dib.originOffset, orientation == BOTTOM_UP ? pitch * (height - 1) : 0);
                if (c.compression == BI_BITFIELDS) {
                    EXPECT_EQ(ds.dsBitfields[0], DWORD(f.red.mask)) << f.name();
                    EXPECT_EQ(ds.dsBitfields[1], DWORD(f.green.mask)) << f.name();
                    EXPECT_EQ(ds.dsBitfields[2], DWORD(f.blue.mask)) << f.name();
                }
                EXPECT_EQ(dib.colourTable() != nullptr, f.bits == 8);

                // Visible row 1, last column, in a colour that every layout holds exactly.
                Selected mem(dib.bitmap.get());
                uint8_t* pixel = dib.row0() + (orientation == BOTTOM_UP ? -pitch : pitch) +
                                 (width - 1) * f.bytes;
                COLORREF expected;
                if (f.type == INDEXED) {
                    RGBQUAD entry[8] = {};
                    entry[7] = RGBQUAD{0x30, 0x60, 0x90, 0};
                    ASSERT_EQ(SetDIBColorTable(mem.dc, 0, 8, entry), 8u);
                    *pixel = 7;
                    expected = RGB(0x90, 0x60, 0x30);
                } else {
                    ASSERT_TRUE(f.pack(0xff, 0, 0xff, 0xff, pixel, RGB_MODEL));
                    expected = RGB(0xff, 0, 0xff);
                }
                GdiFlush();
                EXPECT_EQ(GetPixel(mem.dc, width - 1, 1), expected)
                    << f.name() << (orientation == BOTTOM_UP ? " bottom-up" : " top-down")
                    << " width " << width;
                EXPECT_EQ(GetPixel(mem.dc, 0, 0) & 0xffffff, 0u) << "other pixels stay black";
            }
        }
    }
}

TEST(GdiDib, ReleaseAndRecreate) {
    DibSection dib;
    ASSERT_TRUE(dib.create(4, 4, Format(RGB565), BOTTOM_UP));
    HBITMAP first = dib.bitmap.get();
    ASSERT_TRUE(dib.create(6, 2, Format(INDEX8), TOP_DOWN));
    EXPECT_EQ(GetObjectType(first), 0u) << "the first section was deleted";
    EXPECT_EQ(dib.orientation, TOP_DOWN);
    EXPECT_FALSE(dib.create(6, 2, Format(RGB332), TOP_DOWN));
    EXPECT_EQ(dib.bitmap.get(), nullptr) << "a failed create holds nothing";
    dib.release();
    EXPECT_EQ(dib.info.get(), nullptr);
}

TEST(GdiDib, ColoursBecomeColourTableEntries) {
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = 0x9e3779b9u * uint32_t(i + 1);
    RGBQUAD table[256];
    std::memset(table, 0xcc, sizeof table);
    coloursToColourTable(colours, table, 256);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(table[i].rgbRed, (colours[i] >> 16) & 0xff) << i;
        EXPECT_EQ(table[i].rgbGreen, (colours[i] >> 8) & 0xff) << i;
        EXPECT_EQ(table[i].rgbBlue, colours[i] & 0xff) << i;
        EXPECT_EQ(table[i].rgbReserved, 0) << i;
    }
}

TEST(GdiDrawDib, BindsAndStretchesABottomUpSection) {
    DrawDib missing("no-such-library-here.dll");
    EXPECT_EQ(missing.module.get(), nullptr);
    EXPECT_FALSE(missing.canDraw());
    EXPECT_EQ(missing.loaded, 0);
    DrawDib none("");
    EXPECT_FALSE(none.draw(nullptr, 0, 0, 1, 1, nullptr, nullptr, 0, 0, 1, 1, 0));

    DrawDib drawDib;
    ASSERT_NE(drawDib.module.get(), nullptr) << "msvfw32.dll";
    ASSERT_NE(drawDib.openAddress, nullptr);
    ASSERT_NE(drawDib.drawAddress, nullptr);
    ASSERT_NE(drawDib.closeAddress, nullptr);
    ASSERT_EQ(drawDib.loaded, 1);

    // A 2x2 source with four colours, drawn doubled into a 4x4 target.
    DibSection source, target;
    ASSERT_TRUE(source.create(2, 2, Format(ARGB8888), BOTTOM_UP));
    ASSERT_TRUE(target.create(4, 4, Format(ARGB8888), TOP_DOWN));
    const uint32_t colours[2][2] = {{0xff0000, 0x00ff00}, {0x0000ff, 0xffffff}};
    for (int y = 0; y < 2; ++y)
        std::memcpy(source.row0() - y * 8, colours[y], 8); // bottom-up: rows run downwards
    Selected mem(target.bitmap.get());
    ASSERT_TRUE(
        drawDib.draw(mem.dc, 0, 0, 4, 4, &source.info->bmiHeader, source.bits, 0, 0, 2, 2, 0));
    GdiFlush();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            uint32_t got;
            std::memcpy(&got, target.row0() + y * 16 + x * 4, 4);
            EXPECT_EQ(got & 0xffffff, colours[y / 2][x / 2]) << x << "," << y;
        }
}
