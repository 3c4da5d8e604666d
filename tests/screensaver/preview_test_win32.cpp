// The preview drawn into a window of this process, where Wine shows a child window's pixels
// (it does not for a child of another process's window; the Wine end-to-end cases cover that).
#include "front/PTC.h"
#include "screensaver/PictureFrames.h"
#include "screensaver/Preview.h"

#include "support/ClockedFrames.h"
#include "support/TgaFiles.h"
#include "support/WindowMessages.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The settings page's preview area.
constexpr int previewWidth = 152, previewHeight = 112;
constexpr int pictureSize = bluePictureSize;

// runPreview on a thread of its own, as the preview's own drawing thread would be; the parent
// window lives on the test's thread, which handles its messages while it waits.
struct PreviewRun {
    ClockedFrames& frames;
    HWND parent;
    int status = -1;
    HANDLE thread = nullptr;

    PreviewRun(ClockedFrames& f, HWND p) : frames(f), parent(p) {
        thread = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    // A run the test left early is ended with its parent; one that does not end is a hang,
    // whose thread must not outlive the frames it draws.
    ~PreviewRun() {
        if (!thread) return;
        if (!ended() && (!DestroyWindow(parent) || !pumpUntil(5000, [this] { return ended(); }))) {
            std::fprintf(stderr, "the preview does not end\n");
            std::abort();
        }
        CloseHandle(thread);
    }
    static DWORD WINAPI run(void* self) {
        PreviewRun& r = *static_cast<PreviewRun*>(self);
        r.status = runPreview(r.frames, r.parent);
        return 0;
    }
    bool ended() const { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }
};

HWND makeParent() {
    WNDCLASSA info{};
    info.lpfnWndProc = DefWindowProcA;
    info.hInstance = GetModuleHandleA(nullptr);
    info.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
    info.lpszClassName = "preview test parent";
    RegisterClassA(&info);
    return CreateWindowExA(0, info.lpszClassName, "", WS_POPUP | WS_VISIBLE, 40, 40, previewWidth,
                           previewHeight, nullptr, nullptr, info.hInstance, nullptr);
}

// The window's pixels as 0x00RRGGBB, top row first.
std::vector<uint32_t> capture(HWND window) {
    std::vector<uint32_t> pixels(size_t(previewWidth) * previewHeight, 0);
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = previewWidth;
    info.bmiHeader.biHeight = -previewHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, previewWidth, previewHeight, screen, 0, 0, SRCCOPY);
        GdiFlush();
        std::memcpy(pixels.data(), bits, pixels.size() * sizeof(uint32_t));
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(window, screen);
    for (uint32_t& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

struct Box {
    int left = previewWidth, top = previewHeight, right = 0, bottom = 0; // right, bottom exclusive
};

// Where the picture is: the pixels bluer than the rays can make them.
Box pictureBox(const std::vector<uint32_t>& pixels) {
    Box box;
    for (int y = 0; y < previewHeight; ++y)
        for (int x = 0; x < previewWidth; ++x)
            if ((pixels[size_t(y) * previewWidth + x] & 0xFF) > 200) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box;
}

// Pixels outside the picture lit by the rays: red and green alike, blue about half of them.
int rayPixels(const std::vector<uint32_t>& pixels, const Box& picture) {
    int lit = 0;
    for (int y = 0; y < previewHeight; ++y)
        for (int x = 0; x < previewWidth; ++x) {
            if (x >= picture.left - 2 && x < picture.right + 2 && y >= picture.top - 2 &&
                y < picture.bottom + 2)
                continue;
            const uint32_t p = pixels[size_t(y) * previewWidth + x];
            const int r = int(p >> 16), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
            if (r >= 32 && std::abs(r - g) <= 8 && std::abs(b - r / 2) <= 8) ++lit;
        }
    return lit;
}

// The picture's place in the 320x200 frame at clock now, scaled to the preview.
Box expectedBox(const Orbit& start, uint32_t now) {
    Orbit orbit = start;
    advanceOrbit(orbit, now);
    const PicturePosition at = picturePosition(orbit.radius, now, now, pictureSize, pictureSize);
    auto scaled = [](int v, int size, int full) { return v * size / full; };
    return {scaled(at.x, previewWidth, rayAreaWidth), scaled(at.y, previewHeight, rayAreaHeight),
            scaled(at.x + pictureSize, previewWidth, rayAreaWidth),
            scaled(at.y + pictureSize, previewHeight, rayAreaHeight)};
}

struct PreviewTest : ::testing::Test {
    tga::TempDir pictures;
    HWND parent = nullptr;

    void SetUp() override {
        ASSERT_TRUE(pictures.ok());
        ASSERT_TRUE(writeBluePictures(pictures.path()));
        parent = makeParent();
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override {
        if (IsWindow(parent)) DestroyWindow(parent);
    }

    HWND child() const { return FindWindowExA(parent, nullptr, previewClassName, nullptr); }

    // Sets the clock and waits until two frames were drawn at it.
    bool drawnAt(ClockedFrames& frames, uint32_t now) {
        frames.clock = now;
        const int before = frames.drawn;
        return pumpUntil(5000, [&] { return frames.drawn >= before + 2; });
    }
};

TEST_F(PreviewTest, DrawsTheFramesScaledIntoAChildThatFillsTheParentAndEndsWithIt) {
    ClockedFrames frames(pictures.path().string());
    PreviewRun run(frames, parent);
    ASSERT_NE(run.thread, nullptr);
    ASSERT_TRUE(pumpUntil(10000, [&] { return frames.drawn >= 1 || run.ended(); }))
        << "no frame drawn";
    ASSERT_FALSE(run.ended()) << "status " << run.status;
    const HWND window = child();
    ASSERT_NE(window, nullptr);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, previewWidth);
    EXPECT_EQ(client.bottom, previewHeight);
    EXPECT_TRUE(IsWindowVisible(window));

    std::vector<uint32_t> shots[2];
    // Half a second apart: the radius grows by 20 between them and the picture stays inside.
    const uint32_t times[2] = {frames.clock + 500, frames.clock + 1000};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE("clock " + std::to_string(times[i]));
        ASSERT_TRUE(drawnAt(frames, times[i]));
        shots[i] = capture(window);
        const Box got = pictureBox(shots[i]), want = expectedBox(frames.start, times[i]);
        // StretchBlt may round an edge either way.
        EXPECT_NEAR(got.left, want.left, 1);
        EXPECT_NEAR(got.top, want.top, 1);
        EXPECT_NEAR(got.right, want.right, 1);
        EXPECT_NEAR(got.bottom, want.bottom, 1);
        const int lit = rayPixels(shots[i], got);
        std::printf("clock %u: picture at %d,%d-%d,%d; %d pixels lit by rays\n", times[i], got.left,
                    got.top, got.right, got.bottom, lit);
        EXPECT_GT(lit, previewWidth * previewHeight / 20) << "the rays are not visible";
    }
    EXPECT_NE(shots[0], shots[1]) << "the preview does not move with the clock";

    // Paced, not as fast as it can.
    const int before = frames.drawn;
    pumpUntil(1000, [] { return false; });
    std::printf("%d frames in a second\n", frames.drawn - before);

    const DWORD destroyed = GetTickCount();
    DestroyWindow(parent);
    ASSERT_TRUE(pumpUntil(2000, [&] { return run.ended(); })) << "still running";
    std::printf("ended %lu ms after its parent\n", GetTickCount() - destroyed);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(frames.inner.screenSurface(), nullptr) << "torn down";
}

TEST_F(PreviewTest, EndsOnCloseAndAtOnceWithoutAWindow) {
    ClockedFrames frames(pictures.path().string());
    EXPECT_EQ(runPreview(frames, nullptr), 0);
    DestroyWindow(parent);
    EXPECT_EQ(runPreview(frames, parent), 0) << "a destroyed window";
    EXPECT_EQ(frames.drawn, 0);

    parent = makeParent();
    PreviewRun run(frames, parent);
    ASSERT_TRUE(pumpUntil(10000, [&] { return frames.drawn >= 1 || run.ended(); }));
    PostMessageA(child(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(pumpUntil(2000, [&] { return run.ended(); })) << "still running";
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(IsWindow(parent)) << "the parent stays";
}

} // namespace
