#pragma once
#include "display/Rect.h"
#include "format/Format.h"

#include <cstdint>

// Which colours an 8-bit source is drawn with.
enum class PresentColours {
    NONE,           // direct-colour source
    SOURCE_PALETTE, // the source surface's palette
    DISPLAY_PALETTE // the display's palette (8-bit desktop with a logical palette)
};

// How one source is drawn into the window, chosen from the source's format and orientation and
// the desktop's format.
struct PresentationPlan {
    bool possible = false;   // false: the presentation fails without drawing
    bool tryDrawDib = false; // DrawDibDraw first (bottom-up sources only)
    uint32_t drawDibFlags = 0;
    // Before DrawDibDraw: the source palette goes into the section's colour table.
    bool colourTableForDrawDib = false;
    // For StretchBlt, when DrawDib is not tried or fails: SetDIBColorTable with these colours,
    // and the logical palette selected into the window DC around the blit.
    PresentColours stretchColours = PresentColours::NONE;
    bool selectLogicalPalette = false;
};

PresentationPlan planPresentation(const Format& source, int32_t sourceOrientation,
                                  const Format& desktop, bool haveLogicalPalette);

// Where a destination area of a width x height display lands in a client area of
// clientWidth x clientHeight, which the display is stretched to fill. Edges round up, so that
// adjacent areas tile the client without gaps. False for an empty area or client.
bool presentationTarget(int32_t clientWidth, int32_t clientHeight, int32_t width, int32_t height,
                        const Rect& destination, Rect& target, bool& wholeClient);
