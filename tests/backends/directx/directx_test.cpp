// The DirectDraw back end against Wine's DirectDraw inside the test prefix's 640x480 virtual
// desktop, where modes can be changed and the primary surface locked.
#include "backends/directx/DirectX.h"
#include "display/Palette.h"
#include "display/Surface.h"
#include "front/Factory.h"
#include "front/PTC.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace {

int screenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}
int screenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}
int screenBits() {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return bits;
}

// The mode list is protected; clearing it is the way to reach requests the driver's own list
// would turn away before DirectDraw is asked.
struct TestDirectX : IDirectX {
    using IDirectX::clearModes;
    using IDirectX::modeList;
};

class DirectXTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A test process that Wine stopped mid-change may have left another mode behind: start
        // from the desktop's own.
        ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
        desktopBits = screenBits();
        ASSERT_EQ(screenWidth(), 640) << "needs the 640x480 virtual desktop";
        dx = std::make_unique<TestDirectX>();
        ASSERT_TRUE(dx->ok());
    }
    void TearDown() override {
        dx.reset();
        EXPECT_EQ(screenWidth(), 640) << "the desktop mode is back";
        EXPECT_EQ(screenHeight(), 480);
        EXPECT_EQ(screenBits(), desktopBits);
    }
    // A pixel of the primary surface, read through the display surface's lock.
    uint32_t displayPixel(int x, int y) {
        Surface* display = dx->displaySurface();
        uint8_t* p = static_cast<uint8_t*>(display->lock(1));
        if (!p) return 0xDEADBEEF;
        uint32_t v = 0;
        std::memcpy(&v, p + y * display->pitch() + x * display->bytes(), display->bytes());
        display->unlock();
        return v;
    }

    std::unique_ptr<TestDirectX> dx;
    int desktopBits = 0;
};

} // namespace

TEST_F(DirectXTest, ConstructionListsModesAndRegistersItsWindowClasses) {
    char name[8] = "xxxxxxx";
    dx->name(name);
    EXPECT_STREQ(name, "DirectX");
    EXPECT_EQ(dx->nativeType(), 101);
    EXPECT_EQ(dx->thirdOption(), 10);
    EXPECT_EQ(dx->displaySurface(), nullptr);
    EXPECT_EQ(dx->window(), nullptr);
    EXPECT_EQ(dx->width(), 0);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), DWORD(HIGH_PRIORITY_CLASS));
    // The native data is the IDirectDraw pointer followed by IDirectDraw2 and the library.
    void** native = static_cast<void**>(dx->nativeData());
    EXPECT_NE(native[0], nullptr);
    EXPECT_NE(native[1], nullptr);
    EXPECT_EQ(native[2], GetModuleHandleA("ddraw.dll"));

    List<MODE> modes;
    ASSERT_EQ(dx->getModes(modes), 1);
    EXPECT_GE(modes.count(), 9);
    bool found320x200x8 = false;
    modes.forEach([&](const MODE& m) {
        EXPECT_STREQ(m.interfaceName, "DirectX");
        EXPECT_EQ(m.output, 40);
        EXPECT_EQ(m.secondOption, 0);
        EXPECT_EQ(m.thirdOption, 10);
        found320x200x8 |= m.width == 320 && m.height == 200 && m.format.id == INDEX8;
    });
    EXPECT_TRUE(found320x200x8);

    WNDCLASSA windowed = {}, fullscreen = {};
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "PTC_DIRECTX_WINDOWED", &windowed));
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "PTC_DIRECTX_FULLSCREEN", &fullscreen));
    EXPECT_EQ(windowed.style, UINT(CS_HREDRAW | CS_VREDRAW));
    EXPECT_NE(windowed.hCursor, nullptr);
    EXPECT_EQ(fullscreen.style, 0u);
    EXPECT_EQ(fullscreen.hCursor, nullptr);
    EXPECT_EQ(fullscreen.hbrBackground, nullptr);

    // A second instance works with the classes already registered.
    IDirectX second;
    EXPECT_TRUE(second.ok());
}

