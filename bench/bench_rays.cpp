// Speed of the light-ray effect's per-frame steps at 320x200 and of the 640x400 doubling, each
// against memcpy of the same number of bytes measured in the same run.
#include "screensaver/Rays.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Seconds per call: the best of five batches of at least 50 ms each, after a warm-up call.
template <class Step> double secondsPerCall(Step&& step) {
    using Clock = std::chrono::steady_clock;
    step();
    double best = 1e30;
    for (int batch = 0; batch < 5; ++batch) {
        long calls = 0;
        const Clock::time_point start = Clock::now();
        double elapsed = 0;
        do {
            for (int k = 0; k < 16; ++k) step();
            calls += 16;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < 0.05);
        best = std::min(best, elapsed / double(calls));
    }
    return best;
}

void report(const char* name, double seconds, double pixels, double memcpySeconds) {
    std::printf("%-34s %9.1f us/frame %9.1f Mpixel/s %6.2f x memcpy\n", name, seconds * 1e6,
                pixels / seconds / 1e6, seconds / memcpySeconds);
}

double memcpySeconds(size_t bytes) {
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    const double seconds = secondsPerCall([&] {
        std::memcpy(to.data(), from.data(), bytes);
        from[0] = uint8_t(from[0] + to[bytes - 1]); // keeps the copies from being dropped
    });
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
    const double frameCopy = memcpySeconds(canvas.size() * 4);
    const double clear =
        secondsPerCall([&] { clearCanvas(canvas.data(), areaPitch, rayAreaHeight); });
    const double rays = secondsPerCall([&] { addRays(tables, canvas.data(), areaPitch, ++tick); });
    const double lightMap = secondsPerCall([&] { regenerateLightMap(tables, ++tick); });
    const double frame = secondsPerCall([&] {
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
    const double screenCopy = memcpySeconds(screen.size() * 4);
    const double doubling =
        secondsPerCall([&] { doubleCanvas(screen.data(), source.data(), screenPitch, 0); });
    report("doubleCanvas", doubling, screenPixels, screenCopy);

    uint32_t sum = 0;
    for (uint32_t p : canvas) sum += p;
    for (uint32_t p : screen) sum += p;
    std::printf("checksum %08x\n", unsigned(sum));
    return 0;
}
