// Opens a 320x200 display, full screen where the platform can (else a window), and shows a
// colour gradient until a key is pressed: red grows to the right, green downwards. The pixels
// are written into a 32-bit surface the program locks; update() copies it to the display,
// converting it to whatever format the display has.
#include <ptc/PTC.h>
#include <ptc/Surface.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

int main() {
    PTC display;
    if (!display.init(320, 200, FUZZY32, FULLSCREEN_OUTPUT, -1, -1) || !display.isOpen())
        display.init(320, 200, FUZZY32, WINDOW_OUTPUT, -1, -1);
    if (!display.isOpen()) {
        display.error("could not open a display"); // on standard error, or a box on Windows
        return 1;
    }
    display.setTitle("gradient");

    Surface surface(display, 320, 200, Format(ARGB8888), KIND_MEMORY, -1, -1, -1);
    if (!surface.ok()) {
        display.error("could not create a surface");
        return 1;
    }
    auto* pixels = static_cast<uint8_t*>(surface.lock(1));
    if (!pixels) {
        display.error("could not lock the surface");
        return 1;
    }
    for (int32_t y = 0; y < surface.height(); ++y) {
        // Rows are pitch bytes apart, which may be more than the width's.
        auto* row = reinterpret_cast<uint32_t*>(pixels + y * surface.pitch());
        const uint32_t green = uint32_t(y * 255 / (surface.height() - 1));
        for (int32_t x = 0; x < surface.width(); ++x) {
            const uint32_t red = uint32_t(x * 255 / (surface.width() - 1));
            row[x] = 0xff000000u | red << 16 | green << 8 | 0x80u;
        }
    }
    surface.unlock();

    // Shown again and again, as a program that animates would; keyPressed() never blocks.
    long frames = 0;
    while (!display.keyPressed()) {
        if (!surface.update()) {
            display.error("could not show the surface");
            return 1;
        }
        ++frames;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::printf("gradient: %ld frames at %dx%d, ended by a key\n", frames, int(display.width()),
                int(display.height()));
    return 0;
}