TEST(DirectXFactory, FirstCandidateIsDirectX) {
    WindowHandle none = nullptr;
    std::unique_ptr<Interface> candidate(interfaceFactory(0, none));
    ASSERT_NE(candidate, nullptr);
    char name[8] = {};
    candidate->name(name);
    EXPECT_STREQ(name, "DirectX");
    EXPECT_TRUE(candidate->ok());
}

TEST_F(DirectXTest, OutputOptionsAreCheckedBeforeTheScreenIsTouched) {
    EXPECT_EQ(dx->open(320, 200, FUZZY32, 41, -1, -1), 0) << "windowed output";
    EXPECT_EQ(dx->open(320, 200, FUZZY32, 42, -1, -1), 0) << "unknown output";
    EXPECT_EQ(dx->open(320, 200, FUZZY32, -1, -1, 5), 0) << "third option 5";
    EXPECT_EQ(dx->openFormat(320, 200, Format(ARGB8888), 41, -1, -1), 0);
    EXPECT_EQ(dx->open(0, 200, FUZZY32, -1, -1, -1), 0) << "no width";
    EXPECT_EQ(dx->window(), nullptr) << "no window was made";
    EXPECT_EQ(screenWidth(), 640);

    ASSERT_EQ(dx->open(320, 200, FUZZY32, -1, -1, -1), 1) << "-1 means full screen";
    EXPECT_EQ(dx->output(), 40);
    EXPECT_EQ(dx->secondOption(), 0);
    EXPECT_EQ(screenWidth(), 320);
    HWND window = dx->window();
    ASSERT_NE(window, nullptr);
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    EXPECT_STREQ(className, "PTC_DIRECTX_FULLSCREEN");
    EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_POPUP);

    // A refused request leaves the open display as it was.
    EXPECT_EQ(dx->open(640, 480, FUZZY32, 41, -1, -1), 0);
    EXPECT_EQ(dx->window(), window);
    EXPECT_EQ(dx->width(), 320);
    EXPECT_EQ(screenWidth(), 320);
    EXPECT_NE(dx->displaySurface(), nullptr);

    ASSERT_EQ(dx->open(320, 200, FUZZY32, 40, 7, 10), 1);
    EXPECT_EQ(dx->secondOption(), 7) << "stored as given";
}

