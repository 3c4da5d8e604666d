#include "backends/x11/Geometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

TEST(X11Geometry, ImageFormatsFollowTheServersLayout) {
    struct Case {
        int32_t bits;
        uint32_t red, green, blue;
        const char* name; // null: a custom format; "" : none
        const char* why;
    } cases[] = {
        {32, 0xFF0000, 0xFF00, 0xFF, "ARGB8888", "a 24-bit visual in 32-bit pixels"},
        {32, 0xFF, 0xFF00, 0xFF0000, "ABGR8888", "the same, blue high"},
        {24, 0xFF0000, 0xFF00, 0xFF, "RGB888", "packed 24-bit pixels"},
        {16, 0xF800, 0x7E0, 0x1F, "RGB565", "a 16-bit server"},
        {16, 0x1F, 0x7E0, 0xF800, "BGR565", "a 16-bit server, blue high"},
        {16, 0x7C00, 0x3E0, 0x1F, "ARGB1555", "a 15-bit visual"},
        {32, 0x3FF00000, 0xFFC00, 0x3FF, nullptr, "10 bits a channel: custom"},
        {8, 0xE0, 0x1C, 0x3, "", "8-bit pixels are not served"},
        {32, 0xF800, 0x7E0, 0x1F, "", "masks that reach 16 bits of 32-bit pixels"},
    };
    for (const Case& c : cases) {
        const Format f = x11::imageFormat(c.bits, c.red, c.green, c.blue);
        if (c.name && !*c.name) {
            EXPECT_FALSE(f.ok()) << c.why;
        } else if (c.name) {
            ASSERT_NE(f.name(), nullptr) << c.why;
            EXPECT_STREQ(f.name(), c.name) << c.why;
        } else {
            EXPECT_TRUE(f.ok()) << c.why;
            EXPECT_EQ(f.name(), nullptr) << c.why;
            EXPECT_EQ(f.bytes * 8, c.bits) << c.why;
        }
    }
}

TEST(X11Geometry, WholeScaleCentredAndScaledAreas) {
    struct Case {
        int32_t width, height, windowWidth, windowHeight;
        x11::Placement want;
        const char* why;
    } cases[] = {
        {320, 200, 1024, 768, {32, 84, 960, 600}, "three times, centred"},
        {320, 200, 640, 400, {0, 0, 640, 400}, "exactly twice"},
        {320, 200, 639, 768, {159, 284, 320, 200}, "one short of twice across"},
        {640, 480, 640, 480, {0, 0, 640, 480}, "the screen's own size"},
        {640, 480, 320, 240, {0, 0, 640, 480}, "too large: at its size, top left"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(x11::wholeScale(c.width, c.height, c.windowWidth, c.windowHeight), c.want)
            << c.why;
    EXPECT_EQ(x11::scaledArea(Rect(10, 20, 30, 40), 320, 200, 960, 600), Rect(30, 60, 90, 120))
        << "a whole scale multiplies";
    // Stretching 320 to 152 columns: column x shows source column x * 320 / 152.
    EXPECT_EQ(x11::scaledArea(Rect(0, 0, 2, 200), 320, 200, 152, 112), Rect(0, 0, 1, 112))
        << "the first column shows source column 0, the second column 2";
    EXPECT_EQ(x11::scaledArea(Rect(1, 0, 2, 1), 320, 200, 152, 112), Rect(1, 0, 1, 1))
        << "a source column no target column shows changes nothing";
}

// Scaling against the definition, for every pixel size, shrinking and growing, whole and in part.
TEST(X11Geometry, ScalingPicksTheNearestPixelBelow) {
    struct Case {
        int32_t sourceWidth, sourceHeight, targetWidth, targetHeight;
        Rect area;
    } cases[] = {
        {5, 3, 15, 9, Rect(0, 0, 15, 9)},     {320, 200, 152, 112, Rect(0, 0, 152, 112)},
        {7, 5, 23, 11, Rect(3, 2, 19, 9)},    {16, 16, 16, 16, Rect(0, 0, 16, 16)},
        {9, 4, 30, 20, Rect(-5, -5, 99, 99)},
    };
    std::vector<int32_t> columns; // kept across cases, as a display keeps it across frames
    for (int bytes : {2, 3, 4})
        for (const Case& c : cases) {
            const int32_t sourcePitch = c.sourceWidth * bytes + 3;
            const int32_t targetPitch = c.targetWidth * bytes + 1;
            std::vector<uint8_t> source(size_t(sourcePitch) * c.sourceHeight);
            for (size_t i = 0; i < source.size(); ++i) source[i] = uint8_t(i * 7 + 1);
            std::vector<uint8_t> target(size_t(targetPitch) * c.targetHeight, 0xEE);
            x11::scaleBlock({source.data(), sourcePitch, c.sourceWidth, c.sourceHeight},
                            {target.data(), targetPitch, c.targetWidth, c.targetHeight}, c.area,
                            bytes, columns);
            for (int32_t y = 0; y < c.targetHeight; ++y)
                for (int32_t x = 0; x < c.targetWidth; ++x) {
                    const bool inside =
                        x >= c.area.x1 && x < c.area.x2 && y >= c.area.y1 && y < c.area.y2;
                    const size_t sx = size_t(x) * c.sourceWidth / c.targetWidth;
                    const size_t sy = size_t(y) * c.sourceHeight / c.targetHeight;
                    for (int b = 0; b < bytes; ++b) {
                        const uint8_t got = target[size_t(y) * targetPitch + size_t(x) * bytes + b];
                        const uint8_t want =
                            inside ? source[sy * sourcePitch + sx * bytes + b] : uint8_t(0xEE);
                        ASSERT_EQ(got, want) << bytes << " bytes, " << c.sourceWidth << "x"
                                             << c.sourceHeight << " to " << c.targetWidth << "x"
                                             << c.targetHeight << " at " << x << "," << y;
                    }
                }
        }
}

} // namespace
