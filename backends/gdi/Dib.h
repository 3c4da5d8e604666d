#pragma once
#include "backends/win32/Handles.h"
#include "format/Format.h"

#include <windows.h>

#include <cstdint>

// The desktop format for a device depth: 8, 16, 24 and 32 bits give INDEX8, RGB565, RGB888 and
// ARGB8888; any other depth the empty format, with which no display surface can be made.
Format desktopFormatForBits(int bits);
// The desktop format of the screen (GetDeviceCaps BITSPIXEL).
Format desktopFormat();
// The screen refresh rate in Hz; 0 when the hardware default (0 or 1) is reported.
int32_t screenRefreshRate();

// The bytes GDI appends to each DIB row so that every row is a whole multiple of 4 bytes.
int32_t dibAdvance(int32_t width, int32_t bytes);

// A DIB section: its header block (with masks or colour table), the bitmap and its pixels.
// The bitmap comes first so that its address also names the whole record.
struct DibSection {
    GdiObject<HBITMAP> bitmap;
    HeapBlock<BITMAPINFO> info;
    uint8_t* bits = nullptr;  // lowest row in memory
    int32_t originOffset = 0; // from bits to visible row 0
    int32_t orientation = 0;  // 20 top-down, 21 bottom-up

    DibSection() = default;
    DibSection(const DibSection&) = delete;
    DibSection& operator=(const DibSection&) = delete;

    // Makes the section; false (and nothing held) for sizes or formats GDI cannot hold.
    // orientation must be 20 or 21; the advance is dibAdvance's.
    bool create(int32_t width, int32_t height, const Format& format, int32_t orientation);
    void release();
    bool ok() const { return bitmap && info && bits; }
    uint8_t* row0() const { return bits + originOffset; }
    // The 256-entry colour table of an 8-bit section, else null.
    RGBQUAD* colourTable() const;
};

// The header block for a DIB of that size, format and orientation, or null when GDI cannot hold
// the format; size receives the block's length.
HeapBlock<BITMAPINFO> makeDibInfo(int32_t width, int32_t height, const Format& format,
                                  int32_t orientation, size_t& size);

// Palette colours 0xAARRGGBB as a DIB colour table: blue, green, red and a zero reserved byte.
void coloursToColourTable(const uint32_t* colours, RGBQUAD* table, int count);