TEST_F(DirectXTest, ModeCodesChooseTheirDepths) {
    struct Case {
        int32_t w, h, code, bits, id;
        const char* why;
    } cases[] = {
        {320, 200, FUZZY32, 32, ARGB8888, "FUZZY32 prefers 32 bits"},
        {640, 480, FUZZY16, 16, RGB565, "FUZZY16 prefers 16 bits"},
        {640, 400, FUZZY8, 8, INDEX8, "FUZZY8 is palettised"},
        {320, 200, 16, 16, RGB565, "a plain depth"},
        {640, 480, DIRECT, 32, ARGB8888, "DIRECT is FUZZY32"},
        {320, 200, INDEXED, 8, INDEX8, "INDEXED is FUZZY8"},
        {640, 480, RGB565, 16, RGB565, "a format id"},
        {320, 200, ARGB8888, 32, ARGB8888, "a format id"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(dx->open(c.w, c.h, c.code, -1, -1, -1), 1) << c.why;
        EXPECT_EQ(dx->width(), c.w) << c.why;
        EXPECT_EQ(dx->height(), c.h) << c.why;
        EXPECT_EQ(dx->bits(), c.bits) << c.why;
        EXPECT_EQ(dx->format().id, c.id) << c.why;
        EXPECT_EQ(screenWidth(), c.w) << c.why;
        EXPECT_EQ(screenHeight(), c.h) << c.why;
        EXPECT_EQ(screenBits(), c.bits) << c.why;
        const MODE m = dx->getMode();
        EXPECT_STREQ(m.interfaceName, "DirectX");
        EXPECT_EQ(m.width, c.w);
        EXPECT_EQ(m.format.id, c.id);
        EXPECT_EQ(m.output, 40);
        EXPECT_EQ(m.thirdOption, 10);
    }
    // Not in the list: no 24-bit modes, no 800x500, no ABGR8888 display. Refused before
    // anything is touched, so the last display stays open.
    EXPECT_EQ(dx->open(320, 200, 24, -1, -1, -1), 0);
    EXPECT_EQ(dx->open(800, 500, FUZZY32, -1, -1, -1), 0);
    EXPECT_EQ(dx->open(320, 200, ABGR8888, -1, -1, -1), 0);
    EXPECT_EQ(dx->open(320, 200, 12345, -1, -1, -1), 0);
    ASSERT_NE(dx->displaySurface(), nullptr);
    EXPECT_EQ(dx->format().id, ARGB8888);
    EXPECT_EQ(screenWidth(), 320);
}

TEST_F(DirectXTest, OpenModeTakesItsOwnRecordsOnly) {
    List<MODE> modes;
    ASSERT_EQ(dx->getModes(modes), 1);
    const MODE* m = modes.find([](const MODE& r) { return r.width == 640 && r.height == 400; });
    ASSERT_NE(m, nullptr);
    MODE other = *m;
    std::strcpy(other.interfaceName, "GDI");
    EXPECT_EQ(dx->openMode(other), 0);
    std::strcpy(other.interfaceName, "dIRECTx");
    ASSERT_EQ(dx->openMode(other), 1) << "names compare ignoring case";
    EXPECT_EQ(dx->format(), m->format);
    EXPECT_EQ(screenHeight(), 400);
}

TEST_F(DirectXTest, FormatMismatchIsReportedOnStandardOutput) {
    // With an empty list every request reaches DirectDraw, which sets an ARGB8888 mode.
    dx->clearModes();
    testing::internal::CaptureStdout();
    EXPECT_EQ(dx->openFormat(320, 200, Format(ABGR8888), -1, -1, -1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "display format and requested format dont match!\n");
    EXPECT_EQ(screenWidth(), 640) << "closed again";
    EXPECT_EQ(dx->window(), nullptr);

    testing::internal::CaptureStdout();
    EXPECT_EQ(dx->openFormat(320, 200, Format(ARGB8888), -1, -1, -1), 1);
    EXPECT_EQ(dx->openFormat(321, 200, Format(ARGB8888), -1, -1, -1), 0) << "no such mode";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "SetDisplayMode failing is silent";
    EXPECT_EQ(dx->openFormat(320, 200, Format(), -1, -1, -1), 0) << "invalid format";
}

TEST_F(DirectXTest, PrimarySurfaceIsClearedLockedAndWrittenByCopies) {
    ASSERT_EQ(dx->open(640, 480, 16, -1, -1, -1), 1);
    Surface* display = dx->displaySurface();
    ASSERT_NE(display, nullptr);
    EXPECT_TRUE(display->ok());
    EXPECT_EQ(display->kind(), KIND_PRIMARY);
    EXPECT_EQ(display->orientation(), TOP_DOWN);
    EXPECT_EQ(display->variant(), 10);
    EXPECT_EQ(display->nativeType(), 2);
    EXPECT_EQ(display->width(), 640);
    EXPECT_EQ(display->format().id, RGB565);
    EXPECT_GE(display->pitch(), 640 * 2);
    EXPECT_EQ(display->pitch(), 640 * 2 + display->advance());

    // Nested locks give the same address; one DirectDraw lock underneath.
    uint8_t* first = static_cast<uint8_t*>(display->lock(1));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(display->lock(1), first);
    EXPECT_EQ(display->lockCount(), 2);
    bool black = true;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640 * 2; ++x) black &= first[y * display->pitch() + x] == 0;
    EXPECT_TRUE(black) << "cleared on creation";
    display->unlock();
    display->unlock();
    display->unlock();
    EXPECT_EQ(display->lockCount(), 0);

    // An ARGB8888 picture copied onto the RGB565 screen and read back from the primary.
    Surface picture(64, 48, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
    ASSERT_TRUE(picture.ok());
    std::mt19937 random(4);
    uint32_t* pixels = static_cast<uint32_t*>(picture.lock(1));
    ASSERT_NE(pixels, nullptr);
    for (int i = 0; i < 64 * 48; ++i) pixels[i] = uint32_t(random());
    picture.unlock();
    ASSERT_TRUE(picture.copy(*display, 100, 50, 0));
    EXPECT_FALSE(picture.update()) << "a memory surface has no display of its own";
    pixels = static_cast<uint32_t*>(picture.lock(1));
    // One lock for the whole comparison: every lock of the primary reads the screen back.
    const uint8_t* screen = static_cast<const uint8_t*>(display->lock(1));
    ASSERT_NE(screen, nullptr);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const uint32_t c = pixels[y * 64 + x];
            const uint32_t expected =
                ((c >> 19) & 0x1F) << 11 | ((c >> 10) & 0x3F) << 5 | ((c >> 3) & 0x1F);
            uint16_t shown = 0;
            std::memcpy(&shown, screen + (50 + y) * display->pitch() + (100 + x) * 2, 2);
            ASSERT_EQ(shown, expected) << x << "," << y;
        }
    }
    display->unlock();
    picture.unlock();
    EXPECT_EQ(displayPixel(99, 50), 0u) << "just outside the left edge";
    EXPECT_EQ(displayPixel(164, 97), 0u) << "just outside the bottom right";
}

