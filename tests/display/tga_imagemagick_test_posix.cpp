// Files written by an independent encoder: ImageMagick writes TGA files from a known picture,
// decodes them again, and the reader must give the same pixels.
#include "display/Image.h"

#include "support/TgaFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

TEST(TgaImageMagickTest, ReaderDecodesWhatImageMagickDecodes) {
    if (!run("convert -version")) GTEST_SKIP() << "ImageMagick's convert is not installed";
    tga::TempDir dir;
    ASSERT_TRUE(dir.ok());
    constexpr int W = 7, H = 5;
    // A PAM with alpha: every pixel a different colour, so a misplaced one shows.
    tga::Bytes pam;
    const std::string head =
        "P7\nWIDTH 7\nHEIGHT 5\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    pam.assign(head.begin(), head.end());
    for (int i = 0; i < W * H; ++i)
        for (int c = 0; c < 4; ++c) pam.push_back(tga::patternByte(uint32_t(i * 4 + c), 3));
    const std::string source = dir.file("source.pam");
    ASSERT_TRUE(tga::writeFile(source, pam));

    const struct {
        const char* name;
        const char* options;
        int depth;
    } kinds[] = {
        {"24-bit", "-alpha off", 24},
        {"32-bit", "", 32},
        {"8-bit colour-mapped", "-alpha off -type Palette", 8},
    };
    for (auto kind : kinds) {
        for (const char* orient : {"TopLeft", "BottomLeft"}) {
            SCOPED_TRACE(std::string(kind.name) + " " + orient);
            const std::string file = dir.file("im.tga"), raw = dir.file("im.rgba");
            ASSERT_TRUE(run("convert " + quoted(source) + " " + kind.options +
                            " -compress None -orient " + orient + " " + quoted(file)));
            // ImageMagick keeps rows in file order and records the origin; -auto-orient gives
            // the picture as it is meant to be seen, top row first.
            ASSERT_TRUE(
                run("convert " + quoted(file) + " -auto-orient -depth 8 rgba:" + quoted(raw)));
            const tga::Bytes bytes = tga::readFile(file), decoded = tga::readFile(raw);
            ASSERT_GE(bytes.size(), 18u);
            // The encoder really wrote the depth and row order this case is about.
            ASSERT_EQ(bytes[16], kind.depth);
            ASSERT_EQ((bytes[17] & 0x20) != 0, std::string(orient) == "TopLeft");
            ASSERT_EQ(decoded.size(), size_t(W * H * 4));

            Image image(file.c_str(), 1);
            int w, h, palette;
            Format format;
            ASSERT_TRUE(image.info(w, h, format, palette));
            ASSERT_EQ(w, W);
            ASSERT_EQ(h, H);
            const int bpp = kind.depth / 8;
            // Bottom-up, the way a surface of orientation 21 hands out its rows.
            std::vector<uint8_t> pixels(size_t(W * H * bpp));
            uint32_t colours[256] = {};
            ASSERT_TRUE(image.read(pixels.data() + (H - 1) * W * bpp, 21, -W * bpp, colours));
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const uint8_t* p = &pixels[size_t(((H - 1 - y) * W + x) * bpp)];
                    const uint8_t* e = &decoded[size_t((y * W + x) * 4)];
                    uint32_t r, g, b, a = 0xFF;
                    if (kind.depth == 8) {
                        uint32_t c = colours[p[0]];
                        r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
                    } else {
                        b = p[0], g = p[1], r = p[2];
                        if (kind.depth == 32) a = p[3];
                    }
                    ASSERT_EQ(r, e[0]) << x << "," << y;
                    ASSERT_EQ(g, e[1]) << x << "," << y;
                    ASSERT_EQ(b, e[2]) << x << "," << y;
                    ASSERT_EQ(a, e[3]) << x << "," << y;
                }
        }
    }
}

} // namespace
