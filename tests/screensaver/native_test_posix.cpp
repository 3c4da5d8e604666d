// The screensaver natively on a private X server: the program in its window, and drawing into a
// window another program made, as XScreenSaver has it do, compared pixel by pixel with frames
// drawn in memory at the same clock.
#include "backends/Dummy.h"
#include "backends/Software.h"
#include "display/Surface.h"
#include "front/Factory.h"
#include "front/PTC.h"
#include "screensaver/PictureFrames.h"
#include "screensaver/Preview.h"
#include "screensaver/Screensaver.h"

// Before Xlib, whose macros (None, Bool) would change its names.
#include <gtest/gtest.h>

#include "support/ClockedFrames.h"
#include "support/PrivateXServer.h"
#include "support/TgaFiles.h"
#include "support/XClient.h"

#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// A display in memory: the reference the X server's pixels are compared with.
struct MemoryDisplay : ISoftware {
    std::unique_ptr<Surface> shown;
    int open(int32_t w, int32_t h, int32_t, int32_t, int32_t, int32_t) override {
        shown = std::make_unique<Surface>(this, w, h, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
        return shown->ok() ? 1 : 0;
    }
    Surface* displaySurface() override { return shown.get(); }
    int width() override { return shown ? shown->width() : 0; }
    int height() override { return shown ? shown->height() : 0; }
};

Interface* memoryFactory(int index, WindowHandle&) {
    return index == 0 ? new MemoryDisplay : nullptr;
}

// The real back ends with full screen refused, so the program takes its window.
Interface* windowOnlyFactory(int index, WindowHandle& window) {
    return index == 0 ? new IDummy : interfaceFactory(index, window);
}

// The 320x200 frame drawn at clock now from the frames' start, as 0xRRGGBB: the second frame,
// whose rays come from the light map the first made at the same clock, as a program running at
// that clock draws them.
std::vector<uint32_t> referenceFrame(const std::string& pictures, uint32_t now) {
    std::vector<uint32_t> pixels;
    const PTC::Factory previous = PTC::setFactory(memoryFactory);
    {
        PTC display;
        ClockedFrames frames(pictures);
        if (display.init(rayAreaWidth, rayAreaHeight, FUZZY32, WINDOW_OUTPUT, -1, -1) &&
            frames.setup(display, rayAreaWidth, rayAreaHeight, false)) {
            frames.clock = now;
            if (frames.frame(display, false, 0) && frames.frame(display, false, 0)) {
                Surface* shown = display.backEnd()->displaySurface();
                auto* rows = static_cast<uint8_t*>(shown->lock(1));
                for (int y = 0; rows && y < rayAreaHeight; ++y)
                    for (int x = 0; x < rayAreaWidth; ++x)
                        pixels.push_back(
                            reinterpret_cast<uint32_t*>(rows + ptrdiff_t(y) * shown->pitch())[x] &
                            0xFFFFFF);
                if (rows) shown->unlock();
            }
        }
        frames.teardown();
    }
    PTC::setFactory(previous);
    return pixels;
}

// Pixels of the picture (bluer than any ray) and pixels lit by the rays elsewhere.
struct Content {
    int picture = 0, rays = 0;
};
Content content(const std::vector<uint32_t>& pixels) {
    Content c;
    for (uint32_t p : pixels) {
        if ((p & 0xFF) > 200)
            ++c.picture;
        else if ((p >> 16) >= 32)
            ++c.rays;
    }
    return c;
}

struct NativeScreensaver : ::testing::Test {
    PrivateXServer server{24, 640, 480, true};
    tga::TempDir pictures;
    std::unique_ptr<XClient> client;

    void SetUp() override {
        ASSERT_TRUE(server.ok()) << "Xvfb did not start";
        ASSERT_TRUE(pictures.ok());
        ASSERT_TRUE(writeBluePictures(pictures.path()));
        client = std::make_unique<XClient>();
        ASSERT_TRUE(client->ok());
    }

