#pragma once
#include "display/Rect.h"
#include "format/Format.h"

#include <cstdint>
#include <vector>

// What the X11 back end computes without a server: the library format of the server's images,
// where a display shows in a window, and the nearest-neighbour scaling that puts it there.
namespace x11 {

// The format whose pixels an X image of this many bits per pixel and these channel masks holds:
// a standard one where the layout is one (the converters have fast routines for those), a
// custom one otherwise; empty when the pixels are not 16, 24 or 32 bits of direct colour.
Format imageFormat(int32_t bitsPerPixel, uint32_t redMask, uint32_t greenMask, uint32_t blueMask);

// The part of a window a display is shown in, in window pixels.
struct Placement {
    int32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Placement&) const = default;
};

// The largest whole multiple of the display that fits the window, centred; at least the display
// itself, at the top left of a window too small for it.
Placement wholeScale(int32_t displayWidth, int32_t displayHeight, int32_t windowWidth,
                     int32_t windowHeight);

// The window pixels whose nearest display pixel lies in area, when a display of width x height
// is scaled to width x height of target: the part of the target an update of area changes.
Rect scaledArea(const Rect& area, int32_t displayWidth, int32_t displayHeight, int32_t targetWidth,
                int32_t targetHeight);

// A block of pixels of bytes each (2, 3 or 4).
struct PixelBlock {
    uint8_t* pixels; // row 0
    int32_t pitch;   // bytes from one row to the next
    int32_t width, height;
};

// Scales source onto target, nearest neighbour: target pixel (x, y) is source pixel
// (x * source width / target width, y * source height / target height). Only the pixels of
// target inside area are written. columns is the caller's scratch space, kept from frame to
// frame so that scaling allocates nothing once it has grown.
void scaleBlock(const PixelBlock& source, const PixelBlock& target, const Rect& area, int32_t bytes,
                std::vector<int32_t>& columns);

} // namespace x11
