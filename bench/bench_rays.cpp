// Speed of the light-ray effect's per-frame steps at 320x200 and of the 640x400 doubling, each
// against memcpy of the same number of bytes measured in the same run.
#include "Timing.h"
#include "screensaver/Rays.h"

#include <cstdio>
#include <vector>

namespace {

void report(const char* name, double seconds, double pixels, double memcpySeconds) {
    std::printf("%-34s %9.1f us/frame %9.1f Mpixel/s %6.2f x memcpy\n", name, seconds * 1e6,
                pixels / seconds / 1e6, seconds / memcpySeconds);
}

double memcpyReport(size_t bytes) {
    const double seconds = bench::memcpySeconds(bytes);
    std::printf("%-34s %9.1f us         %9.1f MB/s\n", "memcpy", seconds * 1e6,
                double(bytes) / seconds / 1e6);
    return seconds;
}

} // namespace

int main() {
    RayTables tables;
    if (!buildRayTable(tables)) {
        std::fprintf(stderr, "could not allocate the tables\n");
        return 1;
    }
    regenerateLightMap(tables, 1000); // rays of a real frame, not the empty first map

    constexpr int32_t areaPitch = rayAreaWidth * 4;
    const double areaPixels = double(rayAreaWidth) * rayAreaHeight;
    std::vector<uint32_t> canvas(size_t(rayAreaWidth) * rayAreaHeight);
    uint32_t tick = 0;

    std::printf("320x200 frame (%zu bytes of canvas)\n", canvas.size() * 4);
    const double frameCopy = memcpyReport(canvas.size() * 4);
    const double clear =
        bench::secondsPerCall([&] { clearCanvas(canvas.data(), areaPitch, rayAreaHeight); });
    const double rays =
        bench::secondsPerCall([&] { addRays(tables, canvas.data(), areaPitch, ++tick); });
    const double lightMap = bench::secondsPerCall([&] { regenerateLightMap(tables, ++tick); });
    const double frame = bench::secondsPerCall([&] {
        clearCanvas(canvas.data(), areaPitch, rayAreaHeight);
        addRays(tables, canvas.data(), areaPitch, ++tick);
        regenerateLightMap(tables, tick);
    });
    report("clearCanvas", clear, areaPixels, frameCopy);
    report("addRays", rays, areaPixels, frameCopy);
    report("regenerateLightMap", lightMap, areaPixels, frameCopy);
    report("frame (clear, rays, light map)", frame, areaPixels, frameCopy);

    // The doubling reads 201 rows of a 640-wide canvas and writes 640x400 pixels.
    constexpr int32_t screenPitch = doubledWidth * 4;
    const double screenPixels = double(doubledWidth) * doubledHeight;
    std::vector<uint32_t> source(size_t(doubledWidth) * doubledHeight, 0x00406080);
    std::vector<uint32_t> screen(size_t(doubledWidth) * doubledHeight);
    std::printf("640x400 doubling (%zu bytes of screen)\n", screen.size() * 4);
    const double screenCopy = memcpyReport(screen.size() * 4);
    const double doubling =
        bench::secondsPerCall([&] { doubleCanvas(screen.data(), source.data(), screenPitch, 0); });
    report("doubleCanvas", doubling, screenPixels, screenCopy);

    uint32_t sum = 0;
    for (uint32_t p : canvas) sum += p;
    for (uint32_t p : screen) sum += p;
    std::printf("checksum %08x\n", unsigned(sum));
    return 0;
}