    // Sets the clock and waits until two frames were drawn at it.
    static bool drawnAt(ClockedFrames& frames, uint32_t now) {
        frames.clock = now;
        const int before = frames.drawn;
        return waitUntil(5000, [&] { return frames.drawn >= before + 2; });
    }
};

TEST_F(NativeScreensaver, TheProgramShowsItsFramesExactlyInAWindowAndEndsOnAKey) {
    ClockedFrames frames(pictures.path().string());
    const PTC::Factory previous = PTC::setFactory(windowOnlyFactory);
    int status = -1;
    std::thread program([&] { status = runScreensaver(frames); });
    Window window = 0;
    const bool started = waitUntil(10000, [&] {
        window = client->find("Kelmor screensaver");
        return window && frames.drawn >= 1;
    });
    if (started) {
        // Half a second apart: the picture moves, the rays flicker.
        std::vector<uint32_t> shots[2];
        const uint32_t times[2] = {frames.clock + 500, frames.clock + 1000};
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE("clock " + std::to_string(times[i]));
            ASSERT_TRUE(drawnAt(frames, times[i]));
            const std::vector<uint32_t> want = referenceFrame(pictures.path().string(), times[i]);
            // The server shows a put when it gets to it: an earlier frame may show a moment yet.
            EXPECT_TRUE(waitUntil(2000, [&] {
                shots[i] = client->pixels(window, 0, 0, rayAreaWidth, rayAreaHeight);
                return shots[i] == want;
            })) << "not the frame drawn in memory at the same clock";
            const Content seen = content(shots[i]);
            std::printf("clock %u: %d picture pixels, %d lit by rays\n", times[i], seen.picture,
                        seen.rays);
            EXPECT_EQ(seen.picture, bluePictureSize * bluePictureSize) << "the whole picture";
            EXPECT_GT(seen.rays, rayAreaWidth * rayAreaHeight / 20) << "the rays";
        }
        EXPECT_NE(shots[0], shots[1]) << "the frames do not move with the clock";
    }
    client->pressKey(window);
    program.join();
    PTC::setFactory(previous);
    ASSERT_TRUE(started) << "no window with frames";
    EXPECT_EQ(status, 0) << "a key ends the program";
}

TEST_F(NativeScreensaver, DrawsIntoAGivenWindowUntilItGoesOrTheProcessIsAskedToEnd) {
    // Half the frame's size each way: window pixel (x, y) shows frame pixel (2x, 2y).
    constexpr int width = rayAreaWidth / 2, height = rayAreaHeight / 2;
    for (const bool byWindow : {true, false}) {
        SCOPED_TRACE(byWindow ? "the window goes" : "SIGTERM");
        ClockedFrames frames(pictures.path().string());
        const Window given = client->makeWindow(width, height);
        int status = -1;
        std::thread drawing([&] { status = runPreview(frames, windowHandleOf(given)); });
        if (waitUntil(10000, [&] { return frames.drawn >= 1; }) &&
            drawnAt(frames, frames.clock + 500)) {
            const std::vector<uint32_t> want =
                referenceFrame(pictures.path().string(), frames.clock);
            std::vector<uint32_t> scaled;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    scaled.push_back(want[size_t(2 * y) * rayAreaWidth + size_t(2 * x)]);
            EXPECT_TRUE(waitUntil(2000, [&] {
                return client->pixels(given, 0, 0, width, height) == scaled;
            })) << "not the frame drawn in memory, scaled to the window";
            const int before = frames.drawn;
            std::this_thread::sleep_for(std::chrono::seconds(1));
            std::printf("%d frames in a second\n", frames.drawn - before);
            EXPECT_LT(frames.drawn - before, 40) << "paced, not as fast as it can";
        } else {
            ADD_FAILURE() << "no frames drawn";
        }
        if (byWindow) {
            XDestroyWindow(client->display, given);
            XSync(client->display, False);
        } else {
            kill(getpid(), SIGTERM);
        }
        drawing.join();
        EXPECT_EQ(status, 0);
        if (!byWindow) XDestroyWindow(client->display, given);
    }
}

TEST_F(NativeScreensaver, AWindowThatDoesNotExistIsNamedAsMissing) {
    ClockedFrames frames(pictures.path().string());
    ::testing::internal::CaptureStderr();
    const int status = runPreview(frames, windowHandleOf(0x7FFFFFF0)); // no client has this id
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(said, "ptc error: there is no window 0x7ffffff0 on the X display\n");
    EXPECT_EQ(frames.drawn, 0);
}

} // namespace
