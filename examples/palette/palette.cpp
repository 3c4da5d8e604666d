// An 8-bit surface whose pixels never change while its palette turns: each pixel holds an
// index into 256 colours, and every frame the colours move one place along, so rings of
// colour flow outwards. The copy to the display translates indices through the surface's
// palette, so this runs on displays of any depth.
#include <ptc/PTC.h>
#include <ptc/Palette.h>
#include <ptc/Surface.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>

namespace {

// A smooth rainbow over the 256 places, so the turning palette has no seam.
uint32_t rainbow(int place) {
    const double angle = place * 2 * 3.14159265358979 / 256;
    auto channel = [angle](double phase) {
        return uint32_t(127.5 + 127.5 * std::sin(angle + phase));
    };
    return 0xff000000u | channel(0) << 16 | channel(2.094) << 8 | channel(4.189);
}

} // namespace

int main() {
    PTC display;
    if (!display.init(320, 200, FUZZY32, FULLSCREEN_OUTPUT, -1, -1) || !display.isOpen())
        display.init(320, 200, FUZZY32, WINDOW_OUTPUT, -1, -1);
    if (!display.isOpen()) {
        display.error("could not open a display");
        return 1;
    }
    display.setTitle("palette");

    Surface surface(display, 320, 200, Format(INDEX8), KIND_MEMORY, -1, -1, -1);
    // The surface keeps its own copy of the palette; later changes go to that copy.
    if (!surface.ok() || !surface.setPalette(Palette()) || !surface.palette()) {
        display.error("could not create an 8-bit surface with a palette");
        return 1;
    }
    auto* pixels = static_cast<uint8_t*>(surface.lock(1));
    if (!pixels) {
        display.error("could not lock the surface");
        return 1;
    }
    for (int32_t y = 0; y < surface.height(); ++y)
        for (int32_t x = 0; x < surface.width(); ++x)
            pixels[y * surface.pitch() + x] = uint8_t(std::hypot(x - 160, y - 100) * 2);
    surface.unlock();

    Palette& colours = *surface.palette();
    for (int turn = 0; !display.keyPressed(); ++turn) {
        // Writing the colours drops the lookup tables built for the old ones.
        uint32_t* entries = colours.lock();
        if (!entries) {
            display.error("could not change the palette");
            return 1;
        }
        for (int i = 0; i < Palette::COLOURS; ++i) entries[i] = rainbow(i - turn);
        colours.unlock();
        if (!surface.update()) {
            display.error("could not show the surface");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(16)); // about 60 turns a second
    }
    return 0;
}
