#include "display/TGALoader.h"

#include "conversion/Raster.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr int64_t HEADER_BYTES = 18;
constexpr int32_t MAX_COLOUR_MAP_LENGTH = 256;
constexpr uint8_t COLOUR_MAPPED = 1;
constexpr uint8_t TRUE_COLOUR = 2;
constexpr uint8_t TOP_ROW_FIRST = 0x20;

// Header fields, read unsigned whatever their top bit.
uint32_t byteAt(const uint8_t* header, int offset) {
    return header[offset];
}
uint32_t wordAt(const uint8_t* header, int offset) {
    return uint32_t(header[offset]) | uint32_t(header[offset + 1]) << 8;
}

int32_t formatForBits(uint32_t bits) {
    switch (bits) {
    case 8:
        return INDEX8;
    case 16:
        return ARGB1555;
    case 24:
        return RGB888;
    case 32:
        return ARGB8888;
    default:
        return 0;
    }
}

// Colour map entries have no 8-bit form.
int32_t colourMapFormatForBits(uint32_t bits) {
    return bits == 8 ? 0 : formatForBits(bits);
}

} // namespace

TGALoader::TGALoader(File* tgaFile) : file(tgaFile) {
    // A header cut short stays all zero: no width, no format, so nothing can be loaded.
    uint8_t read[sizeof header] = {};
    if (file && file->seek(0, SEEK_SET) && file->read(read, sizeof read) == int64_t(sizeof read))
        std::memcpy(header, read, sizeof header);
    width = int32_t(wordAt(header, 12));
    height = int32_t(wordAt(header, 14));
    hasPalette = int32_t(byteAt(header, 1));
    int32_t id = formatForBits(byteAt(header, 16));
    if (id) format.init(id);
}

int64_t TGALoader::colourMapOffset() const {
    return HEADER_BYTES + byteAt(header, 0);
}

int64_t TGALoader::colourMapBytes() const {
    if (!hasPalette) return 0;
    return int64_t(byteAt(header, 7)) * wordAt(header, 5) / 8;
}

int64_t TGALoader::pixelOffset() const {
    return colourMapOffset() + colourMapBytes();
}

int64_t TGALoader::rowBytes() const {
    return int64_t(width) * format.bytes;
}

bool TGALoader::loadable() const {
    if (!file || !file->isOpen()) return false;
    const uint32_t type = byteAt(header, 2);
    if (type != COLOUR_MAPPED && type != TRUE_COLOUR) return false;
    if (!format.ok() || width <= 0 || height <= 0) return false;
    // Colour-mapped pixels are indices; a true-colour picture has no use for a palette.
    if (type == COLOUR_MAPPED && format.id != INDEX8) return false;
    if (type == TRUE_COLOUR && hasPalette) return false;
    if (hasPalette) {
        const uint32_t length = wordAt(header, 5);
        if (length > uint32_t(MAX_COLOUR_MAP_LENGTH)) return false;
        if (length && !colourMapFormatForBits(byteAt(header, 7))) return false;
    }
    // Everything the header promises must be in the file before anyone allocates a surface
    // for it: at most 17 GB for 65535 x 65535 at 32 bits, so 64 bits cannot overflow.
    const int64_t needed = pixelOffset() + rowBytes() * height;
    return file->size() >= needed;
}

bool TGALoader::info(int& w, int& h, Format& f, int& palette) {
    w = width;
    h = height;
    f = format;
    palette = hasPalette;
    return loadable();
}

bool TGALoader::readColourMap(uint32_t* paletteColours) {
    const int32_t length = int32_t(wordAt(header, 5));
    if (!hasPalette || length == 0) return true;
    // At most 256 entries of 4 bytes: no allocation needed, none can fail.
    uint8_t entries[MAX_COLOUR_MAP_LENGTH * 4];
    const int64_t bytes = colourMapBytes();
    if (!file->seek(colourMapOffset(), SEEK_SET) || file->read(entries, bytes) != bytes)
        return false;
    // The converter's tables live as long as some RASTER does.
    RASTER raster;
    std::unique_ptr<RASTER::CONVERTER> converter(
        raster.converter(Format(colourMapFormatForBits(byteAt(header, 7))), Format(ARGB8888)));
    // Entries past the map keep their colours.
    return converter && converter->convert(entries, paletteColours, length, nullptr);
}

bool TGALoader::readPixels(void* pixels, int32_t pitch) {
    const int64_t row = rowBytes();
    if (!file->seek(pixelOffset(), SEEK_SET)) return false;
    const bool topRowFirst = byteAt(header, 17) & TOP_ROW_FIRST;
    uint8_t* top = static_cast<uint8_t*>(pixels);
    for (int32_t f = 0; f < height; ++f) {
        const int32_t y = topRowFirst ? f : height - 1 - f;
        uint8_t* destination = top + std::ptrdiff_t(int64_t(y) * pitch);
        // Decided by the count: a row cut short is a failure, never zero-filled.
        if (file->read(destination, row) != row) return false;
    }
    return true;
}

bool TGALoader::read(void* pixels, int orientation, int32_t pitch, uint32_t* paletteColours) {
    if (!loadable()) return false;
    // Checked before anything is written, so a refused destination leaves the palette alone.
    if (pixels) {
        if (orientation != TOP_DOWN && orientation != BOTTOM_UP) return false;
        // Rows closer together than a row would overwrite each other.
        const int64_t distance = pitch < 0 ? -int64_t(pitch) : int64_t(pitch);
        if (height > 1 && distance < rowBytes()) return false;
    }
    if (paletteColours && !readColourMap(paletteColours)) return false;
    if (!pixels) return true;
    return readPixels(pixels, pitch);
}
