#include "backends/gdi/GDI.h"
#include "display/Palette.h"
#include "display/Surface.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// Waits until the window thread has handled everything sent before.
void sync(HWND window) {
    DWORD_PTR ignored;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
}

SIZE clientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return SIZE{r.right, r.bottom};
}

// What the screen shows of the client area, as 0xRRGGBB, row by row: a screenshot, so it is
// what the user would see, not what was drawn into the window's DC.
std::vector<uint32_t> screenshot(HWND window, int width, int height) {
    // Wine copies a window's drawing to the X server from the window thread's message loop,
    // at most every 50 ms; waiting longer while that thread idles lets the last frame through.
    sync(window);
    Sleep(120);
    sync(window);
    std::vector<uint32_t> pixels(size_t(width) * height);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint32_t*>(bits)[i] & 0xffffff;
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Places the window so that its client area has that size and starts at the screen's corner,
// as a user dragging it there would.
void placeClient(HWND window, int width, int height) {
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, DWORD(GetWindowLongA(window, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongA(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    sync(window);
}

// A pattern in which neighbouring pixels differ, so a shifted or flipped picture shows.
uint32_t pattern(int x, int y) {
    return (uint32_t(x * 7 + y) & 0xff) << 16 | (uint32_t(y * 5) & 0xff) << 8 |
           (uint32_t(x ^ y) & 0xff);
}

void fillArgb(Surface& surface) {
    auto* row = static_cast<uint8_t*>(surface.lock(1));
    ASSERT_NE(row, nullptr);
    for (int y = 0; y < surface.height(); ++y, row += surface.pitch())
        for (int x = 0; x < surface.width(); ++x) {
            const uint32_t p = pattern(x, y);
            std::memcpy(row + 4 * x, &p, 4);
        }
    surface.unlock();
}

// Counts the pixels of a shot whose colour is not the pattern scaled by (sx, sy).
int mismatches(const std::vector<uint32_t>& shot, int width, int height, int scale) {
    int bad = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (shot[size_t(y) * width + x] != pattern(x / scale, y / scale)) {
                if (bad < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex
                                  << shot[size_t(y) * width + x] << " wanted "
                                  << pattern(x / scale, y / scale);
                ++bad;
            }
    return bad;
}

struct Opened {
    std::unique_ptr<IGDI> gdi{new IGDI};
    HWND window = nullptr;
    bool open(int width, int height) {
        if (!gdi->open(width, height, FUZZY32, WINDOW_OUTPUT, -1, -1)) return false;
        window = gdi->window();
        placeClient(window, width, height);
        return true;
    }
};

} // namespace

TEST(GdiBackEnd, ConstructionOffersTheDesktop) {
    IGDI gdi;
    ASSERT_TRUE(gdi.ok());
    char name[8] = "xxxxxxx";
    gdi.name(name);
    EXPECT_STREQ(name, "GDI");
    EXPECT_EQ(gdi.format(), desktopFormat());
    EXPECT_EQ(gdi.bits(), desktopFormat().bits);
    EXPECT_EQ(gdi.bytes(), desktopFormat().bytes);
    EXPECT_EQ(gdi.thirdOption(), 10);
    EXPECT_EQ(gdi.waitRetrace(), 0);
    EXPECT_EQ(gdi.displaySurface(), nullptr);
    EXPECT_EQ(gdi.window(), nullptr);
    List<MODE> modes;
    ASSERT_EQ(gdi.getModes(modes), 1);
    ASSERT_EQ(modes.count(), 1);
    const MODE& mode = *modes.first()->element;
    EXPECT_STREQ(mode.interfaceName, "GDI");
    EXPECT_EQ(mode.width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(mode.height, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(mode.format, desktopFormat());
    EXPECT_EQ(mode.output, WINDOW_OUTPUT);
    EXPECT_EQ(mode.secondOption, screenRefreshRate());
    EXPECT_EQ(mode.thirdOption, 10);
    WNDCLASSA info;
    EXPECT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "PTC_GDI_WINDOWED", &info));
    EXPECT_EQ(info.style, UINT(CS_HREDRAW | CS_VREDRAW));
    EXPECT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "PTC_GDI_FULLSCREEN", &info));
    // The mode it offers opens.
    ASSERT_TRUE(gdi.openMode(mode));
    EXPECT_EQ(gdi.getMode().secondOption, mode.secondOption);
    MODE other = mode;
    std::strcpy(other.interfaceName, "gdi");
    EXPECT_TRUE(gdi.openMode(other)) << "names compare ignoring case";
    std::strcpy(other.interfaceName, "DirectX");
    EXPECT_FALSE(gdi.openMode(other));
}

TEST(GdiBackEnd, RefusedOpensChangeNothing) {
    IGDI gdi;
    const Format desktop = desktopFormat();
    const Format other(desktop.id == ARGB8888 ? RGB565 : ARGB8888);
    struct Case {
        int32_t width, height, output, second, third;
        const char* why;
    } cases[] = {
        {320, 200, FULLSCREEN_OUTPUT, -1, -1, "full screen is DirectDraw's"},
        {320, 200, 42, -1, -1, "unknown output"},
        {320, 200, -1, 7, -1, "second option never accepted"},
        {320, 200, -1, -1, 11, "third option other than 10"},
        {0, 200, -1, -1, -1, "zero width"},
        {320, -5, -1, -1, -1, "negative height"},
        {INT32_MAX, 200, -1, -1, -1, "outer width past 32 bits"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(gdi.open(c.width, c.height, FUZZY32, c.output, c.second, c.third)) << c.why;
        EXPECT_EQ(gdi.window(), nullptr) << c.why;
        EXPECT_EQ(gdi.displaySurface(), nullptr) << c.why;
    }
    EXPECT_FALSE(gdi.openFormat(320, 200, other, -1, -1, -1)) << "only the desktop format";
    EXPECT_FALSE(gdi.openFormat(320, 200, Format(), -1, -1, -1));
    EXPECT_FALSE(gdi.open(320, 200, other.id, -1, -1, -1));
    EXPECT_EQ(gdi.window(), nullptr);
}

TEST(GdiBackEnd, OpensAWindowOfTheRequestedClientSize) {
    for (int32_t output : {-1, WINDOW_OUTPUT}) {
        IGDI gdi;
        ASSERT_TRUE(gdi.open(320, 200, FUZZY32, output, -1, -1)) << output;
        HWND window = gdi.window();
        ASSERT_TRUE(IsWindow(window));
        char className[64] = {};
        GetClassNameA(window, className, sizeof className);
        EXPECT_STREQ(className, "PTC_GDI_WINDOWED");
        EXPECT_EQ(DWORD(GetWindowLongA(window, GWL_STYLE)) & WS_OVERLAPPEDWINDOW,
                  DWORD(WS_OVERLAPPEDWINDOW));
        EXPECT_TRUE(IsWindowVisible(window));
        const SIZE client = clientSize(window);
        EXPECT_EQ(client.cx, 320);
        EXPECT_EQ(client.cy, 200);
        EXPECT_EQ(gdi.width(), 320);
        EXPECT_EQ(gdi.height(), 200);
        EXPECT_EQ(gdi.output(), WINDOW_OUTPUT);
        EXPECT_EQ(gdi.secondOption(), 0);
        EXPECT_EQ(gdi.format(), desktopFormat()) << "FUZZY32 gives the desktop format";
        const MODE mode = gdi.getMode();
        EXPECT_STREQ(mode.interfaceName, "GDI");
        EXPECT_EQ(mode.width, 320);
        EXPECT_EQ(mode.format, desktopFormat());
        EXPECT_EQ(WindowLookup<IGDI>::find(window), &gdi);
        EXPECT_EQ(WindowLookup<IGDI>::count(window), 1);
        Surface* display = gdi.displaySurface();
        ASSERT_NE(display, nullptr);
        EXPECT_TRUE(display->ok());
        EXPECT_EQ(display->width(), 320);
        EXPECT_EQ(display->kind(), KIND_PRIMARY);
        EXPECT_EQ(display->lock(1), nullptr) << "the display has no pixels";
        EXPECT_EQ(display->format(), desktopFormat());
    }
    // Every fuzzy and type code, and the depth itself, give the desktop format.
    IGDI gdi;
    for (int32_t code :
         {FUZZY8, FUZZY16, FUZZY32, DIRECT, INDEXED, desktopFormat().bits, desktopFormat().id}) {
        EXPECT_TRUE(gdi.open(64, 48, code, -1, -1, -1)) << code;
        EXPECT_EQ(gdi.format(), desktopFormat()) << code;
    }
    EXPECT_TRUE(gdi.openFormat(64, 48, desktopFormat(), -1, 0, 10));
}

TEST(GdiBackEnd, ReopenKeepsTheWindowWhenItFitsAndLeavesNoStaleRecord) {
    IGDI gdi;
    ASSERT_TRUE(gdi.open(200, 100, FUZZY32, -1, -1, -1));
    HWND window = gdi.window();
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    sync(window);
    ASSERT_TRUE(gdi.open(300, 150, FUZZY32, -1, -1, -1));
    EXPECT_EQ(gdi.window(), window) << "a window that still fits is kept";
    SIZE client = clientSize(window);
    EXPECT_EQ(client.cx, 300);
    EXPECT_EQ(client.cy, 150);
    EXPECT_EQ(WindowLookup<IGDI>::count(window), 1) << "one record per window";
    EXPECT_EQ(gdi.displaySurface()->width(), 300);

    // Too wide for the screen from where it stands: a new window.
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    ASSERT_TRUE(gdi.open(screenWidth, 120, FUZZY32, -1, -1, -1));
    HWND second = gdi.window();
    EXPECT_FALSE(IsWindow(window)) << "the old window is gone";
    EXPECT_EQ(WindowLookup<IGDI>::count(window), second == window ? 1 : 0);
    EXPECT_EQ(WindowLookup<IGDI>::count(second), 1);
    client = clientSize(second);
    EXPECT_EQ(client.cx, screenWidth);
    EXPECT_EQ(client.cy, 120);

    gdi.close();
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(WindowLookup<IGDI>::count(second), 0);
    EXPECT_EQ(gdi.displaySurface(), nullptr);
    EXPECT_EQ(gdi.window(), nullptr);

    auto other = std::make_unique<IGDI>();
    ASSERT_TRUE(other->open(100, 80, FUZZY32, -1, -1, -1));
    HWND third = other->window();
    other.reset();
    EXPECT_FALSE(IsWindow(third)) << "destruction closes the window";
    EXPECT_EQ(WindowLookup<IGDI>::find(third), nullptr);
}

TEST(GdiBackEnd, SurfacesAreDibSectionsWhereGdiCanHoldThem) {
    IGDI gdi;
    for (int32_t id = FIRST_FORMAT_ID; id <= LAST_STANDARD_ID; ++id) {
        const Format f(id);
        size_t size;
        const bool held = makeDibInfo(33, 17, f, BOTTOM_UP, size) != nullptr;
        Surface s(&gdi, 33, 17, f, KIND_MEMORY, -1, -1, -1);
        if (f.bytes == 0) {
            EXPECT_FALSE(s.ok()) << f.name() << ": fake modes have no pixels anywhere";
            continue;
        }
        ASSERT_TRUE(s.ok()) << f.name();
        EXPECT_EQ(s.nativeType(), held ? NATIVE_SURFACE_DIB : 0) << f.name();
        EXPECT_EQ(s.kind(), KIND_MEMORY);
        EXPECT_EQ(s.variant(), 10);
        if (!held) {
            EXPECT_EQ(s.orientation(), TOP_DOWN) << "a software surface";
            continue;
        }
        const int32_t row = 33 * f.bytes + dibAdvance(33, f.bytes);
        EXPECT_EQ(s.orientation(), BOTTOM_UP) << f.name();
        EXPECT_EQ(s.advance(), dibAdvance(33, f.bytes)) << f.name();
        EXPECT_EQ(s.pitch(), -row) << f.name();
        auto* dib = static_cast<DibSection*>(s.nativeData());
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(static_cast<void*>(&dib->bitmap), s.nativeData());
        EXPECT_EQ(s.lock(1), dib->bits + row * 16) << "row 0 is the last row in memory";
        EXPECT_EQ(s.lockCount(), 1);
        s.unlock();
        s.unlock();
        EXPECT_EQ(s.lockCount(), 0);
    }
    // Top-down on request; the advance GDI imposes may be asked for, no other.
    Surface top(&gdi, 5, 2, Format(RGB888), KIND_ANY, TOP_DOWN, 1, 10);
    ASSERT_TRUE(top.ok());
    EXPECT_EQ(top.nativeType(), NATIVE_SURFACE_DIB);
    EXPECT_EQ(top.pitch(), 16);
    Surface odd(&gdi, 5, 2, Format(RGB888), KIND_MEMORY, TOP_DOWN, 0, 10);
    ASSERT_TRUE(odd.ok()) << "the software surface takes what GDI cannot";
    EXPECT_EQ(odd.nativeType(), 0);
    Surface primary(&gdi, 5, 2, Format(ARGB8888), KIND_PRIMARY, -1, -1, -1);
    EXPECT_FALSE(primary.ok()) << "only the display is a primary surface";
}

TEST(GdiBackEnd, PresentsPixelForPixelAndStretched) {
    Opened o;
    ASSERT_TRUE(o.open(320, 200));
    for (int32_t orientation : {BOTTOM_UP, TOP_DOWN}) {
        SCOPED_TRACE(orientation == BOTTOM_UP ? "bottom-up: DrawDib" : "top-down: StretchBlt");
        placeClient(o.window, 320, 200);
        Surface s(o.gdi.get(), 320, 200, Format(ARGB8888), KIND_MEMORY, orientation, -1, -1);
        ASSERT_EQ(s.nativeType(), NATIVE_SURFACE_DIB);
        fillArgb(s);
        ASSERT_TRUE(s.update());
        EXPECT_EQ(o.gdi->paintSurface(), &s) << "a whole-client presentation";
        EXPECT_EQ(mismatches(screenshot(o.window, 320, 200), 320, 200, 1), 0);

        // The user enlarges the window: the display is stretched to the new client area.
        placeClient(o.window, 640, 400);
        ASSERT_EQ(clientSize(o.window).cx, 640);
        ASSERT_TRUE(s.update());
        EXPECT_EQ(mismatches(screenshot(o.window, 640, 400), 640, 400, 2), 0);

        // A part goes to its scaled place and nowhere else.
        HDC dc = GetDC(o.window);
        RECT all{0, 0, 640, 400};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        ReleaseDC(o.window, dc);
        ASSERT_TRUE(
            s.copy(*o.gdi->displaySurface(), Rect(10, 20, 30, 50), Rect(100, 60, 120, 90), 0));
        const std::vector<uint32_t> shot = screenshot(o.window, 640, 400);
        int bad = 0;
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 640; ++x) {
                const bool inside = x >= 200 && x < 240 && y >= 120 && y < 180;
                const uint32_t want = inside ? pattern(10 + (x - 200) / 2, 20 + (y - 120) / 2) : 0;
                bad += shot[size_t(y) * 640 + x] != want;
            }
        EXPECT_EQ(bad, 0);
        EXPECT_EQ(o.gdi->paintSurface(), &s) << "a partial presentation keeps the paint surface";
    }
}

TEST(GdiBackEnd, PresentsRgb565AndIndexedSources) {
    Opened o;
    ASSERT_TRUE(o.open(160, 96));
    for (int32_t orientation : {BOTTOM_UP, TOP_DOWN}) {
        SCOPED_TRACE(orientation == BOTTOM_UP ? "bottom-up" : "top-down");
        // RGB565 with every channel at its extremes and in the middle: exact in 8 bits.
        Surface s(o.gdi.get(), 160, 96, Format(RGB565), KIND_MEMORY, orientation, -1, -1);
        ASSERT_EQ(s.nativeType(), NATIVE_SURFACE_DIB);
        auto* row = static_cast<uint8_t*>(s.lock(1));
        for (int y = 0; y < 96; ++y, row += s.pitch())
            for (int x = 0; x < 160; ++x) {
                const uint16_t r = (x & 1) ? 31 : 0, g = (y & 1) ? 63 : 0, b = (x & 2) ? 31 : 0;
                const uint16_t p = uint16_t(r << 11 | g << 5 | b);
                std::memcpy(row + 2 * x, &p, 2);
            }
        s.unlock();
        ASSERT_TRUE(s.update());
        std::vector<uint32_t> shot = screenshot(o.window, 160, 96);
        int bad = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 160; ++x) {
                const uint32_t want =
                    ((x & 1) ? 0xff0000 : 0) | ((y & 1) ? 0xff00 : 0) | ((x & 2) ? 0xff : 0);
                bad += shot[size_t(y) * 160 + x] != want;
            }
        EXPECT_EQ(bad, 0);

        // INDEX8 through its own palette.
        Surface indexed(o.gdi.get(), 160, 96, Format(INDEX8), KIND_MEMORY, orientation, -1, -1);
        ASSERT_EQ(indexed.nativeType(), NATIVE_SURFACE_DIB);
        Palette palette;
        uint32_t* colours = palette.lock();
        for (int i = 0; i < 256; ++i) colours[i] = 0xff000000u | pattern(i, 255 - i);
        palette.unlock();
        ASSERT_TRUE(indexed.setPalette(palette));
        row = static_cast<uint8_t*>(indexed.lock(1));
        for (int y = 0; y < 96; ++y, row += indexed.pitch())
            for (int x = 0; x < 160; ++x) row[x] = uint8_t(x * 3 + y * 7);
        indexed.unlock();
        ASSERT_TRUE(indexed.update());
        shot = screenshot(o.window, 160, 96);
        bad = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 160; ++x) {
                const int i = uint8_t(x * 3 + y * 7);
                bad += shot[size_t(y) * 160 + x] != pattern(i, 255 - i);
            }
        EXPECT_EQ(bad, 0);
    }
}

