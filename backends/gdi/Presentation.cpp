#include "backends/gdi/Presentation.h"

#include "backends/gdi/DrawDib.h"
#include "display/Surface.h"

#include <algorithm>
#include <cstdint>

PresentationPlan planPresentation(const Format& source, int32_t sourceOrientation,
                                  const Format& desktop, bool haveLogicalPalette) {
    PresentationPlan plan;
    // DrawDib only draws bottom-up DIBs reliably; top-down ones always go through StretchBlt.
    const bool bottomUp = sourceOrientation == BOTTOM_UP;
    if (source.type == INDEXED) {
        if (desktop.type == DIRECT) {
            plan.possible = true;
            plan.tryDrawDib = bottomUp;
            plan.colourTableForDrawDib = bottomUp;
            plan.stretchColours = PresentColours::SOURCE_PALETTE;
        } else if (haveLogicalPalette) {
            plan.possible = true;
            plan.tryDrawDib = bottomUp;
            plan.colourTableForDrawDib = bottomUp;
            plan.stretchColours = PresentColours::DISPLAY_PALETTE;
            plan.selectLogicalPalette = true;
        }
        return plan;
    }
    plan.possible = true;
    if (desktop.type == DIRECT) {
        plan.tryDrawDib = bottomUp;
    } else if (desktop.id == INDEX8) {
        plan.tryDrawDib = bottomUp;
        if (bottomUp) plan.drawDibFlags = DrawDib::DRAW_HALFTONE;
    }
    return plan;
}

bool presentationTarget(int32_t clientWidth, int32_t clientHeight, int32_t width, int32_t height,
                        const Rect& destination, Rect& target, bool& wholeClient) {
    wholeClient = false;
    if (clientWidth <= 0 || clientHeight <= 0 || width <= 0 || height <= 0) return false;
    if (destination.x2 <= destination.x1 || destination.y2 <= destination.y1) return false;
    // Exact integer ceilings of edge x client / display; floating scale factors can land a
    // hair above an exact edge and round it up by a whole pixel.
    auto scale = [](int32_t edge, int32_t client, int32_t size) {
        const int64_t product = int64_t(edge) * client;
        const int64_t quotient = product / size;
        return int32_t(quotient * size < product ? quotient + 1 : quotient);
    };
    target.x1 = scale(destination.x1, clientWidth, width);
    target.y1 = scale(destination.y1, clientHeight, height);
    target.x2 = std::min(scale(destination.x2, clientWidth, width), clientWidth);
    target.y2 = std::min(scale(destination.y2, clientHeight, height), clientHeight);
    wholeClient =
        target.x1 == 0 && target.y1 == 0 && target.x2 == clientWidth && target.y2 == clientHeight;
    return true;
}
