#include "backends/gdi/Dib.h"

#include "display/Palette.h"
#include "display/Surface.h"

#include <cstdlib>
#include <cstring>

Format desktopFormatForBits(int bits) {
    switch (bits) {
    case 8:
        return Format(INDEX8);
    case 16:
        return Format(RGB565);
    case 24:
        return Format(RGB888);
    case 32:
        return Format(ARGB8888);
    default:
        return Format();
    }
}

Format desktopFormat() {
    const WindowDc screen = WindowDc::of(nullptr);
    return screen ? desktopFormatForBits(GetDeviceCaps(screen.get(), BITSPIXEL)) : Format();
}

int32_t screenRefreshRate() {
    const WindowDc screen = WindowDc::of(nullptr);
    const int rate = screen ? GetDeviceCaps(screen.get(), VREFRESH) : 0;
    return rate <= 1 ? 0 : rate;
}

int32_t dibAdvance(int32_t width, int32_t bytes) {
    const int64_t row = int64_t(width) * bytes;
    return int32_t((4 - row % 4) % 4);
}

namespace {

// What GDI can hold: BI_RGB layouts for the formats its defaults describe, masks for the
// other 16- and 32-bit direct formats, a colour table for 8-bit indexed formats.
enum class Layout { NONE, PLAIN, MASKS, COLOUR_TABLE };

Layout layoutFor(const Format& format) {
    if (!format.ok()) return Layout::NONE;
    if (format.type == DIRECT) {
        if (format.model != RGB_MODEL) return Layout::NONE;
        if (format.id == ARGB8888 || format.id == RGB888 || format.id == ARGB1555)
            return Layout::PLAIN;
        if (format.bits == 16 || format.bits == 32) return Layout::MASKS;
        return Layout::NONE;
    }
    if (format.type == INDEXED && format.bits == 8) return Layout::COLOUR_TABLE;
    return Layout::NONE;
}

} // namespace

HeapBlock<BITMAPINFO> makeDibInfo(int32_t width, int32_t height, const Format& format,
                                  int32_t orientation, size_t& size) {
    size = 0;
    if (width <= 0 || height <= 0) return nullptr;
    if (orientation != TOP_DOWN && orientation != BOTTOM_UP) return nullptr;
    const Layout layout = layoutFor(format);
    if (layout == Layout::NONE) return nullptr;
    // The whole image must stay addressable with 32-bit offsets.
    const int64_t row = int64_t(width) * format.bytes + dibAdvance(width, format.bytes);
    if (row * height > INT32_MAX) return nullptr;

    size_t blockSize = sizeof(BITMAPINFOHEADER);
    if (layout == Layout::MASKS) blockSize += 3 * sizeof(DWORD);
    if (layout == Layout::COLOUR_TABLE) blockSize += Palette::COLOURS * sizeof(RGBQUAD);
    HeapBlock<BITMAPINFO> info(static_cast<BITMAPINFO*>(std::calloc(1, blockSize)));
    if (!info) return nullptr;
    BITMAPINFOHEADER& header = info->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = orientation == BOTTOM_UP ? height : -height;
    header.biPlanes = 1;
    header.biBitCount = WORD(format.bits);
    header.biCompression = layout == Layout::MASKS ? BI_BITFIELDS : BI_RGB;
    if (layout == Layout::MASKS) {
        auto* masks =
            reinterpret_cast<DWORD*>(reinterpret_cast<uint8_t*>(info.get()) + header.biSize);
        masks[0] = DWORD(format.red.mask);
        masks[1] = DWORD(format.green.mask);
        masks[2] = DWORD(format.blue.mask);
    }
    size = blockSize;
    return info;
}

bool DibSection::create(int32_t width, int32_t height, const Format& format,
                        int32_t chosenOrientation) {
    release();
    size_t size;
    HeapBlock<BITMAPINFO> header = makeDibInfo(width, height, format, chosenOrientation, size);
    if (!header) return false;
    void* pixels = nullptr;
    GdiObject<HBITMAP> section(CreateDIBSection(WindowDc::wholeWindow(nullptr).get(), header.get(),
                                                DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!section || !pixels) return false;
    bitmap = std::move(section);
    info = std::move(header);
    bits = static_cast<uint8_t*>(pixels);
    orientation = chosenOrientation;
    const int32_t row = width * format.bytes + dibAdvance(width, format.bytes);
    originOffset = orientation == BOTTOM_UP ? row * (height - 1) : 0;
    return true;
}

void DibSection::release() {
    bitmap.reset();
    info.reset();
    bits = nullptr;
    originOffset = 0;
    orientation = 0;
}

RGBQUAD* DibSection::colourTable() const {
    if (!info || info->bmiHeader.biBitCount != 8) return nullptr;
    return info->bmiColors;
}

void coloursToColourTable(const uint32_t* colours, RGBQUAD* table, int count) {
    for (int i = 0; i < count; ++i) {
        table[i].rgbBlue = BYTE(colours[i]);
        table[i].rgbGreen = BYTE(colours[i] >> 8);
        table[i].rgbRed = BYTE(colours[i] >> 16);
        table[i].rgbReserved = 0; // GDI requires it zero; the palette's alpha means nothing here
    }
}