TEST(GdiBackEnd, SoftwareSurfacesGoThroughTheStagingSurface) {
    Opened o;
    ASSERT_TRUE(o.open(160, 90));
    // BGR888 cannot be a DIB: the back end makes a memory surface instead.
    Surface s(o.gdi.get(), 160, 90, Format(BGR888), KIND_MEMORY, -1, -1, -1);
    ASSERT_TRUE(s.ok());
    ASSERT_EQ(s.nativeType(), 0);
    auto* row = static_cast<uint8_t*>(s.lock(1));
    for (int y = 0; y < 90; ++y, row += s.pitch())
        for (int x = 0; x < 160; ++x) {
            const uint32_t p = pattern(x, y);
            row[3 * x] = uint8_t(p >> 16); // BGR888 keeps red in the first byte
            row[3 * x + 1] = uint8_t(p >> 8);
            row[3 * x + 2] = uint8_t(p);
        }
    s.unlock();
    ASSERT_TRUE(s.update());
    EXPECT_EQ(mismatches(screenshot(o.window, 160, 90), 160, 90, 1), 0);
    Surface* painted = o.gdi->paintSurface();
    ASSERT_NE(painted, nullptr);
    EXPECT_NE(painted, &s) << "the staging surface is repainted, not the memory surface";
    EXPECT_EQ(painted->nativeType(), NATIVE_SURFACE_DIB);

    // A surface of the software interface itself, presented by copying to the display.
    Surface plain(160, 90, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
    ASSERT_TRUE(plain.ok());
    fillArgb(plain);
    HDC dc = GetDC(o.window);
    RECT all{0, 0, 160, 90};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(o.window, dc);
    ASSERT_TRUE(plain.copy(*o.gdi->displaySurface(), 0));
    EXPECT_EQ(mismatches(screenshot(o.window, 160, 90), 160, 90, 1), 0);

    // Nothing is copied out of the display.
    EXPECT_FALSE(o.gdi->displaySurface()->copy(plain, 0));
}

TEST(GdiBackEnd, WmPaintRedrawsTheLastWholePresentation) {
    Opened o;
    ASSERT_TRUE(o.open(160, 100));
    auto s =
        std::make_unique<Surface>(o.gdi.get(), 160, 100, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
    fillArgb(*s);
    ASSERT_TRUE(s->update());
    auto wipe = [&] {
        HDC dc = GetDC(o.window);
        RECT all{0, 0, 160, 100};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        ReleaseDC(o.window, dc);
        sync(o.window);
    };
    wipe();
    ASSERT_EQ(screenshot(o.window, 160, 100)[0], 0xffffffu);
    InvalidateRect(o.window, nullptr, FALSE);
    UpdateWindow(o.window);
    EXPECT_EQ(mismatches(screenshot(o.window, 160, 100), 160, 100, 1), 0)
        << "repainted without the application";

    // Covered by another window and uncovered again.
    HWND cover = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(cover, nullptr);
    UpdateWindow(cover);
    DestroyWindow(cover);
    UpdateWindow(o.window);
    EXPECT_EQ(mismatches(screenshot(o.window, 160, 100), 160, 100, 1), 0);

    // Once the surface is gone, a repaint is black.
    s.reset();
    EXPECT_EQ(o.gdi->paintSurface(), nullptr);
    wipe();
    InvalidateRect(o.window, nullptr, FALSE);
    UpdateWindow(o.window);
    EXPECT_EQ(screenshot(o.window, 160, 100)[160 * 30 + 40], 0u);
}

TEST(GdiBackEnd, AttachedToACallersWindow) {
    HWND window = CreateWindowExA(0, "STATIC", "attached", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  200, 150, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    placeClient(window, 160, 100);
    {
        IGDI gdi(window);
        ASSERT_TRUE(gdi.ok());
        EXPECT_EQ(gdi.width(), 160);
        EXPECT_EQ(gdi.height(), 100);
        ASSERT_NE(gdi.displaySurface(), nullptr) << "usable at once";
        EXPECT_EQ(gdi.displaySurface()->width(), 160);
        EXPECT_FALSE(gdi.open(160, 100, FUZZY32, -1, -1, -1)) << "it never makes windows";
        List<MODE> modes;
        gdi.getModes(modes);
        EXPECT_TRUE(modes.empty());
        Surface s(&gdi, 160, 100, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
        fillArgb(s);
        ASSERT_TRUE(s.update());
        EXPECT_EQ(mismatches(screenshot(window, 160, 100), 160, 100, 1), 0);
    }
    EXPECT_TRUE(IsWindow(window)) << "the caller's window stays";
    DestroyWindow(window);
}

// Wine on Xvfb gives no 8-bit desktop, so the palette logic runs with one pretended.
TEST(GdiBackEnd, PaletteOfAnEightBitDesktop) {
    IGDI direct;
    Palette palette;
    uint32_t* colours = palette.lock();
    for (int i = 0; i < 256; ++i) colours[i] = uint32_t(i) << 16 | uint32_t(255 - i);
    palette.unlock();
    EXPECT_EQ(direct.setPalette(palette), 0) << "a direct desktop has no palette";
    Palette read;
    EXPECT_EQ(direct.getPalette(read), 0);

    IGDI gdi(nullptr, Format(INDEX8));
    ASSERT_TRUE(gdi.ok());
    EXPECT_EQ(gdi.logicalPaletteHandle(), nullptr);
    ASSERT_TRUE(gdi.openFormat(160, 96, Format(INDEX8), -1, -1, -1));
    HWND window = gdi.window();
    placeClient(window, 160, 96);
    ASSERT_EQ(gdi.setPalette(palette), 1);
    ASSERT_NE(gdi.logicalPaletteHandle(), nullptr);
    PALETTEENTRY entry;
    ASSERT_EQ(GetPaletteEntries(gdi.logicalPaletteHandle(), 200, 1, &entry), 1u);
    EXPECT_EQ(entry.peRed, 200);
    EXPECT_EQ(entry.peBlue, 55);
    ASSERT_EQ(gdi.getPalette(read), 1);
    EXPECT_TRUE(read == palette);

    // The palette messages realise it and never hang the window thread.
    EXPECT_EQ(SendMessageA(window, WM_QUERYNEWPALETTE, 0, 0), 0);
    EXPECT_EQ(SendMessageA(window, WM_PALETTECHANGED, WPARAM(window), 0), 0);
    EXPECT_EQ(SendMessageA(window, WM_PALETTECHANGED, 0, 0), 0);

    // A top-down indexed source is drawn with StretchBlt in the display's colours.
    Surface s(&gdi, 160, 96, Format(INDEX8), KIND_MEMORY, TOP_DOWN, -1, -1);
    ASSERT_EQ(s.nativeType(), NATIVE_SURFACE_DIB);
    auto* row = static_cast<uint8_t*>(s.lock(1));
    for (int y = 0; y < 96; ++y, row += s.pitch())
        for (int x = 0; x < 160; ++x) row[x] = uint8_t(x + y * 4);
    s.unlock();
    ASSERT_TRUE(s.update());
    std::vector<uint32_t> shot = screenshot(window, 160, 96);
    int bad = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 160; ++x)
            bad += shot[size_t(y) * 160 + x] != (colours[uint8_t(x + y * 4)] & 0xffffff);
    EXPECT_EQ(bad, 0);
    // The window DC is left without the logical palette, so it can be replaced.
    HPALETTE first = gdi.logicalPaletteHandle();
    ASSERT_EQ(gdi.setPalette(palette), 1);
    EXPECT_EQ(GetObjectType(first), 0u) << "the previous logical palette was deleted";

    // A direct source on an 8-bit desktop still shows.
    Surface argb(&gdi, 160, 96, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
    fillArgb(argb);
    EXPECT_TRUE(argb.update());
    gdi.close();
    EXPECT_EQ(WindowLookup<IGDI>::count(window), 0);
}

namespace {

struct PokeShared {
    HWND window;
    volatile LONG stop;
};

// Repaints and palette messages from a thread of its own, until told to stop.
DWORD WINAPI pokeWindow(void* p) {
    auto* sh = static_cast<PokeShared*>(p);
    while (!sh->stop) {
        InvalidateRect(sh->window, nullptr, FALSE);
        UpdateWindow(sh->window);
        SendMessageA(sh->window, WM_QUERYNEWPALETTE, 0, 0);
        SendMessageA(sh->window, WM_PALETTECHANGED, 0, 0);
    }
    return 0;
}

} // namespace

// Presenting on this thread while the window thread repaints and answers palette messages
// must never deadlock: both take paintLock and paletteLock.
TEST(GdiBackEnd, ConcurrentRepaintsAndPaletteMessages) {
    IGDI gdi(nullptr, Format(INDEX8));
    ASSERT_TRUE(gdi.openFormat(160, 100, Format(INDEX8), -1, -1, -1));
    HWND window = gdi.window();
    Palette palette;
    uint32_t* colours = palette.lock();
    for (int i = 0; i < 256; ++i) colours[i] = uint32_t(i * 0x010101);
    palette.unlock();
    ASSERT_TRUE(gdi.setPalette(palette));
    Surface s(&gdi, 160, 100, Format(INDEX8), KIND_MEMORY, TOP_DOWN, -1, -1);
    ASSERT_TRUE(s.ok());

    PokeShared shared{window, 0};
    HANDLE thread = CreateThread(nullptr, 0, pokeWindow, &shared, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    int presented = 0;
    const DWORD start = GetTickCount();
    for (int i = 0; i < 300 && GetTickCount() - start < 20000; ++i) {
        presented += s.update() ? 1 : 0;
        if (i % 50 == 0) gdi.setPalette(palette);
    }
    InterlockedExchange(&shared.stop, 1);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0) << "the window thread hung";
    CloseHandle(thread);
    EXPECT_EQ(presented, 300);
}

namespace {
bool eightBitDesktop() {
    return desktopFormat().id == INDEX8;
}
} // namespace

// These need a real 8-bit desktop (tests/wine/eight_bit.sh runs them on an 8-bit X server).
// Wine there realises logical palettes into the system palette, but its drawing on a
// PseudoColor visual does not reproduce them on screen, so colours are checked in the system
// palette rather than in a screenshot. The concurrency test above also runs there, where
// realisation really repaints.
TEST(GdiEightBitDesktop, LogicalPaletteIsRealisedAndPresentationsRun) {
    if (!eightBitDesktop()) GTEST_SKIP() << "the desktop is not 8-bit";
    IGDI gdi;
    ASSERT_EQ(gdi.format().id, INDEX8);
    ASSERT_TRUE(gdi.open(160, 96, FUZZY8, -1, -1, -1));
    HWND window = gdi.window();
    auto systemHas = [](const uint32_t* colours, int first, int last) {
        PALETTEENTRY system[256];
        HDC screen = GetDC(nullptr);
        const UINT n = GetSystemPaletteEntries(screen, 0, 256, system);
        ReleaseDC(nullptr, screen);

        int missing = 0;
        for (int i = first; i <= last; ++i) {
            bool found = false;
            for (UINT j = 0; j < n && !found; ++j)
                found = system[j].peRed == uint8_t(colours[i] >> 16) &&
                        system[j].peGreen == uint8_t(colours[i] >> 8) &&
                        system[j].peBlue == uint8_t(colours[i]);
            missing += !found;
        }
        return missing;
    };
    for (int round = 0; round < 2; ++round) {
        // Colours no static entry has, all different; the second round changes them all.
        Palette palette;
        uint32_t* colours = palette.lock();
        for (int i = 0; i < 256; ++i)
            colours[i] =
                uint32_t(i) << 16 | uint32_t(i / 2 + 40 + round) << 8 | uint32_t(77 + round);
        palette.unlock();
        ASSERT_EQ(gdi.setPalette(palette), 1);
        sync(window); // the posted WM_PALETTECHANGED realises it
        // The foreground realisation finds entries to change and repaints.
        EXPECT_EQ(SendMessageA(window, WM_QUERYNEWPALETTE, 0, 0), 0);
        // Wine hands out only the X colour cells still free, and only at the first
        // realisation, so just the first hundred entries are looked for, once.
        if (round == 0) {
            EXPECT_EQ(systemHas(colours, 20, 119), 0);
        }
        Palette read;
        ASSERT_EQ(gdi.getPalette(read), 1);
        EXPECT_TRUE(read == palette);

        for (int32_t orientation : {TOP_DOWN, BOTTOM_UP}) {
            Surface s(&gdi, 160, 96, Format(INDEX8), KIND_MEMORY, orientation, -1, -1);
            ASSERT_EQ(s.nativeType(), NATIVE_SURFACE_DIB);
            ASSERT_TRUE(s.setPalette(palette));
            EXPECT_TRUE(s.update()) << orientation;
            EXPECT_EQ(gdi.paintSurface(), &s);
        }
        Surface argb(&gdi, 160, 96, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
        fillArgb(argb);
        EXPECT_TRUE(argb.update()) << "a direct source is halftoned by DrawDib";
        Surface top(&gdi, 160, 96, Format(RGB565), KIND_MEMORY, TOP_DOWN, -1, -1);
        EXPECT_TRUE(top.update()) << "and matched by StretchBlt";
    }
    HPALETTE handle = gdi.logicalPaletteHandle();
    gdi.close();
    EXPECT_EQ(WindowLookup<IGDI>::count(window), 0);
    EXPECT_NE(GetObjectType(handle), 0u) << "the palette outlives the window, not the object";
}

// Needs a 16-bit desktop (tests/wine/desktop_depth.sh runs it on a 16-bit X server).
TEST(GdiSixteenBitDesktop, Fuzzy32OpensRgb565AndPresents) {
    if (desktopFormat().id != RGB565) GTEST_SKIP() << "the desktop is not 16-bit";
    IGDI gdi;
    ASSERT_TRUE(gdi.open(160, 96, FUZZY32, -1, -1, -1));
    EXPECT_EQ(gdi.format().id, RGB565);
    EXPECT_EQ(gdi.displaySurface()->format().id, RGB565);
    HWND window = gdi.window();
    placeClient(window, 160, 96);
    for (int32_t id : {ARGB8888, RGB565}) {
        // Pure channels survive 5 and 6 bits exactly.
        Surface s(&gdi, 160, 96, Format(id), KIND_MEMORY, -1, -1, -1);
        ASSERT_EQ(s.nativeType(), NATIVE_SURFACE_DIB);
        auto* row = static_cast<uint8_t*>(s.lock(1));
        for (int y = 0; y < 96; ++y, row += s.pitch())
            for (int x = 0; x < 160; ++x)
                s.format().pack((x & 1) ? 255 : 0, (y & 1) ? 255 : 0, (x & 2) ? 255 : 0, 255,
                                row + x * s.bytes(), RGB_MODEL);
        s.unlock();
        ASSERT_TRUE(s.update());
        const std::vector<uint32_t> shot = screenshot(window, 160, 96);
        int bad = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 160; ++x) {
                const uint32_t want =
                    ((x & 1) ? 0xff0000 : 0) | ((y & 1) ? 0xff00 : 0) | ((x & 2) ? 0xff : 0);
                bad += shot[size_t(y) * 160 + x] != want;
            }
        EXPECT_EQ(bad, 0) << Format(id).name();
    }
}