TEST_F(DirectXTest, SurfacesFallBackToSoftwareWhenDirectDrawRefusesTheFormat) {
    ASSERT_EQ(dx->open(320, 200, FUZZY32, -1, -1, -1), 1);
    Surface native(dx.get(), 16, 8, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
    ASSERT_TRUE(native.ok());
    EXPECT_EQ(native.nativeType(), 2) << "a DirectDraw system-memory surface";
    EXPECT_EQ(native.kind(), KIND_MEMORY);

    // Wine's DirectDraw has no ABGR8888 off-screen surfaces.
    Surface fallback(dx.get(), 16, 8, Format(ABGR8888), KIND_ANY, -1, -1, -1);
    ASSERT_TRUE(fallback.ok());
    EXPECT_EQ(fallback.nativeType(), 0) << "plain memory";
    uint32_t* p = static_cast<uint32_t*>(fallback.lock(1));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 16 * 8; ++i) p[i] = 0x00FF8040u; // red 0x40, green 0x80, blue 0xFF
    fallback.unlock();
    ASSERT_TRUE(fallback.copy(native, 0));
    ASSERT_TRUE(native.copy(*dx->displaySurface(), 10, 20, 0));
    EXPECT_EQ(displayPixel(10, 20) & 0xFFFFFF, 0x4080FFu);
    EXPECT_EQ(displayPixel(25, 27) & 0xFFFFFF, 0x4080FFu);
    EXPECT_EQ(displayPixel(26, 27), 0u);

    // Only the back end's own display surface may be the primary.
    Surface secondPrimary(dx.get(), 320, 200, Format(ARGB8888), KIND_PRIMARY, -1, -1, -1);
    EXPECT_FALSE(secondPrimary.ok());
    // Fake modes have no pixel bytes anywhere.
    Surface fake(dx.get(), 16, 8, Format(FAKEMODE1A), KIND_MEMORY, -1, -1, -1);
    EXPECT_FALSE(fake.ok());
    // A requested advance DirectDraw does not give is refused by both.
    Surface advanced(dx.get(), 16, 8, Format(ARGB8888), KIND_MEMORY, -1, 4, -1);
    if (advanced.ok()) {
        EXPECT_EQ(advanced.advance(), 4);
    }
}

