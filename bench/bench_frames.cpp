// Frame rate of the screensaver's real frame loop over the real back ends: frames per second
// and CPU time per frame for each display the program tries, and the share of a frame spent in
// each of its parts, timed on the same surfaces in the same run. Run it from the folder that
// holds kelmor1.tga and kelmor2.tga. Where no display opens (natively: no X display) only the
// parts are timed, on memory surfaces.
#include "Timing.h"
#include "display/Surface.h"
#include "front/PTC.h"
#include "screensaver/PictureFrames.h"
#include "screensaver/Rays.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Milliseconds per call of body, over count calls.
template <class Body> double perCall(int count, Body body) {
    const double start = bench::wallSeconds();
    for (int i = 0; i < count; ++i) body(i);
    return (bench::wallSeconds() - start) * 1e3 / count;
}

// The pictures are read from the working folder rather than the Windows directory.
FrameServices localPictures() {
    FrameServices services;
    const auto here = [](char* buffer, uint32_t size) -> uint32_t {
        if (size < 2) return 0;
        std::strcpy(buffer, ".");
        return 1;
    };
    services.windowsDirectory = here;
    services.systemDirectory = here;
    return services;
}

struct Parts {
    double clear, rays, lightMap, doubling, present;
};

// Times each part of a frame alone on the canvas and screen the frames drew with.
Parts timeParts(Surface& canvas, Surface* screen, bool upscale, uint8_t rowOffset, int count) {
    Parts parts{};
    RayTables tables;
    if (!buildRayTable(tables)) return parts;
    void* pixels = canvas.lock(1);
    if (!pixels) return parts;
    const int32_t pitch = canvas.pitch();
    parts.clear = perCall(count, [&](int) { clearCanvas(pixels, pitch, 200); });
    parts.rays = perCall(count, [&](int i) { addRays(tables, pixels, pitch, uint32_t(i * 40)); });
    parts.lightMap = perCall(count, [&](int i) { regenerateLightMap(tables, uint32_t(i * 40)); });
    canvas.unlock();
    if (screen && upscale) {
        void* target = screen->lock(1);
        const void* source = canvas.lock(1);
        if (target && source)
            parts.doubling = perCall(
                count, [&](int) { doubleCanvas(target, source, screen->pitch(), rowOffset); });
        if (source) canvas.unlock();
        if (target) screen->unlock();
    }
    if (screen) parts.present = perCall(count, [&](int) { screen->update(); });
    return parts;
}

void printParts(const Parts& p, double frameMs) {
    const double sum = p.clear + p.rays + p.lightMap + p.doubling + p.present;
    const double total = frameMs > 0 ? frameMs : sum;
    std::printf("    parts (ms, share of a frame): clear %.3f (%.0f%%), rays %.3f (%.0f%%), "
                "light map %.3f (%.0f%%), doubling %.3f (%.0f%%), present %.3f (%.0f%%)\n",
                p.clear, 100 * p.clear / total, p.rays, 100 * p.rays / total, p.lightMap,
                100 * p.lightMap / total, p.doubling, 100 * p.doubling / total, p.present,
                100 * p.present / total);
}

bool runDisplay(const DisplayTry& t, int frames) {
    PTC display;
    display.init(t.width, t.height, FUZZY32, t.output, -1, -1);
    if (!display.isOpen()) return false;
    char name[64] = {};
    display.backEnd()->name(name);
    PictureFrames drawing(localPictures());
    const int32_t width = display.width(), height = display.height();
    if (!drawing.setup(display, width, height, t.upscale)) return false;
    const double wall = bench::wallSeconds(), cpu = bench::cpuSeconds();
    for (int i = 0; i < frames; ++i)
        if (!drawing.frame(display, t.upscale, t.rowOffset)) return false;
    const double frameMs = (bench::wallSeconds() - wall) * 1e3 / frames;
    const double cpuMs = (bench::cpuSeconds() - cpu) * 1e3 / frames;
    std::printf("%dx%d %s (%s, %d bits): %.1f frames/s, %.3f ms CPU per frame\n", width, height,
                t.output == FULLSCREEN_OUTPUT ? "full screen" : "window", name,
                display.backEnd()->bits(), 1e3 / frameMs, cpuMs);
    printParts(timeParts(*drawing.canvasSurface(), drawing.screenSurface(), t.upscale, t.rowOffset,
                         frames),
               frameMs);
    drawing.teardown();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    bool any = false;
    for (const DisplayTry& t : displayTries) {
        if (runDisplay(t, frames))
            any = true;
        else
            std::printf("%dx%d %s: could not open or set up\n", t.width, t.height,
                        t.output == FULLSCREEN_OUTPUT ? "full screen" : "window");
    }
    if (!any) {
        // The canvas of a doubled display shares the screen's pitch.
        Surface canvas(640, 480, Format(ARGB8888), 30, -1, -1, -1);
        Surface doubled(640, 480, Format(ARGB8888), 30, -1, -1, -1);
        std::printf("no display: the parts alone, on memory surfaces (doubling into 640x480)\n");
        printParts(timeParts(canvas, &doubled, true, 40, frames), 0);
    }
    return 0;
}
