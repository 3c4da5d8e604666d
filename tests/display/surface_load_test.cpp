#include "display/Palette.h"
#include "display/Surface.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

// Surfaces loaded from TGA files written here byte by byte, in both orientations.

namespace {

struct Tga {
    uint8_t type = 2, depth = 24, descriptor = 0, mapType = 0, mapEntryBits = 0;
    uint16_t width = 3, height = 2, mapLength = 0;
    std::vector<uint8_t> map, pixels; // pixels in file order

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> b = {0,
                                  mapType,
                                  type,
                                  0,
                                  0,
                                  uint8_t(mapLength),
                                  uint8_t(mapLength >> 8),
                                  mapEntryBits,
                                  0,
                                  0,
                                  0,
                                  0,
                                  uint8_t(width),
                                  uint8_t(width >> 8),
                                  uint8_t(height),
                                  uint8_t(height >> 8),
                                  depth,
                                  descriptor};
        b.insert(b.end(), map.begin(), map.end());
        b.insert(b.end(), pixels.begin(), pixels.end());
        return b;
    }
};

class SurfaceLoad : public ::testing::Test {
  protected:
    std::string write(const Tga& tga) {
        const std::string name = (std::filesystem::temp_directory_path() /
                                  ("surface_load_" + std::to_string(files.size()) + ".tga"))
                                     .string();
        std::FILE* f = std::fopen(name.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (!f) return name;
        const std::vector<uint8_t> b = tga.bytes();
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
        files.push_back(name);
        return name;
    }
    void TearDown() override {
        for (const std::string& name : files) std::remove(name.c_str());
    }
    std::vector<std::string> files;
};

// The picture's bytes row by row from the top, read through the surface's pointer and pitch.
std::vector<uint8_t> topDown(Surface& s) {
    std::vector<uint8_t> out;
    const uint8_t* p = static_cast<const uint8_t*>(s.lock(1));
    if (!p) return out;
    for (int y = 0; y < s.height(); ++y)
        out.insert(out.end(), p + ptrdiff_t(y) * s.pitch(),
                   p + ptrdiff_t(y) * s.pitch() + s.width() * s.bytes());
    s.unlock();
    return out;
}

// The file's rows reordered top first.
std::vector<uint8_t> expectedPicture(const Tga& tga) {
    const size_t rowBytes = size_t(tga.width) * (tga.depth / 8);
    std::vector<uint8_t> out(tga.pixels.size());
    for (int f = 0; f < tga.height; ++f) {
        const int y = (tga.descriptor & 0x20) ? f : tga.height - 1 - f;
        std::copy_n(tga.pixels.begin() + f * rowBytes, rowBytes, out.begin() + y * rowBytes);
    }
    return out;
}

} // namespace

TEST_F(SurfaceLoad, EveryKindIntoBothOrientations) {
    std::mt19937 random(8);
    struct Kind {
        uint8_t type, depth;
        int32_t format;
    } kinds[] = {{2, 16, ARGB1555}, {2, 24, RGB888}, {2, 32, ARGB8888}, {1, 8, INDEX8}};
    for (const Kind& k : kinds)
        for (uint8_t descriptor : {uint8_t(0), uint8_t(0x20)})
            for (int32_t orientation : {20, 21}) {
                Tga tga;
                tga.type = k.type;
                tga.depth = k.depth;
                tga.descriptor = descriptor;
                tga.width = 5;
                tga.height = 3;
                if (k.type == 1) {
                    tga.mapType = 1;
                    tga.mapLength = 16;
                    tga.mapEntryBits = 24;
                    for (int i = 0; i < 48; ++i) tga.map.push_back(uint8_t(random()));
                }
                for (int i = 0; i < 5 * 3 * k.depth / 8; ++i)
                    tga.pixels.push_back(uint8_t(random()));
                const std::string name = write(tga);
                const std::string what = std::to_string(k.depth) + " bits, descriptor " +
                                         std::to_string(descriptor) + ", orientation " +
                                         std::to_string(orientation);
                Surface s(name.c_str(), 30, orientation, -1, -1);
                ASSERT_TRUE(s.ok()) << what;
                EXPECT_EQ(s.format(), Format(k.format)) << what;
                EXPECT_EQ(s.orientation(), orientation) << what;
                EXPECT_EQ(topDown(s), expectedPicture(tga)) << what;
                EXPECT_EQ(s.lockCount(), 0) << what;
                if (k.type != 1) {
                    EXPECT_EQ(s.palette(), nullptr) << what;
                    continue;
                }
                ASSERT_NE(s.palette(), nullptr) << what;
                const uint32_t* colours = s.palette()->data();
                for (int i = 0; i < 256; ++i) {
                    const uint32_t expected = i < 16 ? uint32_t(tga.map[3 * i + 2]) << 16 |
                                                           uint32_t(tga.map[3 * i + 1]) << 8 |
                                                           tga.map[3 * i]
                                                     : 0;
                    EXPECT_EQ(colours[i], expected) << what << " colour " << i;
                }
            }
}

TEST_F(SurfaceLoad, FailuresBeforeCreationLeaveTheSurfaceAsItWas) {
    Tga tga;
    tga.pixels.assign(3 * 2 * 3, 7);
    const std::string name = write(tga);
    Surface s(4, 4, Format(RGB565), 30, -1, -1, -1);
    EXPECT_FALSE(s.load(name.c_str(), 30, -1, 4, -1)) << "advance other than 0 or -1";
    EXPECT_FALSE(s.load(name.c_str(), 30, -1, -1, 11)) << "variant 11";
    EXPECT_FALSE(s.load((name + ".missing").c_str(), 30, -1, -1, -1)) << "no such file";
    Tga deep = tga;
    deep.depth = 12;
    EXPECT_FALSE(s.load(write(deep).c_str(), 30, -1, -1, -1)) << "depth 12: no format";
    EXPECT_TRUE(s.ok());
    EXPECT_EQ(s.format(), Format(RGB565));
    EXPECT_TRUE(s.load(name.c_str(), 30, -1, 0, 10));
    EXPECT_EQ(s.format(), Format(RGB888));
}

// The reader refuses these files from their headers and sizes alone, before anything is
// created, so the surface keeps what it had.
TEST_F(SurfaceLoad, UnreadableFilesLeaveTheSurfaceAsItWas) {
    Tga encoded;
    encoded.type = 10; // run-length encoded: refused when the pixels are read
    encoded.pixels.assign(18, 1);
    Tga mapped; // true colour with a colour map: the palette fits no direct surface
    mapped.mapType = 1;
    mapped.mapLength = 2;
    mapped.mapEntryBits = 24;
    mapped.map.assign(6, 9);
    mapped.pixels.assign(18, 1);
    Tga shortRows; // one byte short
    shortRows.pixels.assign(17, 1);
    for (const Tga* tga : {&encoded, &mapped, &shortRows}) {
        Surface s(4, 4, Format(RGB565), 30, -1, -1, -1);
        EXPECT_FALSE(s.load(write(*tga).c_str(), 30, 21, -1, -1));
        EXPECT_TRUE(s.ok());
        EXPECT_EQ(s.format(), Format(RGB565));
        EXPECT_EQ(s.orientation(), 20);
    }
}