TEST_F(DirectXTest, EightBitPaletteGoesToTheHardwareAndBack) {
    Palette palette;
    EXPECT_EQ(dx->setPalette(palette), 0) << "nothing open";
    ASSERT_EQ(dx->open(320, 200, FUZZY8, -1, -1, -1), 1);
    ASSERT_EQ(dx->format().id, INDEX8);
    std::mt19937 random(8);
    uint32_t* colours = palette.lock();
    for (int i = 0; i < 256; ++i) colours[i] = uint32_t(random()) & 0xFFFFFF;
    palette.unlock();
    ASSERT_EQ(dx->setPalette(palette), 1);
    Palette back;
    ASSERT_EQ(dx->getPalette(back), 1);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(back.data()[i], palette.data()[i]) << i;

    // Setting again reuses the attached palette.
    colours = palette.lock();
    colours[7] = 0x123456;
    palette.unlock();
    ASSERT_EQ(dx->setPalette(palette), 1);
    ASSERT_EQ(dx->getPalette(back), 1);
    EXPECT_EQ(back.data()[7], 0x123456u);

    ASSERT_EQ(dx->open(320, 200, FUZZY32, -1, -1, -1), 1);
    EXPECT_EQ(dx->setPalette(palette), 0) << "a direct-colour display has no palette";
    EXPECT_EQ(dx->getPalette(back), 0);
}

TEST_F(DirectXTest, ReopenAndCloseLeaveNoStaleWindowOrLookup) {
    ASSERT_EQ(dx->open(320, 200, FUZZY32, -1, -1, -1), 1);
    HWND first = dx->window();
    EXPECT_EQ(WindowLookup<IDirectX>::find(first), dx.get());

    ASSERT_EQ(dx->open(640, 480, FUZZY16, -1, -1, -1), 1) << "reopen at another size";
    HWND second = dx->window();
    EXPECT_EQ(dx->width(), 640);
    EXPECT_EQ(dx->displaySurface()->width(), 640);
    EXPECT_EQ(dx->displaySurface()->format().id, RGB565);
    EXPECT_EQ(screenWidth(), 640);
    EXPECT_EQ(screenBits(), 16);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(WindowLookup<IDirectX>::find(second), dx.get());
    if (first != second) {
        EXPECT_EQ(WindowLookup<IDirectX>::find(first), nullptr);
    }

    dx->close();
    EXPECT_EQ(dx->displaySurface(), nullptr);
    EXPECT_EQ(dx->window(), nullptr);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(WindowLookup<IDirectX>::find(second), nullptr);
    EXPECT_EQ(screenWidth(), 640);
    EXPECT_EQ(screenHeight(), 480);
    EXPECT_EQ(screenBits(), desktopBits);
    dx->close(); // twice is harmless

    ASSERT_EQ(dx->open(320, 200, FUZZY32, -1, -1, -1), 1) << "opens again after close";
    HWND third = dx->window();
    dx.reset();
    EXPECT_EQ(WindowLookup<IDirectX>::find(third), nullptr) << "gone with its interface";
    dx = std::make_unique<TestDirectX>();
}

// Straight into the class's procedure: while exclusive mode is being set up, Wine's DirectDraw
// hooks the window and may hold back messages sent to it for a while.
TEST_F(DirectXTest, KeysReachTheOwnerThroughTheFullScreenProcedure) {
    ASSERT_EQ(dx->open(320, 200, FUZZY32, -1, -1, -1), 1);
    HWND window = dx->window();
    const WNDPROC procedure = reinterpret_cast<WNDPROC>(GetClassLongPtrA(window, GCLP_WNDPROC));
    ASSERT_NE(procedure, nullptr);
    EXPECT_EQ(dx->keyPressed(), 0);
    EXPECT_EQ(CallWindowProcA(procedure, window, WM_KEYDOWN, 'A', 0), 0);
    ASSERT_EQ(dx->keyPressed(), 1);
    EXPECT_EQ(dx->readKey(), 1);
    EXPECT_EQ(dx->keyPressed(), 0);
    EXPECT_EQ(CallWindowProcA(procedure, window, WM_QUERYNEWPALETTE, 0, 0), 0);
    EXPECT_EQ(CallWindowProcA(procedure, window, WM_SETCURSOR, 0, 0), 0);
    EXPECT_EQ(dx->waitRetrace(), 1);

    // A window nobody owns any more gets the default handling: no key for anyone.
    dx->close();
    EXPECT_EQ(dx->keyPressed(), 0);
}

