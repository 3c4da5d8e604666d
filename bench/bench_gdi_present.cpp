// Speed of presenting a 320x200 frame through the GDI back end: DrawDib (bottom-up DIB),
// StretchBlt (top-down DIB) and the staging path (a memory surface converted first), into a
// client of the display's size and of twice it, against memcpy of the frame's bytes.
#include "Timing.h"
#include "backends/gdi/GDI.h"
#include "display/Surface.h"

#include <windows.h>

#include <cstdio>

namespace {

void setClient(HWND window, int width, int height) {
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, DWORD(GetWindowLongA(window, GWL_STYLE)), FALSE, 0);
    SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

int main() {
    IGDI gdi;
    if (!gdi.ok() || !gdi.open(320, 200, FUZZY32, -1, -1, -1)) {
        std::printf("no GDI display\n");
        return 1;
    }
    const double pixels = 320.0 * 200.0;
    const double copy = bench::memcpySeconds(320 * 200 * 4);
    std::printf("desktop %s; memcpy of a 320x200x4 frame: %.1f us\n", gdi.format().name(),
                copy * 1e6);
    Surface bottomUp(&gdi, 320, 200, Format(ARGB8888), KIND_MEMORY, BOTTOM_UP, -1, -1);
    Surface topDown(&gdi, 320, 200, Format(ARGB8888), KIND_MEMORY, TOP_DOWN, -1, -1);
    Surface memory(&gdi, 320, 200, Format(BGR888), KIND_MEMORY, -1, -1, -1);
    struct Case {
        const char* name;
        Surface* surface;
    } cases[] = {{"DrawDib, bottom-up ARGB8888", &bottomUp},
                 {"StretchBlt, top-down ARGB8888", &topDown},
                 {"staging, memory BGR888", &memory}};
    for (int scale : {1, 2}) {
        setClient(gdi.window(), 320 * scale, 200 * scale);
        for (const Case& c : cases) {
            const double seconds = bench::secondsPerCall([&] { c.surface->update(); }, 8);
            std::printf("%-32s client x%d %9.1f us/frame %8.1f Mpixel/s %6.2f x memcpy\n", c.name,
                        scale, seconds * 1e6, pixels / seconds / 1e6, seconds / copy);
        }
    }
    return 0;
}
