// Draws the screensaver's 320x200 frame natively at a given clock and orbit, the way a page
// reports the frame it drew, and writes it as a binary PPM:
//   frame_reference PICTURE_DIR CLOCK RADIUS PICTURE OUT.ppm
// With the clock held still, the second frame and every later one are the same: the rays come
// from the light map the frame before left, made at the same clock.
#include "backends/Software.h"
#include "display/Surface.h"
#include "front/PTC.h"
#include "screensaver/PictureFrames.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr int32_t frameWidth = 320, frameHeight = 200;

// A display in memory that update copies into.
struct MemoryDisplay : ISoftware {
    std::unique_ptr<Surface> shown;
    int open(int32_t w, int32_t h, int32_t, int32_t, int32_t, int32_t) override {
        shown =
            std::make_unique<Surface>(this, w, h, Format(ARGB8888), KIND_MEMORY, TOP_DOWN, -1, -1);
        return shown->ok();
    }
    Surface* displaySurface() override { return shown.get(); }
    int width() override { return shown ? frameWidth : 0; }
    int height() override { return shown ? frameHeight : 0; }
    Format format() override { return Format(ARGB8888); }
    void name(char* buffer) override { std::strcpy(buffer, "Memory"); }
};

Interface* memoryFactory(int index, WindowHandle&) {
    return index == 0 ? new MemoryDisplay : nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fputs("usage: frame_reference PICTURE_DIR CLOCK RADIUS PICTURE OUT.ppm\n", stderr);
        return 2;
    }
    const std::string directory = argv[1];
    const uint32_t clock = uint32_t(std::strtoul(argv[2], nullptr, 10));
    const float radius = std::strtof(argv[3], nullptr);
    const uint8_t picture = uint8_t(std::atoi(argv[4]));

    FrameServices services;
    services.milliseconds = [clock] { return clock; };
    services.windowsDirectory = [directory](char* buffer, uint32_t size) {
        if (directory.size() >= size) return uint32_t(directory.size() + 1);
        std::memcpy(buffer, directory.c_str(), directory.size() + 1);
        return uint32_t(directory.size());
    };
    services.systemDirectory = services.windowsDirectory;
    services.report = [](PTC&, const char* message) {
        std::fprintf(stderr, "frame_reference: %s\n", message);
    };

    PTC::setFactory(memoryFactory);
    PTC display;
    display.init(frameWidth, frameHeight, FUZZY32, FULLSCREEN_OUTPUT, -1, -1);
    if (!display.isOpen()) {
        std::fputs("frame_reference: no memory display\n", stderr);
        return 1;
    }
    PictureFrames frames(services);
    if (!frames.setup(display, frameWidth, frameHeight, false)) return 1;
    frames.setOrbit({radius, -1.0f, picture, clock});
    for (int i = 0; i < 2; ++i)
        if (!frames.frame(display, false, 0)) return 1;

    Surface* shown = display.backEnd()->displaySurface();
    const auto* pixels = static_cast<const uint8_t*>(shown->lock(1));
    if (!pixels) return 1;
    std::FILE* out = std::fopen(argv[5], "wb");
    if (!out) return 1;
    std::fprintf(out, "P6\n%d %d\n255\n", frameWidth, frameHeight);
    for (int32_t y = 0; y < frameHeight; ++y)
        for (int32_t x = 0; x < frameWidth; ++x) {
            const uint8_t* p = pixels + ptrdiff_t(y) * shown->pitch() + 4 * x; // B, G, R, A
            const uint8_t rgb[3] = {p[2], p[1], p[0]};
            std::fwrite(rgb, 1, 3, out);
        }
    shown->unlock();
    return std::fclose(out) == 0 ? 0 : 1;
}
