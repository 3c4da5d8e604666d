#include "backends/Software.h"

#include "conversion/Raster.h"
#include "display/MODE.h"
#include "display/Surface.h"
#include "format/Format.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

// Both objects are function-local statics. Whoever first needs them during static
// initialisation, in any file, builds them then; and since an object built first is destroyed
// last, they outlive every static Surface created through them. The interface asks for the
// RASTER before it is built itself, so the converter tables outlive the interface too.
RASTER& softwareRaster() {
    static RASTER raster;
    return raster;
}

ISoftware& softwareInterface() {
    softwareRaster();
    static ISoftware software;
    return software;
}

namespace {
// Built during this file's static initialisation at the latest, before the entry routine runs.
[[maybe_unused]] ISoftware& startUpSoftware = softwareInterface();

// The converter for a copy: the one the RASTER keeps for the pair, so a copy allocates nothing;
// one of the copy's own only when the RASTER keeps no more pairs.
class CopyConverter {
  public:
    CopyConverter(const Format& source, const Format& destination)
        : converter(softwareRaster().kept(source, destination)) {
        if (converter) return;
        own.reset(softwareRaster().converter(source, destination));
        converter = own.get();
    }
    const RASTER::CONVERTER* operator->() const { return converter; }
    explicit operator bool() const { return converter != nullptr; }

  private:
    std::unique_ptr<RASTER::CONVERTER> own;
    const RASTER::CONVERTER* converter;
};

// Locks both surfaces for one copy and gives the locks back on every path.
class CopyLocks {
  public:
    CopyLocks(Surface& source, Surface& destination) : src(source), dst(destination) {
        sourcePixels = static_cast<uint8_t*>(src.lock(1));
        if (sourcePixels) destinationPixels = static_cast<uint8_t*>(dst.lock(1));
    }
    ~CopyLocks() {
        if (sourcePixels) src.unlock();
        if (destinationPixels) dst.unlock();
    }
    CopyLocks(const CopyLocks&) = delete;
    CopyLocks& operator=(const CopyLocks&) = delete;

    // Both locked, and not the same memory: a converter may not read what it writes.
    bool usable() const {
        return sourcePixels && destinationPixels && sourcePixels != destinationPixels;
    }

    Surface& src;
    Surface& dst;
    uint8_t* sourcePixels = nullptr;
    uint8_t* destinationPixels = nullptr;
};

// Whether the rectangle of width x height at (x, y) lies inside surface, in 64 bits.
bool inside(const Surface& surface, int64_t x, int64_t y, int64_t width, int64_t height) {
    return x >= 0 && y >= 0 && width >= 0 && height >= 0 && x + width <= surface.width() &&
           y + height <= surface.height();
}

} // namespace

// --- IMemory::SURFACE ---

IMemory::SURFACE::~SURFACE() {
    if (buffer) ::operator delete(buffer, PIXEL_ALIGNMENT);
}

void* IMemory::SURFACE::lock(int) {
    ++locks;
    return pixels;
}

void IMemory::SURFACE::unlock() {
    if (locks > 0) --locks;
}

int IMemory::SURFACE::copy(Surface& source, Surface& destination, int flags, const void* lookup) {
    if (flags != 0) return 0;
    // One run is only right for two contiguous pictures of the same shape; anything else would
    // read or write past one of them, so it goes row by row instead.
    if (source.width() != destination.width() || source.height() != destination.height() ||
        source.orientation() != destination.orientation() || source.advance() != 0 ||
        destination.advance() != 0) {
        const Rect whole(0, 0, source.width(), source.height());
        return copyArea(source, whole, destination, whole, flags, lookup);
    }
    CopyConverter converter(source.format(), destination.format());
    if (!converter) return 0;
    CopyLocks held(source, destination);
    if (!held.usable()) return 0;
    const uint8_t* from = held.sourcePixels;
    uint8_t* to = held.destinationPixels;
    if (source.orientation() == BOTTOM_UP) {
        // The run starts at the row lowest in memory, which is the last row of the picture.
        from += ptrdiff_t(source.height() - 1) * source.pitch();
        to += ptrdiff_t(destination.height() - 1) * destination.pitch();
    }
    const int64_t count = int64_t(destination.width()) * destination.height();
    if (count > INT32_MAX) return 0;
    return converter->convert(from, to, int32_t(count), lookup) ? 1 : 0;
}

