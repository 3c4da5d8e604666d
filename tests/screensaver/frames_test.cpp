#include "backends/Software.h"
#include "display/Surface.h"
#include "front/PTC.h"
#include "screensaver/PictureFrames.h"
#include "screensaver/Rays.h"
#include "screensaver/Screensaver.h"

#include "support/GuardedBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A display with no window: software surfaces, a display surface that update copies into, and
// a key that arrives after a set number of key tests.
struct DisplayConfig {
    int32_t width = 320, height = 200, output = FULLSCREEN_OUTPUT;
    int keyAfter = 1 << 30;
    std::function<void()> beforeKeyTest;
};
DisplayConfig* config;

struct TestDisplay : ISoftware {
    int32_t openWidth = 0, openHeight = 0;
    std::unique_ptr<Surface> shown;
    int keyTests = 0;

    int open(int32_t w, int32_t h, int32_t, int32_t output, int32_t, int32_t) override {
        if (w != config->width || h != config->height || output != config->output) return 0;
        shown = std::make_unique<Surface>(this, w, h, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
        if (!shown->ok()) return 0;
        openWidth = w;
        openHeight = h;
        return 1;
    }
    Surface* displaySurface() override { return shown.get(); }
    int width() override { return openWidth; }
    int height() override { return openHeight; }
    Format format() override { return Format(ARGB8888); }
    int keyPressed() override {
        if (config->beforeKeyTest) config->beforeKeyTest();
        return ++keyTests > config->keyAfter ? 1 : 0;
    }
    void name(char* buffer) override { std::strcpy(buffer, "Test"); }
};

Interface* testFactory(int index, WindowHandle&) {
    return index == 0 ? new TestDisplay : nullptr;
}

// Writes a 32-bit uncompressed true-colour TGA whose pixel (x, y) is pixel(x, y).
template <typename Pixel>
void writeTga(const fs::path& path, int width, int height, bool topFirst, Pixel pixel) {
    std::vector<uint8_t> data(18, 0);
    data[2] = 2;
    data[12] = uint8_t(width), data[13] = uint8_t(width >> 8);
    data[14] = uint8_t(height), data[15] = uint8_t(height >> 8);
    data[16] = 32;
    data[17] = topFirst ? 0x28 : 0x08;
    for (int f = 0; f < height; ++f)
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixel(x, topFirst ? f : height - 1 - f);
            for (int b = 0; b < 4; ++b) data.push_back(uint8_t(p >> (8 * b)));
        }
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
    std::fclose(file);
}

// The two test pictures: a small one and one larger than the 320x200 area.
constexpr int smallWidth = 48, smallHeight = 40;
constexpr int largeWidth = 400, largeHeight = 240;
uint32_t smallPixel(int x, int y) {
    return 0x80000000u | uint32_t(x * 5 + 1) << 16 | uint32_t(y * 6 + 1) << 8 | uint32_t(x + y);
}
uint32_t largePixel(int x, int y) {
    return 0x40000000u | uint32_t(y & 0xFF) << 16 | uint32_t(x & 0xFF) << 8 | 0x33u;
}

void writePicture(const fs::path& directory, int index) {
    if (index == 0)
        writeTga(directory / "kelmor1.tga", smallWidth, smallHeight, false, smallPixel);
    else
        writeTga(directory / "kelmor2.tga", largeWidth, largeHeight, true, largePixel);
}

