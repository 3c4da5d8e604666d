#include "backends/gdi/LogicalPalette.h"

#include <gtest/gtest.h>
#include <windows.h>

TEST(GdiLogicalPalette, BlockAndHandleCarryTheColours) {
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = 0xff000000u | uint32_t(i * 0x010305);
    LogicalPalette palette;
    ASSERT_TRUE(palette.create(colours));
    ASSERT_TRUE(palette.ok());
    EXPECT_EQ(palette.block->palVersion, 0x300);
    EXPECT_EQ(palette.block->palNumEntries, 256);
    PALETTEENTRY entries[256];
    ASSERT_EQ(GetPaletteEntries(palette.handle.get(), 0, 256, entries), 256u);
    for (int i = 0; i < 256; ++i) {
        const PALETTEENTRY& b = palette.block->palPalEntry[i];
        EXPECT_EQ(b.peRed, (colours[i] >> 16) & 0xff) << i;
        EXPECT_EQ(b.peGreen, (colours[i] >> 8) & 0xff) << i;
        EXPECT_EQ(b.peBlue, colours[i] & 0xff) << i;
        EXPECT_EQ(b.peFlags, 0) << i;
        EXPECT_EQ(entries[i].peRed, b.peRed) << i;
        EXPECT_EQ(entries[i].peGreen, b.peGreen) << i;
        EXPECT_EQ(entries[i].peBlue, b.peBlue) << i;
    }

    // Re-creating replaces the handle; the old one is deleted.
    HPALETTE first = palette.handle.get();
    colours[5] = 0x123456;
    ASSERT_TRUE(palette.create(colours));
    EXPECT_EQ(GetObjectType(first), 0u);
    PALETTEENTRY five;
    ASSERT_EQ(GetPaletteEntries(palette.handle.get(), 5, 1, &five), 1u);
    EXPECT_EQ(five.peRed, 0x12);
    palette.release();
    EXPECT_FALSE(palette.ok());
    EXPECT_EQ(palette.block.get(), nullptr);
}

TEST(GdiLogicalPalette, RealisingInAWindowSelectsThePreviousPaletteBack) {
    HWND window = CreateWindowExA(0, "STATIC", "palette", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    uint32_t colours[256] = {};
    LogicalPalette palette;
    ASSERT_TRUE(palette.create(colours));
    EXPECT_EQ(realisePaletteInWindow(nullptr, palette.handle.get(), false), 0u);
    EXPECT_EQ(realisePaletteInWindow(window, nullptr, false), 0u);
    // On a true-colour desktop nothing needs realising; what matters is that the palette is
    // not left selected, so it can be deleted.
    realisePaletteInWindow(window, palette.handle.get(), false);
    realisePaletteInWindow(window, palette.handle.get(), true);
    HDC dc = GetWindowDC(window);
    HPALETTE current = static_cast<HPALETTE>(GetCurrentObject(dc, OBJ_PAL));
    ReleaseDC(window, dc);
    EXPECT_NE(current, palette.handle.get());
    palette.release();
    DestroyWindow(window);
}
