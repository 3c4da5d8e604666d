#include "TgaFiles.h"
#include "display/Palette.h"
#include "display/Surface.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint8_t* row(Surface& s, int y) {
    auto* p = static_cast<uint8_t*>(s.lock(1));
    s.unlock();
    return p + int64_t(y) * s.pitch();
}

} // namespace

// Every kind of picture, into both orientations: the rows arrive unconverted in picture order.
TEST(SurfaceLoad, EveryKindIntoBothOrientations) {
    tga::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const struct {
        int depth;
        int32_t id;
    } kinds[] = {{8, INDEX8}, {16, ARGB1555}, {24, RGB888}, {32, ARGB8888}};
    for (const auto& kind : kinds) {
        for (uint8_t descriptor : {uint8_t(0), uint8_t(0x20)}) {
            const tga::File file = tga::picture(kind.depth, 5, 3, descriptor);
            const std::string name = dir.file("p.tga");
            ASSERT_TRUE(tga::writeFile(name, file.bytes()));
            for (int orientation : {20, 21}) {
                SCOPED_TRACE(::testing::Message() << kind.depth << " bits, descriptor "
                                                  << int(descriptor) << ", " << orientation);
                Surface s(name.c_str(), 30, orientation, -1, -1);
                ASSERT_TRUE(s.ok());
                EXPECT_EQ(s.format(), Format(kind.id));
                EXPECT_EQ(s.orientation(), orientation);
                const int rowBytes = 5 * kind.depth / 8;
                for (int y = 0; y < 3; ++y) {
                    const int fileRow = descriptor ? y : 2 - y;
                    EXPECT_EQ(std::memcmp(row(s, y), &file.pixels[size_t(fileRow) * rowBytes],
                                          size_t(rowBytes)),
                              0)
                        << "row " << y;
                }
                EXPECT_EQ(s.lockCount(), 0);
                if (kind.depth == 8) {
                    ASSERT_NE(s.palette(), nullptr);
                    const uint8_t* m = file.map.data();
                    EXPECT_EQ(s.palette()->data()[0], uint32_t(m[2]) << 16 | m[1] << 8 | m[0]);
                    EXPECT_EQ(s.palette()->data()[16], 0u);
                } else {
                    EXPECT_EQ(s.palette(), nullptr);
                }
            }
        }
    }
}

TEST(SurfaceLoad, FailuresLeaveTheRightState) {
    tga::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string name = dir.file("p.tga");
    Surface s(4, 4, Format(RGB565), 30, -1, -1, -1);
    ASSERT_TRUE(s.ok());

    // Refused before anything is created: the surface stays as it was.
    EXPECT_FALSE(s.load(dir.file("missing.tga").c_str(), 30, -1, -1, -1));
    EXPECT_FALSE(s.load(name.c_str(), 30, -1, 4, -1));
    EXPECT_FALSE(s.load(name.c_str(), 30, -1, -1, 11));
    tga::File unknownDepth = tga::picture(24, 4, 4, 0);
    unknownDepth.depth = 15;
    ASSERT_TRUE(tga::writeFile(name, unknownDepth.bytes()));
    EXPECT_FALSE(s.load(name.c_str(), 30, -1, -1, -1));
    EXPECT_TRUE(s.ok());
    EXPECT_EQ(s.format(), Format(RGB565));

    // Whether the reader notices before or after the creation, nothing is left half-done: the
    // surface is either as it was or empty.
    const auto untouchedOrEmpty = [&] { return !s.ok() || s.format() == Format(RGB565); };
    tga::File cut = tga::picture(24, 4, 4, 0);
    cut.pixels.resize(cut.pixels.size() - 1);
    ASSERT_TRUE(tga::writeFile(name, cut.bytes()));
    EXPECT_FALSE(s.load(name.c_str(), 30, -1, -1, -1));
    EXPECT_TRUE(untouchedOrEmpty());

    // A true-colour picture carrying a colour map has a palette no direct surface can take.
    tga::File mapped = tga::picture(24, 4, 4, 0);
    mapped.colourMapType = 1;
    mapped.mapLength = 2;
    mapped.entryBits = 24;
    mapped.map.assign(6, 0x40);
    ASSERT_TRUE(tga::writeFile(name, mapped.bytes()));
    EXPECT_FALSE(s.load(name.c_str(), 30, -1, -1, -1));
    EXPECT_TRUE(untouchedOrEmpty());

    tga::File rle = tga::picture(24, 4, 4, 0);
    rle.imageType = 10;
    ASSERT_TRUE(tga::writeFile(name, rle.bytes()));
    EXPECT_FALSE(s.load(name.c_str(), 30, -1, -1, -1));
    EXPECT_TRUE(untouchedOrEmpty());

    // A good picture after all that loads.
    ASSERT_TRUE(tga::writeFile(name, tga::picture(32, 4, 4, 0).bytes()));
    EXPECT_TRUE(s.load(name.c_str(), 30, -1, -1, -1));
    EXPECT_EQ(s.format(), Format(ARGB8888));
}

TEST(SurfaceLoad, IndexedPictureConvertsToArgb8888) {
    tga::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const tga::File file = tga::picture(8, 6, 2, 0x20, 16, 32);
    const std::string name = dir.file("p.tga");
    ASSERT_TRUE(tga::writeFile(name, file.bytes()));
    Surface s(name.c_str(), 30, -1, -1, -1);
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s.convert(Format(ARGB8888)));
    for (int i = 0; i < 12; ++i) {
        const uint8_t* entry = &file.map[size_t(file.pixels[size_t(i)]) * 4];
        uint32_t expected, got;
        std::memcpy(&expected, entry, 4);
        std::memcpy(&got, row(s, i / 6) + (i % 6) * 4, 4);
        EXPECT_EQ(got, expected) << i;
    }
}
