#pragma once
// Builds TGA files byte by byte for the reader's tests and the fuzz target's seed corpus, and
// gives them a private temporary folder that works natively and under Wine.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace tga {

using Bytes = std::vector<uint8_t>;

// Every header field set by hand, so a test can make them disagree with the data that follows.
struct File {
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint8_t imageType = 2;
    uint16_t firstEntry = 0;
    uint16_t mapLength = 0;
    uint8_t entryBits = 0;
    uint16_t xOrigin = 0;
    uint16_t yOrigin = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t depth = 0;
    uint8_t descriptor = 0;
    Bytes id;     // written as is, whatever idLength says
    Bytes map;    // likewise for mapLength and entryBits
    Bytes pixels; // rows in file order
    Bytes trailer;

    Bytes header() const {
        auto lo = [](uint16_t v) { return uint8_t(v & 0xFF); };
        auto hi = [](uint16_t v) { return uint8_t(v >> 8); };
        return {idLength,      colourMapType, imageType, lo(firstEntry), hi(firstEntry),
                lo(mapLength), hi(mapLength), entryBits, lo(xOrigin),    hi(xOrigin),
                lo(yOrigin),   hi(yOrigin),   lo(width), hi(width),      lo(height),
                hi(height),    depth,         descriptor};
    }

    Bytes bytes() const {
        Bytes all = header();
        for (const Bytes* part : {&id, &map, &pixels, &trailer})
            all.insert(all.end(), part->begin(), part->end());
        return all;
    }
};

// A deterministic, position-dependent byte, so a misplaced or repeated row shows.
inline uint8_t patternByte(uint32_t i, uint32_t salt) {
    uint32_t x = (i + 1) * 2654435761u ^ salt * 40503u;
    return uint8_t(x >> 13);
}

// A well-formed picture: type 2 for 16, 24 and 32 bits, type 1 with a colour map for 8 bits.
inline File picture(int depth, int width, int height, uint8_t descriptor, int mapLength = 16,
                    int entryBits = 24, uint32_t salt = 1) {
    File f;
    f.width = uint16_t(width);
    f.height = uint16_t(height);
    f.depth = uint8_t(depth);
    f.descriptor = descriptor;
    if (depth == 8) {
        f.imageType = 1;
        f.colourMapType = 1;
        f.mapLength = uint16_t(mapLength);
        f.entryBits = uint8_t(entryBits);
        f.map.resize(size_t(mapLength) * entryBits / 8);
        for (size_t i = 0; i < f.map.size(); ++i) f.map[i] = patternByte(uint32_t(i), salt + 7);
    }
    f.pixels.resize(size_t(width) * height * (depth / 8));
    for (size_t i = 0; i < f.pixels.size(); ++i) {
        uint8_t b = patternByte(uint32_t(i), salt);
        // Indices stay inside the map, as a real writer's would.
        f.pixels[i] = depth == 8 && mapLength ? uint8_t(b % mapLength) : b;
    }
    return f;
}

inline bool writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        static std::atomic<unsigned> serial{0};
        auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        std::error_code error;
        auto base = std::filesystem::temp_directory_path(error);
        if (error) base = ".";
        for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
            auto candidate =
                base / ("ptc-tga-" + std::to_string(now) + "-" + std::to_string(serial++));
            if (std::filesystem::create_directory(candidate, error)) dir = candidate;
        }
    }
    ~TempDir() {
        std::error_code error;
        if (!dir.empty()) std::filesystem::remove_all(dir, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool ok() const { return !dir.empty(); }
    const std::filesystem::path& path() const { return dir; }
    // A path string for the library, which takes char names.
    std::string file(const std::string& name) const { return (dir / name).string(); }

  private:
    std::filesystem::path dir;
};

} // namespace tga
