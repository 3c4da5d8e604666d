// DirectDraw itself, as Wine provides it inside the test prefix's 640x480 virtual desktop.
#include "backends/directx/DirectDraw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <tuple>

using namespace directx;

namespace {

// A hidden pop-up window on the test's own thread, enough for exclusive mode.
struct TestWindow {
    HWND handle = nullptr;
    TestWindow() {
        WNDCLASSA c = {};
        c.lpfnWndProc = DefWindowProcA;
        c.lpszClassName = "PTC_TEST_DDRAW";
        RegisterClassA(&c);
        handle = CreateWindowExA(0, "PTC_TEST_DDRAW", "", WS_POPUP, 0, 0, 320, 200, nullptr,
                                 nullptr, nullptr, nullptr);
    }
    ~TestWindow() {
        if (handle) DestroyWindow(handle);
    }
};

void pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

int desktopBits() {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return bits;
}

} // namespace

TEST(DirectDrawLink, LoadsAndUnloads) {
    DirectDrawLink link;
    ASSERT_TRUE(link.load());
    EXPECT_NE(link.library.get(), nullptr);
    EXPECT_NE(link.object.directDraw.get(), nullptr);
    EXPECT_NE(link.object.directDraw2.get(), nullptr) << "Wine offers IDirectDraw2";
    ASSERT_TRUE(link.load()) << "a second load replaces the first";
    link.unload();
    EXPECT_FALSE(link.loaded());
    EXPECT_EQ(link.library.get(), nullptr);
    EXPECT_EQ(link.object.directDraw2.get(), nullptr);
    EXPECT_EQ(link.object.setDisplayMode(320, 200, 8), DDERR_NODIRECTDRAWHW) << "nothing to call";

    DirectDrawLink missing;
    EXPECT_FALSE(missing.load("no-such-ddraw.dll"));
    EXPECT_FALSE(missing.loaded());
    EXPECT_EQ(missing.library.get(), nullptr);
    // A library without the export.
    EXPECT_FALSE(missing.load("kernel32.dll"));
    EXPECT_EQ(missing.library.get(), nullptr);
}

TEST(DirectDrawLink, ModeListOfTheVirtualDesktop) {
    DirectDrawLink link;
    ASSERT_TRUE(link.load());
    List<MODE> modes;
    modes.append(new MODE); // emptied first
    ASSERT_TRUE(link.object.enumerateModes(modes, "DirectX"));
    std::set<std::tuple<int, int, int>> seen;
    modes.forEach([&](const MODE& m) {
        EXPECT_STREQ(m.interfaceName, "DirectX");
        EXPECT_EQ(m.output, 40);
        EXPECT_EQ(m.secondOption, 0);
        EXPECT_EQ(m.thirdOption, 10);
        EXPECT_TRUE(m.format.ok());
        seen.insert({m.width, m.height, m.format.id});
    });
    for (int size : {0, 1, 2}) {
        const int w = size == 0 ? 320 : 640, h = size == 0 ? 200 : size == 1 ? 400 : 480;
        EXPECT_TRUE(seen.count({w, h, INDEX8})) << w << "x" << h << " INDEX8";
        EXPECT_TRUE(seen.count({w, h, RGB565})) << w << "x" << h << " RGB565";
        EXPECT_TRUE(seen.count({w, h, ARGB8888})) << w << "x" << h << " ARGB8888";
    }
    for (const auto& [w, h, id] : seen)
        EXPECT_TRUE(id == INDEX8 || id == RGB565 || id == ARGB8888) << w << "x" << h << " " << id;
}

TEST(DirectDrawLink, ExclusiveModeChangesAndRestores) {
    const int bitsBefore = desktopBits();
    TestWindow window;
    ASSERT_NE(window.handle, nullptr);
    DirectDrawLink link;
    ASSERT_TRUE(link.load());
    ASSERT_EQ(link.object.setCooperativeLevel(window.handle, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DD_OK);
    struct Case {
        int32_t w, h, depth, id;
    } cases[] = {{320, 200, 8, INDEX8}, {640, 480, 16, RGB565}, {640, 400, 32, ARGB8888}};
    for (const Case& c : cases) {
        ASSERT_EQ(link.object.setDisplayMode(c.w, c.h, c.depth), DD_OK) << c.w << "x" << c.h;
        pump();
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), c.w);
        EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), c.h);
        EXPECT_EQ(link.object.displayFormat().id, c.id) << c.depth;
    }
    EXPECT_NE(link.object.setDisplayMode(320, 200, 0), DD_OK);
    EXPECT_NE(link.object.setDisplayMode(-1, 200, 8), DD_OK);
    EXPECT_EQ(link.object.restoreDisplayMode(), DD_OK);
    EXPECT_EQ(link.object.setCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    pump();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 480);
    EXPECT_EQ(desktopBits(), bitsBefore);
}