// GetWindowsDirectoryA's answers for a given text: the length written, the size needed when
// the buffer is too small, 0 for failure (an empty text).
uint32_t answerDirectory(const std::string& text, char* buffer, uint32_t size) {
    if (text.empty()) return 0;
    if (size <= text.size()) return uint32_t(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return uint32_t(text.size());
}

struct FramesTest : ::testing::Test {
    DisplayConfig display;
    PTC::Factory previous = nullptr;
    fs::path root;
    std::string windowsDir, systemDir, packageDir;
    int windowsQueries = 0, systemQueries = 0, packageQueries = 0;
    int failWindowsQuery = 0; // the query with this number (from 1) answers 0
    uint32_t now = 100000;
    std::vector<std::string> messages;

    void SetUp() override {
        config = &display;
        previous = PTC::setFactory(testFactory);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() / ("frames_test_" + std::string(test->name()));
        fs::remove_all(root);
        fs::create_directories(root / "windows");
        fs::create_directories(root / "system");
        fs::create_directories(root / "package");
        windowsDir = (root / "windows").string();
        systemDir = (root / "system").string();
        packageDir = (root / "package").string();
    }
    void TearDown() override {
        PTC::setFactory(previous);
        config = nullptr;
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    FrameServices services() {
        FrameServices s;
        s.milliseconds = [this] { return now; };
        s.windowsDirectory = [this](char* buffer, uint32_t size) {
            if (++windowsQueries == failWindowsQuery) return uint32_t(0);
            return answerDirectory(windowsDir, buffer, size);
        };
        s.systemDirectory = [this](char* buffer, uint32_t size) {
            ++systemQueries;
            return answerDirectory(systemDir, buffer, size);
        };
        s.packageDirectory = [this](char* buffer, uint32_t size) {
            ++packageQueries;
            return answerDirectory(packageDir, buffer, size);
        };
        // As PTC::error does, minus the box: the display is closed first.
        s.report = [this](PTC& d, const char* message) {
            messages.push_back(message);
            d.close();
        };
        return s;
    }

    bool open(PTC& ptc, int32_t width, int32_t height) {
        display.width = width;
        display.height = height;
        ptc.init(width, height, FUZZY32, FULLSCREEN_OUTPUT, -1, -1);
        return ptc.backEnd()->ok() && ptc.backEnd()->width() == width;
    }
};

using Messages = std::vector<std::string>;

// --- Loading -------------------------------------------------------------------------------

TEST_F(FramesTest, PicturesFromTheWindowsDirectory) {
    writePicture(root / "windows", 0);
    writePicture(root / "windows", 1);
    PTC ptc;
    ASSERT_TRUE(open(ptc, 320, 200));
    PictureFrames frames(services());
    ASSERT_TRUE(frames.setup(ptc, 320, 200, false));
    EXPECT_EQ(messages, Messages{});
    EXPECT_EQ(windowsQueries, 2);
    EXPECT_EQ(systemQueries, 0) << "the System directory is asked only after a miss";
    ASSERT_NE(frames.picture(0), nullptr);
    EXPECT_EQ(frames.picture(0)->width(), smallWidth);
    EXPECT_EQ(frames.picture(1)->width(), largeWidth);
    EXPECT_EQ(frames.picture(1)->format(), Format(ARGB8888));
    EXPECT_EQ(frames.canvasSurface(), frames.screenSurface()) << "no doubling at 320x200";
}

TEST_F(FramesTest, PicturesFromTheSystemDirectoryWhenTheWindowsOneLacksOrSpoilsThem) {
    // The first is missing from the Windows directory, the second is cut short there.
    writePicture(root / "system", 0);
    writePicture(root / "system", 1);
    writePicture(root / "windows", 1);
    fs::resize_file(root / "windows" / "kelmor2.tga", 18 + 4 * largeWidth * 3);
    PTC ptc;
    ASSERT_TRUE(open(ptc, 320, 200));
    PictureFrames frames(services());
    ASSERT_TRUE(frames.setup(ptc, 320, 200, false));
    EXPECT_EQ(messages, Messages{});
    EXPECT_EQ(windowsQueries, 2);
    EXPECT_EQ(systemQueries, 2);
    EXPECT_EQ(frames.picture(0)->height(), smallHeight);
    EXPECT_EQ(frames.picture(1)->height(), largeHeight);
}

TEST_F(FramesTest, LoadFailuresReportInOrderAndReleaseThePictures) {
    struct Case {
        const char* why;
        bool first[2], second[2]; // present in the windows, system directory
        int failWindowsQuery;
        bool systemQueryFails;
        Messages expected;
        int windowsQueries, systemQueries;
    };
    const Case cases[] = {
        {"first in neither directory: the second is never looked for",
         {false, false},
         {true, true},
         0,
         false,
         {"could not process or load kelmor1.tga"},
         1,
         1},
        {"second in neither directory",
         {true, false},
         {false, false},
         0,
         false,
         {"could not process or load kelmor2.tga"},
         2,
         1},
        {"the Windows directory unknown for the first",
         {true, true},
         {true, true},
         1,
         false,
         {"could not retrieve windows directory"},
         1,
         0},
        {"the Windows directory unknown for the second",
         {true, true},
         {true, true},
         2,
         false,
         {"could not retrieve windows directory"},
         2,
         0},
        {"the System directory unknown after a miss",
         {false, true},
         {true, true},
         0,
         true,
         {"could not retrieve system directory"},
         1,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        for (const char* dir : {"windows", "system"})
            for (const char* name : {"kelmor1.tga", "kelmor2.tga"}) fs::remove(root / dir / name);
        if (c.first[0]) writePicture(root / "windows", 0);
        if (c.first[1]) writePicture(root / "system", 0);
        if (c.second[0]) writePicture(root / "windows", 1);
        if (c.second[1]) writePicture(root / "system", 1);
        messages.clear();
        windowsQueries = systemQueries = 0;
        failWindowsQuery = c.failWindowsQuery;
        systemDir = c.systemQueryFails ? "" : (root / "system").string();

        PTC ptc;
        ASSERT_TRUE(open(ptc, 320, 200));
        PictureFrames frames(services());
        EXPECT_FALSE(frames.setup(ptc, 320, 200, false));
        EXPECT_EQ(messages, c.expected);
        EXPECT_EQ(windowsQueries, c.windowsQueries);
        EXPECT_EQ(systemQueries, c.systemQueries);
        EXPECT_EQ(frames.picture(0), nullptr) << "pictures made so far are destroyed";
        EXPECT_EQ(frames.picture(1), nullptr);
        EXPECT_EQ(ptc.backEnd()->ok(), 0) << "the display was closed before the message";
    }
}

TEST_F(FramesTest, SurfaceFailuresAreReported) {
    writePicture(root / "windows", 0);
    writePicture(root / "windows", 1);
    {
        PTC closed; // no back end: no surface can be made for it
        PictureFrames frames(services());
        EXPECT_FALSE(frames.setup(closed, 320, 200, false));
        EXPECT_EQ(messages, Messages{"could not create surface"});
    }
    messages.clear();
    {
        // Smaller than the area the frame is drawn in: it would be drawn past the surfaces.
        PTC ptc;
        ASSERT_TRUE(open(ptc, 320, 100));
        PictureFrames frames(services());
        EXPECT_FALSE(frames.setup(ptc, 320, 100, false));
        EXPECT_EQ(messages, Messages{"could not create surface"});
    }
    messages.clear();
    {
        PTC ptc;
        ASSERT_TRUE(open(ptc, 320, 200));
        PictureFrames frames(services());
        EXPECT_FALSE(frames.setup(ptc, 320, 200, true)) << "doubling needs a 640x400 display";
        EXPECT_EQ(messages, Messages{"could not create surface"});
    }
    messages.clear();
    {
        // A display lost after set-up leaves the canvas without pixels.
        PTC ptc;
        ASSERT_TRUE(open(ptc, 320, 200));
        PictureFrames frames(services());
        ASSERT_TRUE(frames.setup(ptc, 320, 200, false));
        ptc.close();
        EXPECT_FALSE(frames.frame(ptc, false, 0));
        EXPECT_EQ(messages, Messages{"could not lock surface"});
        EXPECT_EQ(frames.picture(0), nullptr);
    }
}

TEST(PicturePath, BuildsWithinTheBufferAndRejectsWhatDoesNotFit) {
    // The buffer ends at a guard page, so any write past 260 characters faults.
    GuardedBuffer guarded(picturePathSize);
    ASSERT_TRUE(guarded.ok());
    char(&path)[picturePathSize] =
        *reinterpret_cast<char(*)[picturePathSize]>(guarded.end() - picturePathSize);
    const std::string name = "kelmor1.tga";
    const char separator = platform::directorySeparator;
    for (size_t length : {1, 100, 246, 247, 248, 254, 255, 258, 259, 260, 300}) {
        SCOPED_TRACE(length);
        const std::string directory(length, 'd');
        const PathResult result = picturePath(
            [&](char* buffer, uint32_t size) { return answerDirectory(directory, buffer, size); },
            name.c_str(), path);
        // Directory, separator, 11 characters of name and the NUL: at most 247 characters fit.
        if (length <= 247) {
            ASSERT_EQ(result, PathResult::READY);
            EXPECT_EQ(std::string(path), directory + separator + name);
        } else {
            EXPECT_EQ(result, PathResult::TOO_LONG);
        }
    }
    EXPECT_EQ(picturePath([](char*, uint32_t) { return uint32_t(0); }, name.c_str(), path),
              PathResult::QUERY_FAILED);
}

TEST_F(FramesTest, ADirectoryTooLongForTheNameCountsAsAMiss) {
    writePicture(root / "system", 0);
    writePicture(root / "system", 1);
    windowsDir = std::string(255, 'w');
    PTC ptc;
    ASSERT_TRUE(open(ptc, 320, 200));
    PictureFrames frames(services());
    ASSERT_TRUE(frames.setup(ptc, 320, 200, false));
    EXPECT_EQ(messages, Messages{});
    EXPECT_EQ(systemQueries, 2) << "both pictures came from the System directory";

    messages.clear();
    systemDir = std::string(255, 's');
    PictureFrames unlucky(services());
    EXPECT_FALSE(unlucky.setup(ptc, 320, 200, false));
    EXPECT_EQ(messages, Messages{"could not process or load kelmor1.tga"});
}

TEST_F(FramesTest, TheInstalledPackagesFolderIsSearchedLast) {
    struct Case {
        const char* why;
        bool inWindows, inPackage;
        const char* packageFolder; // "" answers 0: the platform has none
        bool loads;
        int packageQueries;
    };
    const std::string package = (root / "package").string();
    const Case cases[] = {
        {"only there: found after both misses", false, true, package.c_str(), true, 2},
        {"found earlier: never asked", true, true, package.c_str(), true, 0},
        {"no such folder on the platform: an ordinary miss", false, true, "", false, 1},
        {"in none: an ordinary miss", false, false, package.c_str(), false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        for (const char* dir : {"windows", "system", "package"})
            for (const char* name : {"kelmor1.tga", "kelmor2.tga"}) fs::remove(root / dir / name);
        for (int index : {0, 1}) {
            if (c.inWindows) writePicture(root / "windows", index);
            if (c.inPackage) writePicture(root / "package", index);
        }
        packageDir = c.packageFolder;
        messages.clear();
        packageQueries = 0;
        PTC ptc;
        ASSERT_TRUE(open(ptc, 320, 200));
        PictureFrames frames(services());
        EXPECT_EQ(frames.setup(ptc, 320, 200, false), c.loads);
        EXPECT_EQ(messages,
                  c.loads ? Messages{} : Messages{"could not process or load kelmor1.tga"});
        EXPECT_EQ(packageQueries, c.packageQueries);
    }
}

// --- Animation -----------------------------------------------------------------------------

// Multiples of 25 in [from, to), counted without walking them.
uint32_t multiplesOf25(uint32_t from, uint32_t to) {
    auto upTo = [](uint64_t end) { return (end + 24) / 25; }; // multiples in [0, end)
    return uint32_t(upTo(to) - upTo(from));
}

TEST(Orbit, AppliesExactlyTheTicksAtMultiplesOf25) {
    Orbit orbit;
    orbit.radius = 300.0f;
    orbit.lastTick = 1000;
    advanceOrbit(orbit, 1100);
    EXPECT_EQ(orbit.radius, 296.0f) << "100 ms: ticks at 1000, 1025, 1050 and 1075";
    EXPECT_EQ(orbit.lastTick, 1100u);

    for (uint32_t from = 0; from < 60; ++from)
        for (uint32_t span = 0; span <= 260; ++span) {
            Orbit o;
            o.radius = 300.0f;
            o.lastTick = from;
            advanceOrbit(o, from + span);
            ASSERT_EQ(o.radius, 300.0f - float(multiplesOf25(from, from + span)))
                << "from " << from << " span " << span;
            ASSERT_EQ(o.lastTick, from + span);
        }

    Orbit early;
    early.radius = 300.0f;
    early.lastTick = 5000;
    advanceOrbit(early, 4000);
    EXPECT_EQ(early.radius, 300.0f) << "a clock that went back applies nothing";
    EXPECT_EQ(early.lastTick, 5000u);
}

TEST(Orbit, RunsOnAcrossTheClockWrap) {
    Orbit orbit;
    orbit.radius = 300.0f;
    orbit.lastTick = 0xFFFFFF00u; // 256 ms before the wrap
    advanceOrbit(orbit, 0x00000100u);
    // 2^32 is 21 modulo 25: the multiples before the wrap are 4294967075 + 25k.
    uint32_t expected = 0;
    for (uint64_t v = 0xFFFFFF00u; v < 0x100000100u; ++v)
        if (uint32_t(v) % 25 == 0) ++expected;
    EXPECT_EQ(orbit.radius, 300.0f - float(expected));
    EXPECT_EQ(orbit.lastTick, 0x100u);
}

TEST(Orbit, DescendsFromTheStartThenCyclesEvery894Ticks) {
    for (int start : {10, 11, 150, 309}) {
        SCOPED_TRACE(start);
        Orbit orbit;
        orbit.radius = float(start);
        orbit.step = -1.0f;
        orbit.pictureChoice = 0;
        orbit.lastTick = 0;
        std::vector<int> switches;
        float lowest = orbit.radius, highest = orbit.radius;
        for (int tick = 1; tick <= 3000; ++tick) {
            const uint8_t before = orbit.pictureChoice;
            advanceOrbit(orbit, uint32_t(tick) * 25);
            lowest = std::min(lowest, orbit.radius);
            highest = std::max(highest, orbit.radius);
            if (orbit.pictureChoice != before) switches.push_back(tick);
        }
        EXPECT_EQ(lowest, 4.0f);
        EXPECT_EQ(highest, 451.0f);
        ASSERT_GE(switches.size(), 3u);
        // Down to 4, then up 447 steps to 451.
        EXPECT_EQ(switches[0], start - 4 + 447);
        EXPECT_EQ(switches[1] - switches[0], 894);
        EXPECT_EQ(switches[2] - switches[1], 894);
    }
}

TEST_F(FramesTest, SetupStartsTheAnimationFromTheClock) {
    writePicture(root / "windows", 0);
    writePicture(root / "windows", 1);
    PTC ptc;
    ASSERT_TRUE(open(ptc, 320, 200));
    bool seen[2] = {false, false};
    for (uint32_t clock = 1; clock <= 40; ++clock) {
        now = clock * 7919;
        PictureFrames frames(services());
        ASSERT_TRUE(frames.setup(ptc, 320, 200, false));
        const Orbit& o = frames.orbit();
        EXPECT_EQ(o.radius, std::floor(o.radius));
        EXPECT_GE(o.radius, 10.0f);
        EXPECT_LE(o.radius, 309.0f);
        EXPECT_EQ(o.step, -1.0f);
        EXPECT_EQ(o.lastTick, now);
        ASSERT_LE(o.pictureChoice, 1);
        seen[o.pictureChoice] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1]) << "either picture may come first";
}

// --- Drawing -------------------------------------------------------------------------------

// A copy of a locked surface's rows, as 32-bit pixels.
std::vector<uint32_t> readPixels(Surface& surface) {
    std::vector<uint32_t> out(size_t(surface.width()) * surface.height());
    const auto* top = static_cast<const uint8_t*>(surface.lock(1));
    EXPECT_NE(top, nullptr);
    if (!top) return out;
    for (int32_t y = 0; y < surface.height(); ++y)
        std::memcpy(&out[size_t(y) * surface.width()], top + ptrdiff_t(y) * surface.pitch(),
                    size_t(surface.width()) * 4);
    surface.unlock();
    return out;
}

// The position written out from the path's definition: an ellipse of half-axes radius and
// 0.625 radius round (160, 100), truncated toward zero, with the picture centred on it.
PicturePosition expectedPosition(double radius, uint32_t t, int width, int height) {
    const double angle = t * 3.141592653589793 * 0.00011428571428571428;
    return {160 + int32_t(std::trunc(radius * std::cos(angle))) - width / 2,
            100 + int32_t(std::trunc(radius * 0.625 * std::sin(angle))) - height / 2};
}

TEST_F(FramesTest, FrameEqualsAnIndependentlyComposedOne) {
    writePicture(root / "windows", 0);
    writePicture(root / "windows", 1);
    PTC ptc;
    ASSERT_TRUE(open(ptc, 320, 200));
    PictureFrames frames(services());
    ASSERT_TRUE(frames.setup(ptc, 320, 200, false));
    Surface* shown = static_cast<TestDisplay*>(ptc.backEnd())->displaySurface();

    struct Case {
        const char* why;
        float radius;
        uint32_t clock;
        uint8_t picture;
    };
    const Case cases[] = {
        {"inside (first frame: no rays yet)", 100.0f, 1000, 0},
        {"off the bottom edge", 200.0f, 2800, 0},
        {"off the top and right edges", 230.0f, 15000, 0},
        {"off the left edge, negative cosine truncated toward zero", 180.0f, 10500, 0},
        {"wholly right of the canvas", 451.0f, 0, 0},
        {"wholly above the canvas", 250.0f, 12000, 0},
        {"larger than the canvas", 30.0f, 3000, 1},
        {"inside again", 100.0f, 1001, 0},
    };
    RayTables reference;
    ASSERT_TRUE(buildRayTable(reference));
    int partly = 0, outside = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        now = c.clock;
        frames.setOrbit({c.radius, -1.0f, c.picture, c.clock}); // nothing to catch up
        ASSERT_TRUE(frames.frame(ptc, false, 0));

        const int w = c.picture ? largeWidth : smallWidth;
        const int h = c.picture ? largeHeight : smallHeight;
        const PicturePosition at = expectedPosition(c.radius, c.clock, w, h);
        const bool inside = at.x >= 0 && at.y >= 0 && at.x + w <= 320 && at.y + h <= 200;
        const bool none = at.x >= 320 || at.y >= 200 || at.x + w <= 0 || at.y + h <= 0;
        partly += !inside && !none;
        outside += none;

        std::vector<uint32_t> expected(320 * 200, 0);
        for (int py = 0; py < h; ++py)
            for (int px = 0; px < w; ++px) {
                const int x = at.x + px, y = at.y + py;
                if (x >= 0 && x < 320 && y >= 0 && y < 200)
                    expected[size_t(y) * 320 + x] =
                        c.picture ? largePixel(px, py) : smallPixel(px, py);
            }
        // Rays from the light map the previous frame left.
        addRays(reference, expected.data(), 320 * 4, rayTick(c.clock));
        regenerateLightMap(reference, rayTick(c.clock));

        const std::vector<uint32_t> canvas = readPixels(*frames.canvasSurface());
        size_t differ = 0, first = 0;
        for (size_t i = 0; i < expected.size(); ++i)
            if (canvas[i] != expected[i] && differ++ == 0) first = i;
        EXPECT_EQ(differ, 0u) << "first at (" << first % 320 << ", " << first / 320 << "): got "
                              << std::hex << canvas[first] << " expected " << expected[first];
        EXPECT_EQ(readPixels(*shown), canvas) << "update shows the frame";
    }
    EXPECT_EQ(partly, 4) << "the table covers the clipping cases it names";
    EXPECT_EQ(outside, 2);
}

TEST_F(FramesTest, FrameCatchesUpAndDrawsTheChosenPicture) {
    writePicture(root / "windows", 0);
    writePicture(root / "windows", 1);
    PTC ptc;
    ASSERT_TRUE(open(ptc, 320, 200));
    PictureFrames frames(services());
    ASSERT_TRUE(frames.setup(ptc, 320, 200, false));
    // At 451 the next tick turns the path down and switches to the second picture.
    frames.setOrbit({450.0f, 1.0f, 0, 2000});
    now = 2100;
    ASSERT_TRUE(frames.frame(ptc, false, 0));
    EXPECT_EQ(frames.orbit().radius, 448.0f) << "451 after the first tick, then three down";
    EXPECT_EQ(frames.orbit().step, -1.0f);
    EXPECT_EQ(frames.orbit().pictureChoice, 1);
    EXPECT_EQ(frames.orbit().lastTick, 2100u);
    // The pictures differ in their alpha bytes, which the rays keep; the second sits at the
    // lower right, partly inside.
    const std::vector<uint32_t> canvas = readPixels(*frames.canvasSurface());
    auto alphaCount = [&](uint32_t alpha) {
        return std::count_if(canvas.begin(), canvas.end(),
                             [&](uint32_t p) { return (p >> 24) == alpha; });
    };
    EXPECT_EQ(alphaCount(0x80), 0);
    EXPECT_GT(alphaCount(0x40), 0);
}

// On doubled displays the frame's area lands from rowOffset on; the rest of the screen is never
// written.
TEST_F(FramesTest, DoubledDisplaysLeaveTheBorderUnwritten) {
    writePicture(root / "windows", 0);
    writePicture(root / "windows", 1);
    struct Case {
        int32_t height;
        uint8_t rowOffset;
    };
    for (const Case c : {Case{480, 40}, Case{400, 0}}) {
        SCOPED_TRACE(c.height);
        PTC ptc;
        ASSERT_TRUE(open(ptc, 640, c.height));
        PictureFrames frames(services());
        ASSERT_TRUE(frames.setup(ptc, 640, c.height, true));
        Surface& screen = *frames.screenSurface();
        ASSERT_NE(frames.canvasSurface(), &screen);
        auto* top = static_cast<uint8_t*>(screen.lock(1));
        ASSERT_NE(top, nullptr);
        for (int32_t y = 0; y < c.height; ++y)
            std::memset(top + ptrdiff_t(y) * screen.pitch(), 0xA5, 640 * 4);
        screen.unlock();

        for (uint32_t t : {5000u, 5100u, 9000u}) {
            now = t;
            ASSERT_TRUE(frames.frame(ptc, true, c.rowOffset));
        }
        const std::vector<uint32_t> shown = readPixels(screen);
        const std::vector<uint32_t> canvas = readPixels(*frames.canvasSurface());
        // What the doubling makes of the canvas, placed at the row offset.
        std::vector<uint32_t> doubled(size_t(640) * (c.height + 1), 0xA5A5A5A5u);
        doubleCanvas(doubled.data() + size_t(c.rowOffset) * 640, canvas.data(), 640 * 4, 0);
        for (int32_t y = 0; y < c.height; ++y) {
            const bool border = y < c.rowOffset || y >= c.rowOffset + 400;
            for (int32_t x = 0; x < 640; ++x) {
                const uint32_t got = shown[size_t(y) * 640 + x];
                if (border || x >= 638)
                    ASSERT_EQ(got, 0xA5A5A5A5u) << "written at (" << x << ", " << y << ")";
                else
                    ASSERT_EQ(got, doubled[size_t(y) * 640 + x]) << "at (" << x << ", " << y << ")";
            }
        }
        EXPECT_EQ(readPixels(*static_cast<TestDisplay*>(ptc.backEnd())->displaySurface()), shown);
        EXPECT_EQ(messages, Messages{});
    }
}

// --- The whole program -----------------------------------------------------------------------

TEST_F(FramesTest, RunsHundredsOfFramesThenEndsOnAKey) {
    writePicture(root / "windows", 0);
    writePicture(root / "windows", 1);
    display.width = 640;
    display.height = 480;
    display.keyAfter = 400;
    PictureFrames frames([this] {
        FrameServices s = services();
        s.milliseconds = [this] { return now += 31; }; // a clock that moves on every reading
        return s;
    }());
    bool shownPicture[2] = {false, false};
    int frameCount = 0;
    display.beforeKeyTest = [&] {
        if (!frames.screenSurface()) return;
        ++frameCount;
        shownPicture[frames.orbit().pictureChoice] = true;
    };
    EXPECT_EQ(runScreensaver(frames), 0);
    EXPECT_EQ(messages, Messages{});
    EXPECT_EQ(frameCount, 401) << "400 frames, then the key test that ends the loop";
    EXPECT_TRUE(shownPicture[0] && shownPicture[1]) << "the pictures took turns";
    EXPECT_EQ(frames.screenSurface(), nullptr) << "torn down";
    EXPECT_EQ(frames.picture(0), nullptr);
    EXPECT_FALSE(frames.rayTables().ok());
}

TEST_F(FramesTest, AFailingSetupEndsTheProgramWithStatusOne) {
    writePicture(root / "windows", 0);
    display.width = 320;
    display.height = 200;
    PictureFrames frames(services());
    EXPECT_EQ(runScreensaver(frames), 1);
    EXPECT_EQ(messages, Messages{"could not process or load kelmor2.tga"});
}

} // namespace
