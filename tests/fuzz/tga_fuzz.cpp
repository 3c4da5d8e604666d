// Feeds arbitrary bytes through the whole TGA load path: the header, the colour map, the rows
// into a top-down and a bottom-up destination, and a conversion of the picture to ARGB8888.
// Built as a libFuzzer target with clang, and with replay_main.cpp as a plain driver.
#include "conversion/Raster.h"
#include "display/Image.h"

#include "support/TgaFiles.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Pictures beyond this are skipped, so an out-of-memory report always means a real fault.
constexpr int64_t MAX_PICTURE_BYTES = 64 << 20;

volatile uint32_t checksumSink;

uint32_t fold(uint32_t sum, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) sum = (sum ^ bytes[i]) * 16777619u;
    return sum;
}

const std::string& inputPath() {
    static const std::string path = [] {
        std::error_code error;
        auto base = std::filesystem::temp_directory_path(error);
        if (error) base = ".";
        std::string p = (base / ("ptc-tga-fuzz-" + std::to_string(getpid()) + ".tga")).string();
        std::atexit([] { std::remove(inputPath().c_str()); });
        return p;
    }();
    return path;
}

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "tga fuzz: %s\n", what);
    std::abort();
}

} // namespace

// Inputs that loaded, for the replay driver's summary.
long tgaFuzzLoaded = 0;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = inputPath();
    if (!tga::writeFile(path, tga::Bytes(data, data + size))) return 0;

    Image image(path.c_str(), 1);
    int width = 0, height = 0, hasPalette = 0;
    Format format;
    const bool info = image.info(width, height, format, hasPalette);

    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = 0x01010101u * uint32_t(i);
    const bool paletteRead = image.read(nullptr, 20, 0, colours);
    if (paletteRead != info) fault("a palette read disagrees with info");
    uint32_t sum = fold(2166136261u, reinterpret_cast<const uint8_t*>(colours), sizeof colours);

    const int64_t row = int64_t(width) * format.bytes;
    const int64_t bytes = row * height;
    if (!info) {
        // Refused files must stay refused whatever the destination.
        uint8_t pixel[4];
        if (image.read(pixel, 20, 4, colours)) fault("a refused file was read");
    } else if (width <= 0 || height <= 0 || bytes <= 0) {
        fault("info accepted an empty picture");
    } else if (bytes <= MAX_PICTURE_BYTES) {
        // Opposite fillings: a byte the reader left unwritten differs between the two.
        std::vector<uint8_t> topDown(size_t(bytes), 0x00), bottomUp(size_t(bytes), 0xFF);
        const bool a = image.read(topDown.data(), 20, int32_t(row), colours);
        const bool b = image.read(bottomUp.data() + (height - 1) * row, 21, -int32_t(row), nullptr);
        if (a != b) fault("the two orientations disagree on success");
        if (a) {
            ++tgaFuzzLoaded;
            for (int y = 0; y < height; ++y)
                if (std::memcmp(&topDown[size_t(y * row)],
                                &bottomUp[size_t((height - 1 - y) * row)], size_t(row)) != 0)
                    fault("the orientations give different pictures or bytes were left unwritten");
            RASTER raster;
            std::unique_ptr<RASTER::CONVERTER> converter(
                raster.converter(format, Format(ARGB8888)));
            if (!converter) fault("no converter");
            std::vector<uint32_t> argb(static_cast<size_t>(width));
            for (int y = 0; y < height; ++y) {
                if (!converter->convert(&topDown[size_t(y * row)], argb.data(), width, colours))
                    fault("the picture could not be converted to ARGB8888");
                sum = fold(sum, reinterpret_cast<const uint8_t*>(argb.data()),
                           argb.size() * sizeof(uint32_t));
            }
        }
    }
    checksumSink = sum;
    return 0;
}

// Valid files of every depth, colour map entry size and row order, for a seed corpus.
int writeSeedCorpus(const char* folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    int count = 0;
    auto save = [&](const tga::File& f) {
        if (tga::writeFile(std::filesystem::path(folder) /
                               ("seed" + std::to_string(count) + ".tga"),
                           f.bytes()))
            ++count;
    };
    for (uint8_t descriptor : {uint8_t(0), uint8_t(0x20)}) {
        for (int depth : {16, 24, 32}) save(tga::picture(depth, 5, 3, descriptor));
        for (int entryBits : {16, 24, 32}) save(tga::picture(8, 4, 4, descriptor, 16, entryBits));
        save(tga::picture(8, 3, 2, descriptor, 256, 24));
        tga::File withId = tga::picture(24, 2, 2, descriptor);
        withId.idLength = 5;
        withId.id.assign(5, 'k');
        save(withId);
        tga::File withFooter = tga::picture(32, 2, 3, descriptor);
        const char footer[] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";
        withFooter.trailer.assign(footer, footer + sizeof footer);
        save(withFooter);
    }
    return count;
}