// A mode change behind the back end's back loses the primary surface; the next lock restores it.
TEST_F(DirectXTest, LostPrimarySurfaceIsRestoredByTheNextLock) {
    ASSERT_EQ(dx->open(320, 200, FUZZY32, -1, -1, -1), 1);
    Surface* display = dx->displaySurface();
    IDirectDraw2* directDraw2 = static_cast<IDirectDraw2**>(dx->nativeData())[1];
    ASSERT_NE(directDraw2, nullptr);
    ASSERT_EQ(directDraw2->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
    ASSERT_EQ(directDraw2->SetDisplayMode(320, 200, 32, 0, 0), DD_OK);
    EXPECT_FALSE(display->ok()) << "lost";
    void* p = display->lock(1);
    ASSERT_NE(p, nullptr) << "restored and locked";
    display->unlock();
    EXPECT_TRUE(display->ok());
    Surface picture(8, 8, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
    EXPECT_TRUE(picture.copy(*display, 0, 0, 0));
}

// The full-screen window is never painted, only DirectDraw draws on it. Left invalid, its
// update region would keep WM_PAINT coming forever and the window thread busy.
TEST_F(DirectXTest, FullScreenWindowIsValidatedOnPaint) {
    ASSERT_EQ(dx->open(320, 200, FUZZY32, -1, -1, -1), 1);
    HWND window = dx->window();
    InvalidateRect(window, nullptr, FALSE);
    FILETIME created, ended, kernelBefore, userBefore, kernelAfter, userAfter;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernelBefore, &userBefore);
    Sleep(1000);
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernelAfter, &userAfter);
    auto ms = [](const FILETIME& a, const FILETIME& b) {
        const auto value = [](const FILETIME& f) {
            return (uint64_t(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 10000;
        };
        return value(b) - value(a);
    };
    const uint64_t busy = ms(kernelBefore, kernelAfter) + ms(userBefore, userAfter);
    std::printf("process CPU time over 1000 ms of sleep with the window invalidated: %llu ms\n",
                static_cast<unsigned long long>(busy));
    RECT pending;
    EXPECT_FALSE(GetUpdateRect(window, &pending, FALSE)) << "nothing left to paint";
}

// DDERR_HWNDALREADYSET (which Wine never gives) makes the back end start over with a new
// DirectDraw object: DirectDraw surfaces of the old one are dropped, software ones kept.
TEST_F(DirectXTest, WindowAlreadySetIsAnsweredWithANewDirectDrawObject) {
    ASSERT_EQ(dx->open(320, 200, FUZZY32, -1, -1, -1), 1);
    Surface native(dx.get(), 8, 8, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
    Surface software(dx.get(), 8, 8, Format(ABGR8888), KIND_MEMORY, -1, -1, -1);
    ASSERT_EQ(native.nativeType(), 2);
    ASSERT_EQ(software.nativeType(), 0);

    directx::DirectDraw::simulatedWindowAlreadySet = 1;
    ASSERT_EQ(dx->open(640, 480, FUZZY16, -1, -1, -1), 1) << "the retry succeeds";
    EXPECT_EQ(directx::DirectDraw::simulatedWindowAlreadySet, 0);
    EXPECT_EQ(screenWidth(), 640);
    EXPECT_EQ(screenBits(), 16);
    ASSERT_NE(dx->displaySurface(), nullptr);
    EXPECT_TRUE(dx->displaySurface()->ok());
    EXPECT_EQ(WindowLookup<IDirectX>::find(dx->window()), dx.get());
    EXPECT_FALSE(native.ok()) << "belonged to the old DirectDraw object";
    EXPECT_TRUE(software.ok());

    directx::DirectDraw::simulatedWindowAlreadySet = 2;
    EXPECT_EQ(dx->open(320, 200, 32, -1, -1, -1), 0) << "the retry is answered the same";
    directx::DirectDraw::simulatedWindowAlreadySet = 0;
    EXPECT_EQ(dx->displaySurface(), nullptr);
    EXPECT_EQ(dx->window(), nullptr);
    EXPECT_EQ(screenWidth(), 640);
    ASSERT_EQ(dx->open(320, 200, FUZZY32, -1, -1, -1), 1) << "usable afterwards";
}
