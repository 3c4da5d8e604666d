// Speed of every conversion routine, through the converter a surface copy would use, beside
// memcpy moving the same traffic: (source bytes + destination bytes) / 2 per frame. A ratio of
// 1.0 is memcpy speed. Frames of 320x200 and 640x480 are reused (in cache); 1920x1080 frames are
// cycled through a pool much larger than the cache, so they come from memory.
//
// bench_conversion [filter]   runs the routines whose name contains filter.

#include "conversion/Raster.h"
#include "conversion/Routines.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct Pair {
    const char* name;
    int32_t source, destination;
};

const Pair pairs[] = {
    {"copy (ARGB8888)", ARGB8888, ARGB8888},
    {"argb8888_abgr8888", ARGB8888, ABGR8888},
    {"argb8888_bgra8888", ARGB8888, BGRA8888},
    {"argb8888_rgba8888", ARGB8888, RGBA8888},
    {"argb8888_rgb888", ARGB8888, RGB888},
    {"argb8888_bgr888", ARGB8888, BGR888},
    {"argb8888_rgb565", ARGB8888, RGB565},
    {"argb8888_bgr565", ARGB8888, BGR565},
    {"argb8888_argb1555", ARGB8888, ARGB1555},
    {"argb8888_abgr1555", ARGB8888, ABGR1555},
    {"argb8888_grey8", ARGB8888, GREY8},
    {"argb8888_rgb332", ARGB8888, RGB332},
    {"rgb565_argb8888", RGB565, ARGB8888},
    {"rgb565_abgr8888", RGB565, ABGR8888},
    {"rgb565_bgra8888", RGB565, BGRA8888},
    {"rgb565_rgba8888", RGB565, RGBA8888},
    {"rgb565_rgb888", RGB565, RGB888},
    {"rgb565_bgr888", RGB565, BGR888},
    {"rgb565_bgr565", RGB565, BGR565},
    {"rgb565_argb1555", RGB565, ARGB1555},
    {"rgb565_abgr1555", RGB565, ABGR1555},
    {"rgb565_grey8", RGB565, GREY8},
    {"rgb565_rgb332", RGB565, RGB332},
    {"index8_32", INDEX8, ARGB8888},
    {"index8_24", INDEX8, RGB888},
    {"index8_16", INDEX8, RGB565},
    {"index8_8", INDEX8, RGB332},
    {"generic abgr8888_rgb565", ABGR8888, RGB565},
};

struct Size {
    int width, height;
    bool fromMemory;
};

const Size sizes[] = {{320, 200, false}, {640, 480, false}, {1920, 1080, true}};

// Frames totalling at least this much, source and destination together, defeat the cache.
constexpr size_t POOL_BYTES = size_t(256) << 20;

double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Frames of one size, reused or cycled.
struct Pool {
    std::vector<std::vector<uint8_t>> frames;
    size_t next = 0;
    Pool(size_t frameBytes, size_t count) : frames(count, std::vector<uint8_t>(frameBytes)) {
        std::mt19937 random(7);
        for (auto& b : frames[0]) b = uint8_t(random());
        for (auto& f : frames) f = frames[0];
    }
    uint8_t* take() {
        uint8_t* f = frames[next].data();
        next = (next + 1) % frames.size();
        return f;
    }
};

// Best seconds per frame over a few rounds, each at least 30 ms long.
template <class Work> double secondsPerFrame(Work work, size_t framesPerRound) {
    double best = 1e30;
    for (int round = 0; round < 3; ++round) {
        size_t frames = 0;
        const double start = now();
        double elapsed;
        do {
            for (size_t i = 0; i < framesPerRound; ++i) work();
            frames += framesPerRound;
            elapsed = now() - start;
        } while (elapsed < 0.03);
        best = std::min(best, elapsed / double(frames));
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const char* filter = argc > 1 ? argv[1] : "";
    RASTER raster;
    uint32_t lookup[256];
    std::mt19937 random(3);
    for (uint32_t& w : lookup) w = random() & 0xFFFF; // valid for every destination size

    static const char* const levels[] = {"none", "SSE2", "SSSE3", "AVX2"};
    std::printf("instruction set: %s\n", levels[conversion::simdLevel()]);
    std::printf("%-24s %10s %10s %10s %7s\n", "routine", "size", "Mpixel/s", "memcpy", "ratio");
    for (const Pair& pair : pairs) {
        if (!std::strstr(pair.name, filter)) continue;
        const Format source(pair.source), destination(pair.destination);
        RASTER::CONVERTER* converter = raster.converter(source, destination);
        if (!converter) return 1;
        for (const Size& size : sizes) {
            const size_t pixels = size_t(size.width) * size.height;
            const size_t sourceBytes = pixels * source.bytes;
            const size_t destinationBytes = pixels * destination.bytes;
            const size_t copyBytes = (sourceBytes + destinationBytes) / 2;
            const size_t count =
                size.fromMemory ? std::max<size_t>(4, POOL_BYTES / (sourceBytes + destinationBytes))
                                : 1;
            Pool sources(sourceBytes, count), destinations(destinationBytes, count);
            Pool copySources(copyBytes, count), copyDestinations(copyBytes, count);

            AREA area{};
            area.width = size.width;
            area.height = size.height;
            area.sourcePitch = size.width * source.bytes;
            area.destinationPitch = size.width * destination.bytes;
            area.lookup = lookup;
            bool failed = false;
            const double convertTime = secondsPerFrame(
                [&] {
                    area.source = sources.take();
                    area.destination = destinations.take();
                    failed |= !converter->convertArea(area);
                },
                count);
            const double copyTime = secondsPerFrame(
                [&] { std::memcpy(copyDestinations.take(), copySources.take(), copyBytes); },
                count);
            if (failed) {
                std::printf("%-24s conversion failed\n", pair.name);
                return 1;
            }
            char label[32];
            std::snprintf(label, sizeof label, "%dx%d", size.width, size.height);
            std::printf("%-24s %10s %10.0f %10.0f %7.2f\n", pair.name, label,
                        double(pixels) / convertTime * 1e-6, double(pixels) / copyTime * 1e-6,
                        copyTime / convertTime);
            std::fflush(stdout);
        }
        delete converter;
    }
    return 0;
}
