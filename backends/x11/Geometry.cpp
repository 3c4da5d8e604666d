#include "backends/x11/Geometry.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace x11 {

namespace {

struct KnownLayout {
    int32_t bits;
    uint32_t red, green, blue;
    FormatId id;
};

// The layouts X servers use. 32-bit pixels of a 24-bit visual leave the top byte unused: the
// ARGB8888 routines write alpha there, which the server ignores.
constexpr KnownLayout knownLayouts[] = {
    {32, 0xFF0000, 0x00FF00, 0x0000FF, ARGB8888}, {32, 0x0000FF, 0x00FF00, 0xFF0000, ABGR8888},
    {24, 0xFF0000, 0x00FF00, 0x0000FF, RGB888},   {24, 0x0000FF, 0x00FF00, 0xFF0000, BGR888},
    {16, 0xF800, 0x07E0, 0x001F, RGB565},         {16, 0x001F, 0x07E0, 0xF800, BGR565},
    {16, 0x7C00, 0x03E0, 0x001F, ARGB1555},       {16, 0x001F, 0x03E0, 0x7C00, ABGR1555},
};

// Source positions are (target position * source size) / target size; 64 bits, since both
// sizes may reach 2^31.
int32_t sourceOf(int64_t targetPosition, int32_t sourceSize, int32_t targetSize) {
    return int32_t(targetPosition * sourceSize / targetSize);
}

// The first target position whose source position is at least sourcePosition.
int32_t firstTargetOf(int64_t sourcePosition, int32_t sourceSize, int32_t targetSize) {
    return int32_t((sourcePosition * targetSize + sourceSize - 1) / sourceSize);
}

} // namespace

Format imageFormat(int32_t bitsPerPixel, uint32_t redMask, uint32_t greenMask, uint32_t blueMask) {
    for (const KnownLayout& l : knownLayouts)
        if (l.bits == bitsPerPixel && l.red == redMask && l.green == greenMask &&
            l.blue == blueMask)
            return Format(l.id);
    if (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return Format();
    const Format custom(int32_t(redMask), int32_t(greenMask), int32_t(blueMask), 0, RGB_MODEL,
                        bitsPerPixel);
    // The masks decide the width; pixels wider than the masks reach are not ours to describe.
    if (!custom.ok() || custom.bytes * 8 != bitsPerPixel) return Format();
    return custom;
}

Placement wholeScale(int32_t displayWidth, int32_t displayHeight, int32_t windowWidth,
                     int32_t windowHeight) {
    if (displayWidth <= 0 || displayHeight <= 0) return {};
    const int32_t scale =
        std::max(1, std::min(windowWidth / displayWidth, windowHeight / displayHeight));
    Placement p;
    p.width = int32_t(std::min<int64_t>(int64_t(displayWidth) * scale, INT32_MAX));
    p.height = int32_t(std::min<int64_t>(int64_t(displayHeight) * scale, INT32_MAX));
    p.x = std::max(0, (windowWidth - p.width) / 2);
    p.y = std::max(0, (windowHeight - p.height) / 2);
    return p;
}

Rect scaledArea(const Rect& area, int32_t displayWidth, int32_t displayHeight, int32_t targetWidth,
                int32_t targetHeight) {
    if (displayWidth <= 0 || displayHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return {};
    return Rect(firstTargetOf(area.x1, displayWidth, targetWidth),
                firstTargetOf(area.y1, displayHeight, targetHeight),
                firstTargetOf(area.x2, displayWidth, targetWidth),
                firstTargetOf(area.y2, displayHeight, targetHeight));
}

void scaleBlock(const PixelBlock& source, const PixelBlock& target, const Rect& area, int32_t bytes,
                std::vector<int32_t>& columns) {
    const int32_t x1 = std::max(0, area.x1), x2 = std::min(target.width, area.x2);
    const int32_t y1 = std::max(0, area.y1), y2 = std::min(target.height, area.y2);
    if (x1 >= x2 || y1 >= y2 || source.width <= 0 || source.height <= 0) return;
    const size_t rowBytes = size_t(x2 - x1) * size_t(bytes);
    columns.resize(size_t(x2 - x1));
    for (int32_t x = x1; x < x2; ++x)
        columns[size_t(x - x1)] = sourceOf(x, source.width, target.width) * bytes;
    int32_t previousRow = -1;
    const uint8_t* previous = nullptr;
    for (int32_t y = y1; y < y2; ++y) {
        uint8_t* to = target.pixels + ptrdiff_t(y) * target.pitch + ptrdiff_t(x1) * bytes;
        const int32_t sourceRow = sourceOf(y, source.height, target.height);
        // Rows scaled up repeat the row above.
        if (sourceRow == previousRow) {
            std::memcpy(to, previous, rowBytes);
            continue;
        }
        const uint8_t* from = source.pixels + ptrdiff_t(sourceRow) * source.pitch;
        switch (bytes) {
        case 4:
            for (size_t i = 0; i < columns.size(); ++i)
                std::memcpy(to + 4 * i, from + columns[i], 4);
            break;
        case 2:
            for (size_t i = 0; i < columns.size(); ++i)
                std::memcpy(to + 2 * i, from + columns[i], 2);
            break;
        default:
            for (size_t i = 0; i < columns.size(); ++i)
                std::memcpy(to + size_t(bytes) * i, from + columns[i], size_t(bytes));
            break;
        }
        previousRow = sourceRow;
        previous = to;
    }
}

} // namespace x11
