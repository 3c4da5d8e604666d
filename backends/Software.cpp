#include "backends/Software.h"

#include "conversion/Raster.h"
#include "display/Surface.h"

#include <cstdlib>
#include <memory>
#include <new>

// Both objects are built on first use and never destroyed: surfaces in other files' statics may
// be made before this file's initialisers run and destroyed after its destructors would have.
ISoftware& softwareInterface() {
    static ISoftware* const instance = new ISoftware;
    return *instance;
}

RASTER& softwareRaster() {
    static RASTER* const instance = new RASTER;
    return *instance;
}

namespace {
// Building them during static initialisation keeps the first surface's creation cheap and
// the converter tables alive for the whole run.
[[maybe_unused]] const bool built = (softwareInterface(), softwareRaster(), true);

struct Converter {
    std::unique_ptr<RASTER::CONVERTER> converter;
    explicit Converter(Surface& source, Surface& destination)
        : converter(softwareRaster().converter(source.format(), destination.format())) {}
};

// Both surfaces locked for the length of one copy; released on every path.
struct Locks {
    Surface& source;
    Surface& destination;
    uint8_t* sourcePixels;
    uint8_t* destinationPixels;
    Locks(Surface& s, Surface& d)
        : source(s), destination(d), sourcePixels(static_cast<uint8_t*>(s.lock(1))),
          destinationPixels(static_cast<uint8_t*>(d.lock(1))) {}
    ~Locks() {
        if (sourcePixels) source.unlock();
        if (destinationPixels) destination.unlock();
    }
    bool ok() const {
        return sourcePixels && destinationPixels && sourcePixels != destinationPixels;
    }
};
} // namespace

ISoftware::SURFACE::~SURFACE() {
    std::free(buffer);
}

void* ISoftware::SURFACE::lock(int) {
    ++locks;
    return pixels;
}

void ISoftware::SURFACE::unlock() {
    if (locks > 0) --locks;
}

int ISoftware::SURFACE::copy(Surface& source, Surface& destination, int flags, const void* lookup) {
    if (flags != 0) return 0;
    Converter c(source, destination);
    if (!c.converter) return 0;
    Locks held(source, destination);
    if (!held.ok()) return 0;
    const uint8_t* from = held.sourcePixels;
    uint8_t* to = held.destinationPixels;
    // A bottom-up pair is contiguous from its lowest row in memory.
    if (source.orientation() == BOTTOM_UP) {
        from += int64_t(source.height() - 1) * source.pitch();
        to += int64_t(destination.height() - 1) * destination.pitch();
    }
    return c.converter->convert(from, to, destination.width() * destination.height(), lookup);
}

int ISoftware::SURFACE::copyArea(Surface& source, const Rect& sourceRect, Surface& destination,
                                 const Rect& destinationRect, int flags, const void* lookup) {
    if (flags != 0) return 0;
    const int32_t width = sourceRect.x2 - sourceRect.x1;
    const int32_t height = sourceRect.y2 - sourceRect.y1;
    const int32_t sourcePitch = source.pitch(), destinationPitch = destination.pitch();
    Converter c(source, destination);
    if (!c.converter) return 0;
    Locks held(source, destination);
    if (!held.ok()) return 0;
    AREA area;
    area.sourceX = sourceRect.x1;
    area.sourceY = sourceRect.y1;
    area.destinationX = destinationRect.x1;
    area.destinationY = destinationRect.y1;
    area.sourceBase = held.sourcePixels;
    area.destinationBase = held.destinationPixels;
    area.source = held.sourcePixels + int64_t(sourceRect.y1) * sourcePitch +
                  int64_t(sourceRect.x1) * source.bytes();
    area.destination = held.destinationPixels + int64_t(destinationRect.y1) * destinationPitch +
                       int64_t(destinationRect.x1) * destination.bytes();
    area.sourceSkip = sourcePitch - width * source.bytes();
    area.destinationSkip = destinationPitch - width * destination.bytes();
    area.width = width;
    area.height = height;
    area.sourcePitch = sourcePitch;
    area.destinationPitch = destinationPitch;
    area.lookup = lookup;
    return c.converter->convertArea(area);
}

ISoftware::~ISoftware() {
    // Closing first lets a surface drop what it holds while its back end is still whole.
    surfaces.forEach([](Registration& r) { r.surface->close(); });
    while (!surfaces.empty()) {
        Surface* surface = surfaces.first()->element->surface;
        surface->detach(); // calls removeSurface, which unlinks it
        // A surface that does not point back here would never leave the list.
        if (!surfaces.empty() && surfaces.first()->element->surface == surface)
            delete surfaces.unlink(surfaces.first());
    }
}

int ISoftware::getModes(List<MODE>& modes) {
    modes.clear();
    return 0;
}

MODE ISoftware::getMode() {
    return MODE();
}

int ISoftware::reservedB(int32_t& first, int32_t& second) {
    first = 0;
    second = 0;
    return 0;
}

int ISoftware::readKey() {
    return platform::consoleReadKey();
}

int ISoftware::keyPressed() {
    return platform::consoleKeyPressed() ? 1 : 0;
}

void ISoftware::name(char* buffer) {
    if (buffer) buffer[0] = 0;
}

::SURFACE* ISoftware::createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                                    int32_t& orientation, int32_t& advance, int32_t& variant) {
    if (width < 1 || height < 1 || !format.ok()) return nullptr;
    if (kind != KIND_MEMORY && kind != KIND_ANY && kind != -1) return nullptr;
    if (orientation != TOP_DOWN && orientation != BOTTOM_UP && orientation != -1) return nullptr;
    if (advance < -1) return nullptr;
    if (variant != VARIANT_DEFAULT && variant != -1) return nullptr;
    const int32_t chosenOrientation = orientation == -1 ? TOP_DOWN : orientation;
    const int32_t chosenAdvance = advance == -1 ? 0 : advance;

    // The whole block must fit int32, so pitches, offsets and pixel counts all do.
    const int64_t row = int64_t(width) * format.bytes + chosenAdvance;
    const int64_t size = row * height;
    if (row <= 0 || size > INT32_MAX) return nullptr;

    auto* surface = new (std::nothrow) ISoftware::SURFACE;
    if (!surface) return nullptr;
    surface->buffer = static_cast<uint8_t*>(std::calloc(size_t(size), 1));
    if (!surface->buffer) {
        delete surface;
        return nullptr;
    }
    surface->pixels =
        chosenOrientation == TOP_DOWN ? surface->buffer : surface->buffer + row * (height - 1);
    kind = KIND_MEMORY;
    orientation = chosenOrientation;
    advance = chosenAdvance;
    variant = VARIANT_DEFAULT;
    return surface;
}

int ISoftware::addSurface(Surface* surface) {
    if (!surface) return 0;
    auto* registration = new (std::nothrow) Registration{surface};
    if (!registration) return 0;
    if (!surfaces.append(registration)) {
        delete registration;
        return 0;
    }
    return 1;
}

int ISoftware::removeSurface(Surface* surface) {
    return surfaces.removeFirst([surface](Registration& r) { return r.surface == surface; }) ? 1
                                                                                             : 0;
}