int IMemory::SURFACE::copyArea(Surface& source, const Rect& sourceRect, Surface& destination,
                               const Rect& destinationRect, int flags, const void* lookup) {
    if (flags != 0) return 0;
    const int64_t width = int64_t(sourceRect.x2) - sourceRect.x1;
    const int64_t height = int64_t(sourceRect.y2) - sourceRect.y1;
    // The caller clips, but the rectangles come from clip areas anyone may set: never convert
    // outside either picture.
    if (!inside(source, sourceRect.x1, sourceRect.y1, width, height) ||
        !inside(destination, destinationRect.x1, destinationRect.y1, width, height))
        return 0;
    CopyConverter converter(source.format(), destination.format());
    if (!converter) return 0;
    CopyLocks held(source, destination);
    if (!held.usable()) return 0;

    const int32_t sourcePitch = source.pitch();
    const int32_t destinationPitch = destination.pitch();
    const int64_t sourceRowBytes = width * source.bytes();
    const int64_t destinationRowBytes = width * destination.bytes();
    AREA area;
    area.source = held.sourcePixels + ptrdiff_t(sourceRect.y1) * sourcePitch +
                  ptrdiff_t(sourceRect.x1) * source.bytes();
    area.destination = held.destinationPixels + ptrdiff_t(destinationRect.y1) * destinationPitch +
                       ptrdiff_t(destinationRect.x1) * destination.bytes();
    // Inside both pictures, so every figure here fits the 32-bit pitch the surfaces were made
    // with.
    area.sourceSkip = int32_t(sourcePitch - sourceRowBytes);
    area.destinationSkip = int32_t(destinationPitch - destinationRowBytes);
    area.width = int32_t(width);
    area.height = int32_t(height);
    area.sourcePitch = sourcePitch;
    area.destinationPitch = destinationPitch;
    area.lookup = lookup;
    return converter->convertArea(area) ? 1 : 0;
}

// --- IMemory ---

IMemory::~IMemory() {
    for (auto* node = surfaces.first(); !List<Registration>::atEnd(node); node = node->next)
        node->element->surface->close();
    while (!surfaces.empty()) {
        auto* oldest = surfaces.first();
        Surface* surface = oldest->element->surface;
        surface->detach();
        // A surface listed twice, or registered here while naming another back end, is not
        // unlinked by its detach; unlinking it here keeps the loop finite.
        if (surfaces.first() == oldest) delete surfaces.unlink(oldest);
    }
}

::SURFACE* IMemory::createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                                  int32_t& orientation, int32_t& advance, int32_t& variant) {
    if (width < 1 || height < 1 || !format.ok()) return nullptr;
    if (kind != KIND_MEMORY && kind != KIND_ANY && kind != -1) return nullptr;
    if (orientation != TOP_DOWN && orientation != BOTTOM_UP && orientation != -1) return nullptr;
    if (advance < -1 || (variant != VARIANT_DEFAULT && variant != -1)) return nullptr;
    const int32_t chosenOrientation = orientation == -1 ? TOP_DOWN : orientation;
    const int32_t chosenAdvance = advance == -1 ? 0 : advance;

    // Rows are addressed with a 32-bit pitch and whole pictures converted as one 32-bit run, so
    // a picture whose row, size or pixel count leaves that range is refused.
    const int64_t rowBytes = int64_t(width) * format.bytes + chosenAdvance;
    const int64_t size = rowBytes * height;
    if (rowBytes > INT32_MAX || size > INT32_MAX || int64_t(width) * height > INT32_MAX)
        return nullptr;
    if (size == 0) return nullptr; // a fake-mode format without an advance has no bytes

    std::unique_ptr<SURFACE> surface(new (std::nothrow) SURFACE);
    if (!surface) return nullptr;
    surface->buffer =
        static_cast<uint8_t*>(::operator new(size_t(size), SURFACE::PIXEL_ALIGNMENT, std::nothrow));
    if (!surface->buffer) return nullptr;
    std::memset(surface->buffer, 0, size_t(size));
    surface->pixels = chosenOrientation == TOP_DOWN
                          ? surface->buffer
                          : surface->buffer + ptrdiff_t(rowBytes) * (height - 1);

    kind = KIND_MEMORY;
    orientation = chosenOrientation;
    advance = chosenAdvance;
    variant = VARIANT_DEFAULT;
    return surface.release();
}

int IMemory::addSurface(Surface* surface) {
    if (!surface) return 0;
    Registration* registration = new (std::nothrow) Registration{surface};
    if (!registration) return 0;
    if (!surfaces.append(registration)) {
        delete registration;
        return 0;
    }
    return 1;
}

int IMemory::removeSurface(Surface* surface) {
    return surfaces.removeFirst([surface](const Registration& r) { return r.surface == surface; })
               ? 1
               : 0;
}

int IMemory::openMode(const MODE& mode) {
    // The record's name may fill all eight characters.
    char recorded[sizeof(mode.interfaceName) + 1] = {};
    std::memcpy(recorded, mode.interfaceName, sizeof(mode.interfaceName));
    char own[sizeof(mode.interfaceName)] = {};
    name(own);
    if (!equalsIgnoringCase(recorded, own)) return 0;
    return openFormat(mode.width, mode.height, mode.format, mode.output, mode.secondOption,
                      mode.thirdOption);
}

MODE IMemory::getMode() {
    MODE mode;
    name(mode.interfaceName);
    mode.width = width();
    mode.height = height();
    mode.format = format();
    mode.output = output();
    mode.secondOption = secondOption();
    mode.thirdOption = thirdOption();
    return mode;
}
