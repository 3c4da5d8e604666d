#include "display/File.h"
#include "display/Image.h"

#include "support/GuardedBuffer.h"
#include "support/TgaFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

// Counts operator new while armed and fails the chosen call, so out-of-memory paths can be
// walked one allocation at a time.
namespace {
struct NewHook {
    static inline bool armed = false;
    static inline int calls = 0;
    static inline int failAt = 0; // 1-based; 0 fails none
    static inline int live = 0;
    static inline bool failed = false;
};

void* hookedAllocate(std::size_t bytes) {
    if (NewHook::armed) {
        if (++NewHook::calls == NewHook::failAt) {
            NewHook::failed = true;
            return nullptr;
        }
        ++NewHook::live;
    }
    return std::malloc(bytes ? bytes : 1);
}

void hookedFree(void* p) {
    if (!p) return;
    if (NewHook::armed) --NewHook::live;
    std::free(p);
}
} // namespace

void* operator new(std::size_t bytes) {
    if (void* p = hookedAllocate(bytes)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t bytes) {
    if (void* p = hookedAllocate(bytes)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    return hookedAllocate(bytes);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    return hookedAllocate(bytes);
}
void operator delete(void* p) noexcept {
    hookedFree(p);
}
void operator delete[](void* p) noexcept {
    hookedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    hookedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    hookedFree(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    hookedFree(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    hookedFree(p);
}

namespace {

using tga::Bytes;

constexpr int TOP_DOWN = 20;
constexpr int BOTTOM_UP = 21;

// ---------------------------------------------------------------------------------------------
// File

struct FileModeCase {
    const char* reason;
    int flags;
    bool fileExists;
    bool opens;
    const char* readBack;   // what reading from the start gives after writing "XY"
    const char* afterwards; // the file's contents once closed
};

TEST(FileTest, FlagsChooseTheStreamMode) {
    const FileModeCase cases[] = {
        {"read only: \"r\", writes refused", File::READ | File::BINARY, true, true, "abc", "abc"},
        {"read only needs the file", File::READ | File::BINARY, false, false, "", ""},
        {"read only ignores append", File::READ | File::APPEND | File::BINARY, true, true, "abc",
         "abc"},
        {"write only: \"w\" truncates", File::WRITE | File::BINARY, true, true, "", "XY"},
        {"write only creates", File::WRITE | File::BINARY, false, true, "", "XY"},
        {"write and append: \"a\"", File::WRITE | File::APPEND | File::BINARY, true, true, "",
         "abcXY"},
        {"read and write: \"r+\" overwrites in place", File::READ | File::WRITE | File::BINARY,
         true, true, "XYc", "XYc"},
        {"\"r+\" needs the file", File::READ | File::WRITE | File::BINARY, false, false, "", ""},
        {"neither read nor write is \"r+\"", File::BINARY, true, true, "XYc", "XYc"},
        {"read, write and append: \"a+\"", File::READ | File::WRITE | File::APPEND | File::BINARY,
         true, true, "abcXY", "abcXY"},
        {"text mode opens", File::READ | File::TEXT, true, true, "abc", "abc"},
        {"text and binary together are refused", File::READ | File::TEXT | File::BINARY, true,
         false, "", "abc"},
    };
    tga::TempDir dir;
    ASSERT_TRUE(dir.ok());
    int n = 0;
    for (const FileModeCase& c : cases) {
        const std::string path = dir.file("mode" + std::to_string(n++));
        if (c.fileExists) {
            ASSERT_TRUE(tga::writeFile(path, Bytes{'a', 'b', 'c'}));
        }
        File f;
        EXPECT_EQ(f.open(path.c_str(), c.flags), c.opens) << c.reason;
        EXPECT_EQ(f.isOpen(), c.opens) << c.reason;
        std::string readBack;
        if (f.isOpen()) {
            f.write("XY", 2);
            f.seek(0, SEEK_SET);
            char buffer[16] = {};
            int64_t got = f.read(buffer, sizeof buffer);
            readBack.assign(buffer, size_t(got > 0 ? got : 0));
        }
        f.close();
        EXPECT_EQ(readBack, c.readBack) << c.reason;
        Bytes after = tga::readFile(path);
        EXPECT_EQ(std::string(after.begin(), after.end()), c.afterwards) << c.reason;
    }
}

TEST(FileTest, ClosedFileDoesNothingAndReportsZero) {
    File f;
    char buffer[4] = {1, 2, 3, 4};
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(f.read(buffer, 4), 0);
    EXPECT_EQ(f.write(buffer, 4), 0);
    EXPECT_FALSE(f.seek(0, SEEK_SET));
    EXPECT_EQ(f.tell(), 0);
    EXPECT_EQ(f.size(), 0);
    EXPECT_FALSE(f.eof());
    f.close();
    EXPECT_EQ(buffer[0], 1);
    EXPECT_FALSE(f.open(nullptr, File::READ));
}

TEST(FileTest, SizeKeepsThePositionAndShortReadsReportTheirCount) {
    tga::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("five");
    ASSERT_TRUE(tga::writeFile(path, Bytes{1, 2, 3, 4, 5}));
    File f;
    ASSERT_TRUE(f.open(path.c_str(), File::READ | File::BINARY));
    ASSERT_TRUE(f.seek(2, SEEK_SET));
    EXPECT_EQ(f.size(), 5);
    EXPECT_EQ(f.tell(), 2);
    ASSERT_TRUE(f.seek(-1, SEEK_END));
    EXPECT_EQ(f.tell(), 4);
    ASSERT_TRUE(f.seek(1, SEEK_SET));
    uint8_t buffer[8] = {};
    EXPECT_FALSE(f.eof());
    EXPECT_EQ(f.read(buffer, 8), 4);
    EXPECT_TRUE(f.eof());
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(buffer[3], 5);
    EXPECT_EQ(f.read(buffer, 0), 0);
    EXPECT_EQ(f.read(buffer, -3), 0);
    EXPECT_EQ(f.read(nullptr, 1), 0);
    // Reopening closes the first stream.
    ASSERT_TRUE(f.open(path.c_str(), File::READ | File::BINARY));
    EXPECT_EQ(f.tell(), 0);
}

// ---------------------------------------------------------------------------------------------
// Reference decoding, written from the file layout alone.

int bytesPerPixel(int depth) {
    return depth / 8;
}

// The picture top row first, rows packed.
Bytes expectedPicture(const tga::File& f) {
    const size_t row = size_t(f.width) * bytesPerPixel(f.depth);
    Bytes out(row * f.height);
    for (int fileRow = 0; fileRow < f.height; ++fileRow) {
        int y = (f.descriptor & 0x20) ? fileRow : f.height - 1 - fileRow;
        std::memcpy(&out[size_t(y) * row], &f.pixels[size_t(fileRow) * row], row);
    }
    return out;
}

// Palette colours 0xAARRGGBB from the map's entries; colours past the map keep `previous`.
std::vector<uint32_t> expectedColours(const tga::File& f, uint32_t previous) {
    std::vector<uint32_t> colours(256, previous);
    const uint8_t* e = f.map.data();
    for (int i = 0; i < f.mapLength; ++i) {
        if (f.entryBits == 24) {
            colours[i] = uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
            e += 3;
        } else if (f.entryBits == 32) {
            colours[i] = uint32_t(e[3]) << 24 | uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
            e += 4;
        } else {
            // Widening five bits is the format's own rule, checked by its tests.
            uint8_t r, g, b, a;
            Format(ARGB1555).unpack(e, &r, &g, &b, &a, RGB_MODEL);
            colours[i] = uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
            e += 2;
        }
    }
    return colours;
}

// What one load gave: the steps' results, the picture read back top row first through the
// destination's pitch, and the palette.
struct Loaded {
    bool opened = false;
    bool info = false;
    bool read = false;
    int width = -1, height = -1, hasPalette = -1;
    Format format;
    Bytes picture;
    std::vector<uint32_t> colours;
};

constexpr uint8_t UNTOUCHED = 0xA5;
constexpr uint32_t PREVIOUS_COLOUR = 0x12345678;

// Reads into a destination of the given orientation; a bottom-up destination is addressed from
// its last row upwards with a negative pitch, the way a surface hands it out. The destination
// is sized from the picture the test meant to write, not from what info said, so a read that
// should have been refused but was not would run off its guard page.
Loaded load(const std::string& path, int orientation, int64_t destinationBytes, int32_t pitch) {
    Loaded out;
    out.colours.assign(256, PREVIOUS_COLOUR);
    Image image;
    out.opened = image.open(path.c_str(), 1);
    out.info = image.info(out.width, out.height, out.format, out.hasPalette);
    GuardedBuffer buffer(size_t(destinationBytes > 0 ? destinationBytes : 1));
    if (!buffer.ok()) return out;
    std::memset(buffer.begin(), UNTOUCHED, size_t(buffer.end() - buffer.begin()));
    const int rows = out.info ? out.height : 1;
    uint8_t* top = orientation == BOTTOM_UP && pitch < 0
                       ? buffer.begin() + int64_t(-pitch) * (rows - 1)
                       : buffer.begin();
    out.read = image.read(top, orientation, pitch, out.colours.data());
    if (out.info) {
        const size_t row = size_t(out.width) * size_t(out.format.bytes);
        for (int y = 0; y < out.height; ++y) {
            const uint8_t* r = top + int64_t(y) * pitch;
            out.picture.insert(out.picture.end(), r, r + row);
        }
    } else {
        out.picture.assign(buffer.begin(), buffer.end());
    }
    return out;
}

Loaded loadPacked(const std::string& path, const tga::File& f, int orientation) {
    const int32_t row = int32_t(f.width) * (f.depth >= 8 ? f.depth / 8 : 1);
    const int32_t pitch = row > 0 ? row : 1;
    const int64_t bytes = int64_t(pitch) * (f.height > 0 ? f.height : 1);
    return load(path, orientation, bytes < (1 << 20) ? bytes : 4096,
                orientation == BOTTOM_UP ? -pitch : pitch);
}

class TgaTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    std::string write(const std::string& name, const Bytes& bytes) {
        std::string path = dir.file(name);
        EXPECT_TRUE(tga::writeFile(path, bytes));
        return path;
    }
    tga::TempDir dir;
};

// ---------------------------------------------------------------------------------------------
// Every malformed or unusual file: what it gives and why.

struct FileCase {
    const char* reason;
    std::function<Bytes()> bytes;
    bool loads;
    std::function<tga::File()> meant; // for files that load: the picture they describe
};

tga::File withHeader(std::function<void(tga::File&)> change, int depth = 24) {
    tga::File f = tga::picture(depth, 3, 2, 0x20);
    change(f);
    return f;
}

Bytes cut(Bytes b, size_t size) {
    b.resize(size);
    return b;
}

const FileCase FILE_CASES[] = {
    {"an empty file has no header", [] { return Bytes{}; }, false, nullptr},
    {"17 bytes: the header is cut short, never left undefined",
     [] { return cut(tga::picture(24, 1, 1, 0).bytes(), 17); }, false, nullptr},
    {"a header alone, its one pixel missing", [] { return tga::picture(24, 1, 1, 0).header(); },
     false, nullptr},
    {"an ID length running past the end of the file",
     [] {
         tga::File f = tga::picture(24, 1, 1, 0);
         f.idLength = 200;
         f.id.assign(10, 'i');
         return f.bytes();
     },
     false, nullptr},
    {"a colour map of 257 entries", [] { return tga::picture(8, 2, 2, 0, 257, 24).bytes(); }, false,
     nullptr},
    {"a colour map of exactly 256 entries still loads",
     [] { return tga::picture(8, 4, 3, 0, 256, 24).bytes(); }, true,
     [] { return tga::picture(8, 4, 3, 0, 256, 24); }},
    {"a 256-entry map of 32-bit entries loads, alpha kept",
     [] { return tga::picture(8, 4, 3, 0x20, 256, 32).bytes(); }, true,
     [] { return tga::picture(8, 4, 3, 0x20, 256, 32); }},
    {"a 15-bit colour map entry size", [] { return tga::picture(8, 2, 2, 0, 16, 15).bytes(); },
     false, nullptr},
    {"an 8-bit colour map entry size", [] { return tga::picture(8, 2, 2, 0, 16, 8).bytes(); },
     false, nullptr},
    {"a 0-bit colour map entry size with 16 entries",
     [] { return tga::picture(8, 2, 2, 0, 16, 0).bytes(); }, false, nullptr},
    {"a colour map cut short by the end of the file",
     [] { return cut(tga::picture(8, 1, 1, 0, 256, 32).bytes(), 18 + 600); }, false, nullptr},
    {"a colour map of length 0 with map type 1: loads, palette untouched",
     [] { return tga::picture(8, 3, 2, 0, 0, 24).bytes(); }, true,
     [] { return tga::picture(8, 3, 2, 0, 0, 24); }},
    {"a first-entry index is ignored, never an offset",
     [] {
         tga::File f = tga::picture(8, 3, 2, 0, 16, 24);
         f.firstEntry = 0xFFF0;
         return f.bytes();
     },
     true,
     [] {
         tga::File f = tga::picture(8, 3, 2, 0, 16, 24);
         f.firstEntry = 0xFFF0;
         return f;
     }},
    {"image type 0 (no image)",
     [] { return withHeader([](tga::File& f) { f.imageType = 0; }).bytes(); }, false, nullptr},
    {"image type 3 (grey)",
     [] { return withHeader([](tga::File& f) { f.imageType = 3; }).bytes(); }, false, nullptr},
    {"image type 9 (run-length colour-mapped)",
     [] { return withHeader([](tga::File& f) { f.imageType = 9; }, 8).bytes(); }, false, nullptr},
    {"image type 10 (run-length true colour)",
     [] { return withHeader([](tga::File& f) { f.imageType = 10; }).bytes(); }, false, nullptr},
    {"image type 11 (run-length grey)",
     [] { return withHeader([](tga::File& f) { f.imageType = 11; }).bytes(); }, false, nullptr},
    {"image type 0x82, read unsigned",
     [] { return withHeader([](tga::File& f) { f.imageType = 0x82; }).bytes(); }, false, nullptr},
    {"pixel depth 0", [] { return withHeader([](tga::File& f) { f.depth = 0; }).bytes(); }, false,
     nullptr},
    {"pixel depth 15", [] { return withHeader([](tga::File& f) { f.depth = 15; }).bytes(); }, false,
     nullptr},
    {"pixel depth 1", [] { return withHeader([](tga::File& f) { f.depth = 1; }).bytes(); }, false,
     nullptr},
    {"pixel depth 0x98 (24 plus the top bit)",
     [] { return withHeader([](tga::File& f) { f.depth = 0x98; }).bytes(); }, false, nullptr},
    {"width 0", [] { return withHeader([](tga::File& f) { f.width = 0; }).bytes(); }, false,
     nullptr},
    {"height 0", [] { return withHeader([](tga::File& f) { f.height = 0; }).bytes(); }, false,
     nullptr},
    {"65535 x 65535 at 32 bits (17 GB) in a tiny file: refused before any allocation",
     [] {
         tga::File f = tga::picture(32, 1, 1, 0);
         f.width = f.height = 0xFFFF;
         return f.bytes();
     },
     false, nullptr},
    {"a 19-byte file claiming 65535 x 65535 at 8 bits with a full colour map",
     [] {
         tga::File f = tga::picture(8, 1, 1, 0, 256, 32);
         f.width = f.height = 0xFFFF;
         f.map.clear();
         f.pixels.assign(1, 0);
         return f.bytes();
     },
     false, nullptr},
    {"pixel rows one byte short",
     [] {
         Bytes b = tga::picture(24, 3, 2, 0).bytes();
         b.pop_back();
         return b;
     },
     false, nullptr},
    {"pixel rows one byte short behind a 5-byte ID",
     [] {
         tga::File f = tga::picture(16, 3, 2, 0);
         f.idLength = 5;
         f.id.assign(5, 'i');
         f.pixels.pop_back();
         return f.bytes();
     },
     false, nullptr},
    {"a true-colour file that carries a colour map",
     [] {
         tga::File f = tga::picture(24, 3, 2, 0);
         f.colourMapType = 1;
         f.mapLength = 2;
         f.entryBits = 24;
         f.map.assign(6, 9);
         return f.bytes();
     },
     false, nullptr},
    {"a colour-mapped file with 16-bit pixels",
     [] {
         return withHeader(
                    [](tga::File& f) {
                        f.imageType = 1;
                        f.colourMapType = 1;
                    },
                    16)
             .bytes();
     },
     false, nullptr},
    {"a colour-mapped file with 24-bit pixels",
     [] {
         return withHeader(
                    [](tga::File& f) {
                        f.imageType = 1;
                        f.colourMapType = 1;
                    },
                    24)
             .bytes();
     },
     false, nullptr},
    {"descriptor bits other than bit 5 change nothing",
     [] { return tga::picture(32, 3, 2, 0x20 | 0x0F | 0x10 | 0xC0).bytes(); }, true,
     [] { return tga::picture(32, 3, 2, 0x20 | 0x0F | 0x10 | 0xC0); }},
    {"bytes after the rows (a TGA 2.0 footer) are ignored",
     [] {
         tga::File f = tga::picture(24, 3, 2, 0);
         const char footer[] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";
         f.trailer.assign(footer, footer + sizeof footer);
         return f.bytes();
     },
     true, [] { return tga::picture(24, 3, 2, 0); }},
    {"header bytes of 0x80 and above read unsigned (ID 0x90, width 0xC8, map type 0xFF)",
     [] {
         tga::File f = tga::picture(8, 0xC8, 2, 0, 16, 16);
         f.idLength = 0x90;
         f.id.assign(0x90, 0xEE);
         f.colourMapType = 0xFF;
         return f.bytes();
     },
     true,
     [] {
         tga::File f = tga::picture(8, 0xC8, 2, 0, 16, 16);
         f.colourMapType = 0xFF;
         return f;
     }},
    {"a width of 0x8001 is not negative: refused for its missing rows, not misread",
     [] {
         tga::File f = tga::picture(16, 1, 1, 0);
         f.width = 0x8001;
         return f.bytes();
     },
     false, nullptr},
    {"an 8-bit type 1 file with no colour map loads indices alone",
     [] {
         tga::File f = tga::picture(8, 3, 2, 0, 0, 0);
         f.colourMapType = 0;
         return f.bytes();
     },
     true,
     [] {
         tga::File f = tga::picture(8, 3, 2, 0, 0, 0);
         f.colourMapType = 0;
         return f;
     }},
};

TEST_F(TgaTest, EveryFileCaseGivesItsResultInBothOrientations) {
    int n = 0;
    for (const FileCase& c : FILE_CASES) {
        const Bytes bytes = c.bytes();
        const std::string path = write("case" + std::to_string(n++) + ".tga", bytes);
        for (int orientation : {TOP_DOWN, BOTTOM_UP}) {
            SCOPED_TRACE(std::string(c.reason) +
                         (orientation == TOP_DOWN ? " (top-down)" : " (bottom-up)"));
            // Sized by the bytes actually present, so reading what is not there would overrun.
            tga::File meant = c.meant ? c.meant() : tga::picture(24, 1, 1, 0);
            Loaded got = loadPacked(path, meant, orientation);
            EXPECT_TRUE(got.opened);
            EXPECT_EQ(got.info, c.loads);
            EXPECT_EQ(got.read, c.loads);
            if (c.loads) {
                EXPECT_EQ(got.width, meant.width);
                EXPECT_EQ(got.height, meant.height);
                EXPECT_EQ(got.hasPalette, meant.colourMapType);
                EXPECT_TRUE(got.picture == expectedPicture(meant));
                EXPECT_TRUE(got.colours == expectedColours(meant, PREVIOUS_COLOUR));
            } else {
                for (uint8_t b : got.picture) ASSERT_EQ(b, UNTOUCHED);
                for (uint32_t colour : got.colours) ASSERT_EQ(colour, PREVIOUS_COLOUR);
            }
        }
    }
}

TEST_F(TgaTest, FailedInfoStillReportsTheHeader) {
    // A run-length file fails, yet its size and format are what the header said.
    tga::File f = tga::picture(24, 7, 5, 0);
    f.imageType = 10;
    const std::string path = write("rle.tga", f.bytes());
    Image image(path.c_str(), 1);
    ASSERT_TRUE(image.ok());
    int w = 0, h = 0, palette = -1;
    Format format;
    EXPECT_FALSE(image.info(w, h, format, palette));
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 5);
    EXPECT_EQ(format.id, RGB888);
    EXPECT_EQ(palette, 0);
    uint8_t pixels[7 * 5 * 3];
    EXPECT_FALSE(image.read(pixels, TOP_DOWN, 21, nullptr));
}

TEST_F(TgaTest, DirectoriesAndMissingPathsNeverLoad) {
    const std::string missing = dir.file("missing.tga");
    const std::string folder = dir.path().string();
    for (const std::string& path : {missing, folder, std::string()}) {
        SCOPED_TRACE(path);
        Image image;
        bool opened = image.open(path.c_str(), 1);
        int w = -1, h = -1, palette = -1;
        Format format;
        // A folder opens for reading on some systems; its header can never be read.
        EXPECT_FALSE(image.info(w, h, format, palette));
        uint32_t colours[256] = {};
        uint8_t pixel[4] = {};
        EXPECT_FALSE(image.read(pixel, TOP_DOWN, 4, colours));
        EXPECT_EQ(image.ok(), opened);
        if (path != folder) {
            EXPECT_FALSE(opened);
        }
    }
    Image image;
    EXPECT_FALSE(image.ok());
    int w = 0, h = 0, palette = 0;
    Format format;
    EXPECT_FALSE(image.info(w, h, format, palette));
    EXPECT_FALSE(image.read(nullptr, TOP_DOWN, 0, nullptr));
}

// ---------------------------------------------------------------------------------------------
// The picture itself.

TEST_F(TgaTest, TwoByTwoRowOrderFollowsBitFive) {
    for (uint8_t descriptor : {uint8_t(0), uint8_t(0x20)}) {
        tga::File f = tga::picture(24, 2, 2, descriptor);
        f.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        const std::string path = write("two.tga", f.bytes());
        for (int orientation : {TOP_DOWN, BOTTOM_UP}) {
            Loaded got = loadPacked(path, f, orientation);
            ASSERT_TRUE(got.read);
            ASSERT_EQ(got.format.id, RGB888);
            // The file's first three bytes land bottom-left, or top-left with bit 5.
            const Bytes firstRowFirst = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
            const Bytes lastRowFirst = {7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6};
            EXPECT_EQ(got.picture, descriptor ? firstRowFirst : lastRowFirst)
                << "descriptor " << int(descriptor) << " orientation " << orientation;
        }
    }
}

TEST_F(TgaTest, EveryDepthOrderAndOrientationMatchesTheReference) {
    for (int depth : {8, 16, 24, 32})
        for (uint8_t descriptor : {uint8_t(0), uint8_t(0x20)})
            for (int width = 1; width <= 5; ++width)
                for (int height = 1; height <= 3; ++height) {
                    tga::File f = tga::picture(depth, width, height, descriptor, 16, 24,
                                               uint32_t(depth * 100 + width * 10 + height));
                    const std::string path = write("grid.tga", f.bytes());
                    for (int orientation : {TOP_DOWN, BOTTOM_UP}) {
                        Loaded got = loadPacked(path, f, orientation);
                        ASSERT_TRUE(got.read) << depth << " " << width << "x" << height;
                        ASSERT_EQ(got.picture, expectedPicture(f))
                            << depth << " bits " << width << "x" << height << " descriptor "
                            << int(descriptor) << " orientation " << orientation;
                    }
                }
}

TEST_F(TgaTest, DepthsGiveTheirFormatsAndPixelsAreUnchanged) {
    const struct {
        int depth;
        int32_t format;
    } depths[] = {{8, INDEX8}, {16, ARGB1555}, {24, RGB888}, {32, ARGB8888}};
    for (auto d : depths) {
        tga::File f = tga::picture(d.depth, 4, 3, 0x20);
        const std::string path = write("depth.tga", f.bytes());
        Loaded got = loadPacked(path, f, TOP_DOWN);
        ASSERT_TRUE(got.info) << d.depth;
        EXPECT_EQ(got.format, Format(d.format)) << d.depth;
        EXPECT_EQ(got.picture, f.pixels) << d.depth;
    }
}

TEST_F(TgaTest, ColourMapOf16TwentyFourBitEntries) {
    tga::File f = tga::picture(8, 4, 4, 0, 16, 24);
    const std::string path = write("map24.tga", f.bytes());
    Image image(path.c_str(), 1);
    uint32_t colours[256];
    for (uint32_t& c : colours) c = 0;
    ASSERT_TRUE(image.read(nullptr, TOP_DOWN, 0, colours));
    for (int i = 0; i < 16; ++i) {
        const uint8_t* e = &f.map[size_t(i) * 3];
        EXPECT_EQ(colours[i], uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0]) << i;
    }
    for (int i = 16; i < 256; ++i) EXPECT_EQ(colours[i], 0u) << i;
}

TEST_F(TgaTest, SixteenBitMapEntries) {
    tga::File f = tga::picture(8, 1, 1, 0, 4, 16);
    f.map = {0xFF, 0x7F, 0xFF, 0xFF, 0x00, 0x00, 0x1F, 0x80};
    const std::string path = write("map16.tga", f.bytes());
    Image image(path.c_str(), 1);
    uint32_t colours[256] = {};
    ASSERT_TRUE(image.read(nullptr, TOP_DOWN, 0, colours));
    EXPECT_EQ(colours[0], 0x00F0F0F0u) << "white with its alpha bit clear";
    EXPECT_EQ(colours[1] & 0x00FFFFFF, 0x00F0F0F0u);
    // The format's widening, v * (2^w - 1) / 255, leaves a 1-bit alpha at 0.
    EXPECT_EQ(colours[1] >> 24, 0u) << "alpha bit set";
    EXPECT_EQ(colours[2], 0u);
    EXPECT_EQ(colours[3] & 0x00FFFFFF, 0x000000F0u) << "pure blue";
    // The same rule as the format's own unpack.
    for (int i = 0; i < 4; ++i) {
        uint8_t r, g, b, a;
        ASSERT_TRUE(Format(ARGB1555).unpack(&f.map[size_t(i) * 2], &r, &g, &b, &a, RGB_MODEL));
        EXPECT_EQ(colours[i], uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b) << i;
    }
}

TEST_F(TgaTest, FiveByteIdPutsThePixelsAtOffset23) {
    tga::File f = tga::picture(32, 1, 1, 0);
    f.idLength = 5;
    f.id = {0xDE, 0xAD, 0xBE, 0xEF, 0x99};
    f.pixels = {0x10, 0x20, 0x30, 0x40};
    const Bytes bytes = f.bytes();
    ASSERT_EQ(bytes.size(), 27u);
    ASSERT_EQ(bytes[23], 0x10);
    const std::string path = write("id.tga", bytes);
    Loaded got = loadPacked(path, f, TOP_DOWN);
    ASSERT_TRUE(got.read);
    EXPECT_EQ(got.picture, f.pixels);
}

TEST_F(TgaTest, ReadCanBeRepeatedAndPartsSkipped) {
    tga::File f = tga::picture(8, 5, 3, 0, 32, 32);
    const std::string path = write("again.tga", f.bytes());
    Image image(path.c_str(), 1);
    Bytes pixels(15, 0);
    uint32_t colours[256] = {};
    ASSERT_TRUE(image.read(pixels.data(), TOP_DOWN, 5, nullptr));
    EXPECT_EQ(pixels, expectedPicture(f));
    EXPECT_EQ(colours[0], 0u);
    std::fill(pixels.begin(), pixels.end(), 0);
    ASSERT_TRUE(image.read(pixels.data(), TOP_DOWN, 5, colours));
    EXPECT_EQ(pixels, expectedPicture(f));
    EXPECT_TRUE(std::vector<uint32_t>(colours, colours + 256) == expectedColours(f, 0));
    ASSERT_TRUE(image.read(nullptr, TOP_DOWN, 0, nullptr));
}

TEST_F(TgaTest, BadDestinationsAreRefusedBeforeAnythingIsWritten) {
    tga::File f = tga::picture(8, 4, 3, 0, 16, 24);
    const std::string path = write("dest.tga", f.bytes());
    const struct {
        const char* reason;
        int orientation;
        int32_t pitch;
    } cases[] = {
        {"orientation 0", 0, 4},     {"orientation 22", 22, 4},
        {"orientation -1", -1, 4},   {"rows closer than a row", TOP_DOWN, 3},
        {"zero pitch", TOP_DOWN, 0}, {"negative pitch closer than a row", BOTTOM_UP, -3},
    };
    for (auto c : cases) {
        Image image(path.c_str(), 1);
        Bytes pixels(64, UNTOUCHED);
        uint32_t colours[256];
        for (uint32_t& colour : colours) colour = PREVIOUS_COLOUR;
        EXPECT_FALSE(image.read(pixels.data() + 24, c.orientation, c.pitch, colours)) << c.reason;
        for (uint8_t b : pixels) ASSERT_EQ(b, UNTOUCHED) << c.reason;
        for (uint32_t colour : colours) ASSERT_EQ(colour, PREVIOUS_COLOUR) << c.reason;
    }
    // Wider rows than the picture's are fine.
    Image image(path.c_str(), 1);
    Bytes pixels(3 * 9, 0);
    ASSERT_TRUE(image.read(pixels.data(), TOP_DOWN, 9, nullptr));
    Bytes expected = expectedPicture(f);
    for (int y = 0; y < 3; ++y)
        EXPECT_TRUE(std::equal(expected.begin() + 4 * y, expected.begin() + 4 * y + 4,
                               pixels.begin() + 9 * y));
}

TEST_F(TgaTest, ReopeningReplacesTheLoader) {
    const std::string first = write("first.tga", tga::picture(24, 2, 1, 0).bytes());
    const std::string second = write("second.tga", tga::picture(32, 3, 4, 0).bytes());
    Image image(first.c_str(), 1);
    ASSERT_TRUE(image.ok());
    ASSERT_TRUE(image.open(second.c_str(), 1));
    int w = 0, h = 0, palette = 0;
    Format format;
    ASSERT_TRUE(image.info(w, h, format, palette));
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 4);
    EXPECT_FALSE(image.open(dir.file("absent.tga").c_str(), 1));
    EXPECT_FALSE(image.ok());
    EXPECT_FALSE(image.info(w, h, format, palette));
    image.close();
    image.close();
}

TEST_F(TgaTest, EveryAllocationFailureIsACleanFailure) {
    const tga::File f = tga::picture(8, 3, 2, 0, 16, 16);
    const std::string path = write("oom.tga", f.bytes());
    bool succeeded = false;
    for (int failAt = 1; failAt < 100 && !succeeded; ++failAt) {
        bool opened = false, info = false, read = false;
        Bytes pixels(6, UNTOUCHED);
        uint32_t colours[256] = {};
        NewHook::calls = NewHook::live = 0;
        NewHook::failAt = failAt;
        NewHook::failed = false;
        NewHook::armed = true;
        {
            Image image;
            opened = image.open(path.c_str(), 1);
            int w, h, palette;
            Format format;
            info = opened && image.info(w, h, format, palette);
            read = info && image.read(pixels.data(), TOP_DOWN, 3, colours);
        }
        NewHook::armed = false;
        EXPECT_EQ(NewHook::live, 0) << "leak with allocation " << failAt << " failing";
        // Either a refusal that wrote nothing, or the full, correct picture: a table that
        // could not be built may leave a slower path that still converts.
        if (read) {
            EXPECT_EQ(pixels, expectedPicture(f)) << "allocation " << failAt;
            EXPECT_TRUE(std::vector<uint32_t>(colours, colours + 256) == expectedColours(f, 0))
                << "allocation " << failAt;
        } else {
            EXPECT_TRUE(NewHook::failed) << "allocation " << failAt;
        }
        if (!opened) {
            for (uint8_t b : pixels) ASSERT_EQ(b, UNTOUCHED);
        }
        succeeded = read && !NewHook::failed;
    }
    EXPECT_TRUE(succeeded);
}

} // namespace
