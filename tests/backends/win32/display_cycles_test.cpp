// Full-screen displays opened and closed over and over inside the test prefix's 640x480
// virtual desktop, alternating with a GDI window, as a screensaver started many times over a
// day would: nothing may hang, and nothing may be left behind.
#include "backends/directx/DirectX.h"
#include "backends/gdi/GDI.h"
#include "display/Palette.h"
#include "display/Surface.h"
#include "support/ResourceCounts.h"
#include "support/Watchdog.h"

#include <winternl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

std::string objectType(HANDLE handle) {
    using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    static const Query query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    const ULONG objectTypeInformation = 2;
    alignas(8) char buffer[512] = {};
    if (!query || query(handle, objectTypeInformation, buffer, sizeof buffer, nullptr) != 0)
        return "";
    const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer);
    std::string type;
    for (USHORT i = 0; i < name->Length / 2; ++i) type += char(name->Buffer[i]);
    return type;
}

// Registry keys apart: Wine's ChangeDisplaySettingsEx leaves some open on every mode change,
// which is the system's own leak, measured beside ours.
struct Counts {
    long registryKeys = 0, otherHandles = 0, gdiObjects = 0;
};

Counts counts() {
    Counts c;
    forEachKernelHandle(GetCurrentProcessId(), [&](USHORT value) {
        ++(objectType(reinterpret_cast<HANDLE>(uintptr_t(value))) == "Key" ? c.registryKeys
                                                                           : c.otherHandles);
    });
    c.gdiObjects = gdiObjects(GetCurrentProcess());
    return c;
}

// The registry keys one mode change and its restore leave open when made through the system
// alone.
long keysLeftByTheSystem() {
    const long before = counts().registryKeys;
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = 320;
    mode.dmPelsHeight = 200;
    mode.dmBitsPerPel = 32;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    ChangeDisplaySettingsExA(nullptr, &mode, nullptr, CDS_FULLSCREEN, nullptr);
    ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
    return counts().registryKeys - before;
}

// A picture in the display's own format, so every depth is drawn to without a palette lookup
// the 8-bit display would not have.
void fill(Surface& surface, uint32_t seed) {
    auto* row = static_cast<uint8_t*>(surface.lock(1));
    ASSERT_NE(row, nullptr);
    std::mt19937 random(seed);
    for (int y = 0; y < surface.height(); ++y, row += surface.pitch())
        for (int x = 0; x < surface.width() * surface.bytes(); ++x) row[x] = uint8_t(random());
    surface.unlock();
}

// One full-screen display: opened at exactly that depth, a palette on 8 bits, one frame.
void fullScreenCycle(int cycle, int width, int height, int depth) {
    const std::string what = "full-screen cycle " + std::to_string(cycle) + " at " +
                             std::to_string(width) + "x" + std::to_string(height) + "x" +
                             std::to_string(depth);
    Watchdog watchdog(30000, what.c_str());
    IDirectX display;
    ASSERT_TRUE(display.ok()) << what;
    ASSERT_EQ(display.open(width, height, depth, -1, -1, -1), 1) << what;
    ASSERT_EQ(display.bits(), depth) << what;
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), width) << what;
    if (depth == 8) {
        Palette palette;
        uint32_t* colours = palette.lock();
        ASSERT_NE(colours, nullptr);
        for (int i = 0; i < 256; ++i) colours[i] = uint32_t(i * 0x010203 + cycle) & 0xffffff;
        palette.unlock();
        ASSERT_EQ(display.setPalette(palette), 1) << what;
        Palette back;
        ASSERT_EQ(display.getPalette(back), 1) << what;
        EXPECT_EQ(back.data()[255], palette.data()[255]) << what;
    }
    Surface frame(&display, width, height, display.format(), KIND_MEMORY, -1, -1, -1);
    ASSERT_TRUE(frame.ok()) << what;
    fill(frame, uint32_t(cycle));
    EXPECT_TRUE(frame.copy(*display.displaySurface(), 0)) << what;
}

void windowCycle(int cycle) {
    const std::string what = "window cycle " + std::to_string(cycle);
    Watchdog watchdog(30000, what.c_str());
    IGDI window;
    ASSERT_TRUE(window.ok()) << what;
    ASSERT_EQ(window.open(320, 200, FUZZY32, -1, -1, -1), 1) << what;
    Surface frame(&window, 320, 200, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
    ASSERT_TRUE(frame.ok()) << what;
    fill(frame, uint32_t(cycle));
    EXPECT_TRUE(frame.update()) << what;
}

// cycles full-screen displays over the three sizes and depths in turn; after every second one
// a window.
void cycleDisplays(int cycles) {
    static const int sizes[3][2] = {{320, 200}, {640, 400}, {640, 480}};
    static const int depths[3] = {8, 16, 32};
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 640) << "needs the 640x480 virtual desktop";
    // The first display of each kind loads libraries and builds caches that stay.
    for (int depth : depths) fullScreenCycle(-1, 320, 200, depth);
    windowCycle(-1);
    const long systemKeysPerCycle = keysLeftByTheSystem();
    const directx::DisplayCalls callsBefore = directx::displayCalls();
    const Counts before = counts();
    ASSERT_GT(before.otherHandles, 0);
    ASSERT_GT(before.gdiObjects, 0);
    const DWORD start = GetTickCount();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const int* size = sizes[cycle % 3];
        fullScreenCycle(cycle, size[0], size[1], depths[cycle / 3 % 3]);
        if (testing::Test::HasFatalFailure()) return;
        ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 640) << "the desktop mode is back";
        ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 480);
        if (cycle % 2 == 1) windowCycle(cycle);
        if (testing::Test::HasFatalFailure()) return;
    }
    const Counts after = counts();
    const directx::DisplayCalls calls = directx::displayCalls();
    std::printf("%d full-screen and %d window cycles in %lu ms; handles %ld -> %ld, registry keys "
                "%ld -> %ld (the system alone leaves %ld a cycle), GDI objects %ld -> %ld; "
                "display calls on the window thread %ld, elsewhere %ld\n",
                cycles, cycles / 2, GetTickCount() - start, before.otherHandles, after.otherHandles,
                before.registryKeys, after.registryKeys, systemKeysPerCycle, before.gdiObjects,
                after.gdiObjects, calls.onWindowThread - callsBefore.onWindowThread,
                calls.elsewhere - callsBefore.elsewhere);
    EXPECT_LE(after.otherHandles, before.otherHandles + 2) << "kernel handles left behind";
    EXPECT_LE(after.registryKeys, before.registryKeys + cycles * systemKeysPerCycle + 2)
        << "registry keys left beyond the system's own";
    EXPECT_LE(after.gdiObjects, before.gdiObjects + 2) << "GDI objects left behind";
    EXPECT_GT(calls.onWindowThread, callsBefore.onWindowThread + 4 * cycles)
        << "every cycle changes the display on the window thread";
    EXPECT_EQ(calls.elsewhere, callsBefore.elsewhere)
        << "display-changing DirectDraw calls made off the window thread";
}

} // namespace

TEST(DisplayCycles, FullScreenAndWindowOpenAndCloseWithoutHangOrLeak) {
    cycleDisplays(20);
}

// The long run, from scripts/stress-windows.sh.
TEST(DisplayCycles, DISABLED_TwoHundredCycles) {
    cycleDisplays(200);
}
