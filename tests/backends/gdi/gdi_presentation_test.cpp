#include "backends/gdi/DrawDib.h"
#include "backends/gdi/Presentation.h"
#include "display/Surface.h"

#include <gtest/gtest.h>

namespace {

using C = PresentColours;

struct PlanCase {
    int32_t source, orientation, desktop;
    bool logicalPalette;
    PresentationPlan expected;
    const char* why;
};

constexpr uint32_t HT = DrawDib::DRAW_HALFTONE;

// {possible, tryDrawDib, flags, colourTableForDrawDib, stretchColours, selectLogicalPalette}
const PlanCase planCases[] = {
    {INDEX8,
     BOTTOM_UP,
     ARGB8888,
     false,
     {true, true, 0, true, C::SOURCE_PALETTE, false},
     "indexed on a direct desktop: DrawDib with the source colours"},
    {INDEX8,
     TOP_DOWN,
     RGB565,
     false,
     {true, false, 0, false, C::SOURCE_PALETTE, false},
     "top-down indexed: only StretchBlt, still with the source colours"},
    {GREY8,
     BOTTOM_UP,
     RGB888,
     true,
     {true, true, 0, true, C::SOURCE_PALETTE, false},
     "a logical palette does not matter on a direct desktop"},
    {INDEX8,
     BOTTOM_UP,
     INDEX8,
     true,
     {true, true, 0, true, C::DISPLAY_PALETTE, true},
     "8-bit desktop: DrawDib with the source colours, StretchBlt with the display's"},
    {INDEX8,
     TOP_DOWN,
     INDEX8,
     true,
     {true, false, 0, false, C::DISPLAY_PALETTE, true},
     "8-bit desktop, top-down source"},
    {INDEX8,
     BOTTOM_UP,
     INDEX8,
     false,
     {false, false, 0, false, C::NONE, false},
     "8-bit desktop without a logical palette cannot show indexed pixels"},
    {INDEX8,
     BOTTOM_UP,
     0,
     true,
     {true, true, 0, true, C::DISPLAY_PALETTE, true},
     "an unknown desktop with a logical palette counts as not direct"},
    {INDEX8,
     BOTTOM_UP,
     0,
     false,
     {false, false, 0, false, C::NONE, false},
     "unknown desktop, no palette"},
    {ARGB8888,
     BOTTOM_UP,
     ARGB8888,
     false,
     {true, true, 0, false, C::NONE, false},
     "direct on direct: DrawDib"},
    {RGB565,
     TOP_DOWN,
     ARGB8888,
     false,
     {true, false, 0, false, C::NONE, false},
     "top-down direct: StretchBlt"},
    {ARGB8888,
     BOTTOM_UP,
     INDEX8,
     false,
     {true, true, HT, false, C::NONE, false},
     "direct on an 8-bit desktop: DrawDib halftones"},
    {ARGB8888,
     BOTTOM_UP,
     INDEX8,
     true,
     {true, true, HT, false, C::NONE, false},
     "the logical palette is not selected for direct sources"},
    {RGB565,
     TOP_DOWN,
     INDEX8,
     false,
     {true, false, 0, false, C::NONE, false},
     "top-down direct on 8-bit: StretchBlt"},
    {ARGB8888,
     BOTTOM_UP,
     GREY8,
     false,
     {true, false, 0, false, C::NONE, false},
     "another indexed desktop: StretchBlt only"},
    {ARGB8888,
     BOTTOM_UP,
     0,
     false,
     {true, false, 0, false, C::NONE, false},
     "unknown desktop: StretchBlt only"},
};

} // namespace

TEST(GdiPresentation, CaseTable) {
    for (const PlanCase& c : planCases) {
        const Format source(c.source);
        const Format desktop = c.desktop ? Format(c.desktop) : Format();
        const PresentationPlan p =
            planPresentation(source, c.orientation, desktop, c.logicalPalette);
        const PresentationPlan& e = c.expected;
        EXPECT_EQ(p.possible, e.possible) << c.why;
        EXPECT_EQ(p.tryDrawDib, e.tryDrawDib) << c.why;
        EXPECT_EQ(p.drawDibFlags, e.drawDibFlags) << c.why;
        EXPECT_EQ(p.colourTableForDrawDib, e.colourTableForDrawDib) << c.why;
        EXPECT_EQ(p.stretchColours, e.stretchColours) << c.why;
        EXPECT_EQ(p.selectLogicalPalette, e.selectLogicalPalette) << c.why;
    }
}

// Every edge of every area of small displays in small clients, against the smallest pixel
// edge at or right of the exact scaled position.
TEST(GdiPresentation, TargetEdgesRoundUpExactly) {
    auto reference = [](int32_t edge, int32_t client, int32_t size) {
        int32_t t = 0;
        while (int64_t(t) * size < int64_t(edge) * client) ++t;
        return t;
    };
    for (int32_t w = 1; w <= 7; ++w)
        for (int32_t cw = 1; cw <= 15; ++cw)
            for (int32_t x1 = 0; x1 < w; ++x1)
                for (int32_t x2 = x1 + 1; x2 <= w; ++x2) {
                    const int32_t h = 8 - w, ch = 16 - cw;
                    const Rect area(x1, 0, x2, h);
                    Rect t;
                    bool whole = true;
                    ASSERT_TRUE(presentationTarget(cw, ch, w, h, area, t, whole));
                    EXPECT_EQ(t.x1, reference(x1, cw, w));
                    EXPECT_EQ(t.x2, reference(x2, cw, w));
                    EXPECT_EQ(t.y1, 0);
                    EXPECT_EQ(t.y2, ch);
                    EXPECT_EQ(whole, t.x1 == 0 && t.x2 == cw)
                        << "w " << w << " cw " << cw << " x " << x1 << ".." << x2;
                }
}

TEST(GdiPresentation, TargetCases) {
    struct Case {
        int32_t cw, ch, w, h;
        Rect area;
        bool ok;
        Rect target;
        bool whole;
        const char* why;
    } cases[] = {
        {320, 200, 320, 200, {0, 0, 320, 200}, true, {0, 0, 320, 200}, true, "same size"},
        {640, 400, 320, 200, {0, 0, 320, 200}, true, {0, 0, 640, 400}, true, "every pixel doubled"},
        {640,
         400,
         320,
         200,
         {10, 20, 30, 40},
         true,
         {20, 40, 60, 80},
         false,
         "a part lands at its scaled place"},
        {100, 100, 300, 300, {0, 0, 1, 1}, true, {0, 0, 1, 1}, false, "shrunk, rounded up"},
        {6,
         6,
         7,
         7,
         {0, 0, 6, 6},
         true,
         {0, 0, 6, 6},
         true,
         "shrunk: most of the display can cover the whole client"},
        {0, 200, 320, 200, {0, 0, 320, 200}, false, {}, false, "minimised: no client area"},
        {320, 200, 320, 200, {5, 0, 5, 200}, false, {}, false, "empty area"},
        {320, 200, 0, 200, {0, 0, 0, 200}, false, {}, false, "no display"},
    };
    for (const Case& c : cases) {
        Rect t;
        bool whole = !c.whole;
        EXPECT_EQ(presentationTarget(c.cw, c.ch, c.w, c.h, c.area, t, whole), c.ok) << c.why;
        EXPECT_EQ(whole, c.whole) << c.why;
        if (c.ok) {
            EXPECT_EQ(t, c.target) << c.why;
        }
    }
}
