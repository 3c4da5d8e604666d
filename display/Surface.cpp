#include "display/Surface.h"

#include "backends/Dummy.h"
#include "backends/Software.h"
#include "display/Image.h"
#include "display/PTC.h"
#include "display/Palette.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

// What an empty surface points at. Constant-initialised, so surfaces in any file's statics can
// use them from the start.
constinit IDummy placeholderBackEnd;
constinit IDummy::SURFACE emptySurface;

// A PTC with no display stands for no back end.
Interface* backEndOf(PTC& ptc) {
    Interface* iface = ptc.backEnd();
    return iface == &staticDummy ? nullptr : iface;
}

} // namespace

ClipArea::ClipArea(const Rect& source, const Rect& destination) {
    set(source, destination);
}

void ClipArea::setSource(const Rect& r) {
    sourceRect = r;
    sourceRect.normalise();
}

void ClipArea::setDestination(const Rect& r) {
    destinationRect = r;
    destinationRect.normalise();
}

void ClipArea::set(const Rect& source, const Rect& destination) {
    setSource(source);
    setDestination(destination);
}

bool ClipArea::clip(Rect& r, const Rect& a) {
    if (r.x2 < a.x1 || a.x2 < r.x1 || r.y2 < a.y1 || a.y2 < r.y1) return false;
    r.x1 = std::max(r.x1, a.x1);
    r.y1 = std::max(r.y1, a.y1);
    r.x2 = std::min(r.x2, a.x2);
    r.y2 = std::min(r.y2, a.y2);
    return true;
}

Surface::Surface()
    : paletteRef(&defaultPalette()), iface(&placeholderBackEnd), native(&emptySurface) {}

Surface::Surface(int32_t width, int32_t height, const Format& format, int32_t kind,
                 int32_t orientation, int32_t advance, int32_t variant)
    : Surface() {
    create(width, height, format, kind, orientation, advance, variant);
}

Surface::Surface(const char* fileName, int32_t kind, int32_t orientation, int32_t advance,
                 int32_t variant)
    : Surface() {
    load(fileName, kind, orientation, advance, variant);
}

Surface::Surface(Interface* backEnd, int32_t width, int32_t height, const Format& format,
                 int32_t kind, int32_t orientation, int32_t advance, int32_t variant)
    : Surface() {
    create(backEnd, width, height, format, kind, orientation, advance, variant);
}

Surface::Surface(Interface* backEnd, const char* fileName, int32_t kind, int32_t orientation,
                 int32_t advance, int32_t variant)
    : Surface() {
    load(backEnd, fileName, kind, orientation, advance, variant);
}

Surface::Surface(Interface* backEnd, int32_t kind) : Surface() {
    createCompatible(backEnd, kind);
}

Surface::Surface(PTC& ptc, int32_t width, int32_t height, const Format& format, int32_t kind,
                 int32_t orientation, int32_t advance, int32_t variant)
    : Surface() {
    create(ptc, width, height, format, kind, orientation, advance, variant);
}

Surface::Surface(PTC& ptc, const char* fileName, int32_t kind, int32_t orientation, int32_t advance,
                 int32_t variant)
    : Surface() {
    load(ptc, fileName, kind, orientation, advance, variant);
}

Surface::Surface(PTC& ptc, int32_t kind) : Surface() {
    createCompatible(ptc, kind);
}

Surface::~Surface() {
    close();
    detach();
}

bool Surface::create(int32_t width, int32_t height, const Format& format, int32_t kind,
                     int32_t orientation, int32_t advance, int32_t variant) {
    return create(&softwareInterface(), width, height, format, kind, orientation, advance, variant);
}

bool Surface::create(PTC& ptc, int32_t width, int32_t height, const Format& format, int32_t kind,
                     int32_t orientation, int32_t advance, int32_t variant) {
    return create(backEndOf(ptc), width, height, format, kind, orientation, advance, variant);
}

bool Surface::create(Interface* backEnd, int32_t width, int32_t height, const Format& format,
                     int32_t kind, int32_t orientation, int32_t advance, int32_t variant) {
    if (!backEnd || width <= 0 || height <= 0 || !format.ok() || advance < -1) return false;
    int32_t w = width, h = height, k = kind, o = orientation, a = advance, v = variant;
    Format f = format;
    SURFACE* made = backEnd->createSurface(w, h, f, k, o, a, v);
    if (!made) return false;

    const auto answered = [](int32_t request, int32_t answer) {
        return request == -1 || request == answer;
    };
    bool accepted = w == width && h == height && answered(orientation, o) && answered(advance, a) &&
                    answered(variant, v) && f == format;
    if (kind == KIND_ANY)
        accepted = accepted && (k == KIND_MEMORY || k == KIND_PRIMARY);
    else
        accepted = accepted && answered(kind, k);
    // The pitch must be one the rows can be walked by.
    const int64_t rowBytes = int64_t(w) * f.bytes + a;
    accepted = accepted && (o == TOP_DOWN || o == BOTTOM_UP) && a >= 0 && rowBytes <= INT32_MAX;
    // The area is allocated before anything changes, so a failure leaves the surface as it was.
    ClipArea* newArea =
        accepted ? new (std::nothrow) ClipArea(Rect(0, 0, w, h), Rect(0, 0, w, h)) : nullptr;
    if (!newArea) {
        delete made;
        return false;
    }

    close();
    if (backEnd != iface) {
        iface->removeSurface(this);
        backEnd->addSurface(this);
    }
    native = made;
    iface = backEnd;
    widthPixels = w;
    heightPixels = h;
    pixelFormat = f;
    kindValue = k;
    orientationValue = o;
    advanceBytes = a;
    variantValue = v;
    pitchBytes = int32_t(o == BOTTOM_UP ? -rowBytes : rowBytes);

    if (pixelFormat.model == GREY_MODEL) {
        Palette grey;
        if (uint32_t* colours = grey.lock()) {
            for (uint32_t i = 0; i < 256; ++i) colours[i] = (i << 16) + (i << 8) + i;
            grey.unlock();
            setPalette(grey);
        }
    }
    newArea->references = 1;
    clip = newArea;
    return true;
}

bool Surface::createCompatible(Interface* backEnd, int32_t kind) {
    if (!backEnd) {
        close();
        return false;
    }
    return create(backEnd, backEnd->width(), backEnd->height(), backEnd->format(), kind, -1, -1,
                  -1);
}

bool Surface::createCompatible(PTC& ptc, int32_t kind) {
    return createCompatible(backEndOf(ptc), kind);
}

bool Surface::load(const char* fileName, int32_t kind, int32_t orientation, int32_t advance,
                   int32_t variant) {
    return load(&softwareInterface(), fileName, kind, orientation, advance, variant);
}

bool Surface::load(PTC& ptc, const char* fileName, int32_t kind, int32_t orientation,
                   int32_t advance, int32_t variant) {
    return load(backEndOf(ptc), fileName, kind, orientation, advance, variant);
}

bool Surface::load(Interface* backEnd, const char* fileName, int32_t kind, int32_t orientation,
                   int32_t advance, int32_t variant) {
    if (advance != 0 && advance != -1) return false;
    if (variant != -1 && variant != VARIANT_DEFAULT) return false;
    if (!fileName) return false;
    Image image(fileName, 1);
    if (!image.ok()) return false;
    int width = 0, height = 0, hasPalette = 0;
    Format format;
    if (!image.info(width, height, format, hasPalette)) return false;
    if (!create(backEnd, width, height, format, kind, orientation, advance, variant)) return false;

    void* pixels = lock(1);
    if (!pixels) {
        close();
        return false;
    }
    bool read;
    if (hasPalette) {
        auto* colours = new (std::nothrow) Palette;
        uint32_t* entries = colours ? colours->lock() : nullptr;
        read = entries && image.read(pixels, orientationValue, pitchBytes, entries);
        if (entries) colours->unlock();
        read = read && attachPalette(colours);
        if (!read) delete colours;
    } else {
        read = image.read(pixels, orientationValue, pitchBytes, nullptr);
    }
    unlock();
    if (!read) {
        close();
        return false;
    }
    return true;
}

void* Surface::lock(int wait) {
    return native->lock(wait);
}

void Surface::unlock() {
    native->unlock();
}

int Surface::lockCount() {
    return native->lockCount();
}

Interface* Surface::backEnd() const {
    if (iface == &placeholderBackEnd || iface == &softwareInterface()) return nullptr;
    return iface;
}

bool Surface::ok() const {
    return native->valid() != 0;
}

int Surface::nativeType() {
    return native->nativeType();
}

void* Surface::nativeData() {
    return native->nativeData();
}

namespace {

// The lookup an indexed source needs to reach the destination's format.
const void* lookupFor(Surface& source, Surface& destination) {
    if (source.format().type != INDEXED) return nullptr;
    Palette* palette = source.palette();
    Palette& colours = palette ? *palette : defaultPalette();
    return colours.lookup(destination.format(), Palette::AUTOMATIC);
}

} // namespace

bool Surface::copy(Surface& destination, int flags) {
    if (widthPixels == destination.widthPixels && heightPixels == destination.heightPixels &&
        advanceBytes == 0 && destination.advanceBytes == 0 &&
        orientationValue == destination.orientationValue) {
        const void* lookup = lookupFor(*this, destination);
        if (destination.native->copy(*this, destination, flags, lookup)) return true;
        return native->copy(*this, destination, flags, lookup) != 0;
    }
    const Rect whole(0, 0, widthPixels, heightPixels);
    return copy(destination, whole, whole, flags);
}

bool Surface::copy(Surface& destination, int32_t x, int32_t y, int flags) {
    return copy(destination, Rect(0, 0, widthPixels, heightPixels),
                Rect(x, y, x + widthPixels, y + heightPixels), flags);
}

namespace {

// Clips s against the source's area and t against the destination's, keeping the two the same
// size; false when nothing remains visible.
bool clipRects(const ClipArea* sourceArea, const ClipArea* destinationArea, Rect& s, Rect& t) {
    if (!sourceArea || !destinationArea) {
        if (sourceArea) return sourceArea->clipSource(s);
        if (destinationArea) return destinationArea->clipDestination(t);
        return true;
    }
    s.normalise();
    t.normalise();
    Rect sc = s;
    if (!sourceArea->clipSource(sc)) return false;
    t.x1 += sc.x1 - s.x1;
    t.y1 += sc.y1 - s.y1;
    if (t.x1 > t.x2 || t.y1 > t.y2) return false;
    Rect tc = t;
    if (!destinationArea->clipDestination(tc)) return false;
    sc.x1 += tc.x1 - t.x1;
    sc.y1 += tc.y1 - t.y1;
    if (sc.x1 > sc.x2 || sc.y1 > sc.y2) return false;
    const int32_t w = std::min(sc.x2 - sc.x1, tc.x2 - tc.x1);
    const int32_t h = std::min(sc.y2 - sc.y1, tc.y2 - tc.y1);
    s = Rect(sc.x1, sc.y1, sc.x1 + w, sc.y1 + h);
    t = Rect(tc.x1, tc.y1, tc.x1 + w, tc.y1 + h);
    return true;
}

} // namespace

bool Surface::copy(Surface& destination, const Rect& source, const Rect& target, int flags) {
    Rect s = source, t = target;
    if (!clipRects(clip, destination.clip, s, t)) return true;
    const void* lookup = lookupFor(*this, destination);
    if (destination.native->copyArea(*this, s, destination, t, flags, lookup)) return true;
    return native->copyArea(*this, s, destination, t, flags, lookup) != 0;
}

bool Surface::update() {
    Surface* display = iface->displaySurface();
    return display && copy(*display, 0);
}

bool Surface::update(const Rect& r) {
    return update(r, r);
}

bool Surface::update(const Rect& source, const Rect& target) {
    Surface* display = iface->displaySurface();
    return display && copy(*display, source, target, 0);
}

bool Surface::update(PTC& ptc) {
    Interface* backEnd = backEndOf(ptc);
    Surface* display = backEnd ? backEnd->displaySurface() : nullptr;
    return display && copy(*display, 0);
}

bool Surface::update(PTC& ptc, const Rect& r) {
    return update(ptc, r, r);
}

bool Surface::update(PTC& ptc, const Rect& source, const Rect& target) {
    Interface* backEnd = backEndOf(ptc);
    Surface* display = backEnd ? backEnd->displaySurface() : nullptr;
    return display && copy(*display, source, target, 0);
}

bool Surface::convert(const Format& format) {
    if (!ok()) return false;
    if (format == pixelFormat) return true;
    Surface temporary(iface, widthPixels, heightPixels, format, kindValue, orientationValue,
                      advanceBytes, variantValue);
    if (!temporary.ok() || !copy(temporary, 0)) return false;
    std::swap(native, temporary.native);
    std::swap(paletteRef, temporary.paletteRef);
    kindValue = temporary.kindValue;
    orientationValue = temporary.orientationValue;
    advanceBytes = temporary.advanceBytes;
    variantValue = temporary.variantValue;
    pitchBytes = temporary.pitchBytes;
    pixelFormat = temporary.pixelFormat;
    return true;
}

bool Surface::migrate(Interface* backEnd) {
    if (!ok() || !backEnd) return false;
    if (backEnd == iface) return true;
    Surface temporary(backEnd, widthPixels, heightPixels, pixelFormat, kindValue, orientationValue,
                      advanceBytes, variantValue);
    if (!temporary.ok() || !copy(temporary, 0)) return false;
    iface->removeSurface(this);
    temporary.iface->removeSurface(&temporary);
    std::swap(native, temporary.native);
    std::swap(iface, temporary.iface);
    iface->addSurface(this);
    temporary.iface->addSurface(&temporary);
    kindValue = temporary.kindValue;
    orientationValue = temporary.orientationValue;
    advanceBytes = temporary.advanceBytes;
    variantValue = temporary.variantValue;
    pitchBytes = temporary.pitchBytes;
    return true;
}

bool Surface::migrate(PTC& ptc) {
    return migrate(backEndOf(ptc));
}

bool Surface::migrateToMemory() {
    return migrate(&softwareInterface());
}

bool Surface::reconfigure(int32_t kind, int32_t orientation, int32_t advance, int32_t variant) {
    if (!ok()) return false;
    Surface temporary(iface, widthPixels, heightPixels, pixelFormat, kind, orientation, advance,
                      variant);
    if (!temporary.ok() || !copy(temporary, 0)) return false;
    iface->removeSurface(this);
    temporary.iface->removeSurface(&temporary);
    std::swap(native, temporary.native);
    iface->addSurface(this);
    temporary.iface->addSurface(&temporary);
    kindValue = temporary.kindValue;
    orientationValue = temporary.orientationValue;
    advanceBytes = temporary.advanceBytes;
    variantValue = temporary.variantValue;
    pitchBytes = temporary.pitchBytes;
    return true;
}

bool Surface::setOrientation(int32_t orientation) {
    if (!ok()) return false;
    if (orientation == orientationValue) return true;
    Surface temporary(iface, widthPixels, heightPixels, pixelFormat, kindValue, orientation,
                      advanceBytes, variantValue);
    if (!temporary.ok() || !copy(temporary, 0)) return false;
    std::swap(native, temporary.native);
    orientationValue = temporary.orientationValue;
    pitchBytes = temporary.pitchBytes;
    return true;
}

bool Surface::restore() {
    if (ok()) return false;
    if (native->restore()) return true;
    return create(iface, widthPixels, heightPixels, pixelFormat, kindValue, orientationValue,
                  advanceBytes, variantValue);
}

Palette* Surface::palette() const {
    if (pixelFormat.type != INDEXED || paletteRef == &defaultPalette()) return nullptr;
    return paletteRef;
}

bool Surface::setPalette(const Palette& source) {
    if (!source.ok() || pixelFormat.type != INDEXED) return false;
    auto* copied = new (std::nothrow) Palette(source);
    if (!copied) return false;
    if (!copied->ok() || !attachPalette(copied)) {
        delete copied;
        return false;
    }
    return true;
}

namespace {

void dropPalette(Palette*& palette) {
    if (palette != &defaultPalette() && palette->release() == 0) delete palette;
    palette = &defaultPalette();
}

void dropArea(ClipArea*& area) {
    if (area && --area->references <= 0) delete area;
    area = nullptr;
}

} // namespace

bool Surface::attachPalette(Palette* palette) {
    if (!ok() || pixelFormat.type != INDEXED || !palette || !palette->ok()) return false;
    if (palette == paletteRef) return true;
    dropPalette(paletteRef);
    palette->addReference();
    paletteRef = palette;
    return true;
}

bool Surface::setArea(const ClipArea& area) {
    if (!ok()) return false;
    auto* copied = new (std::nothrow) ClipArea(area);
    if (!copied) return false;
    // This surface is the only holder of the copy; carrying the original's count over would
    // keep it alive after its last holder let go.
    copied->references = 1;
    dropArea(clip);
    clip = copied;
    return true;
}

void Surface::close() {
    if (native != &emptySurface) delete native;
    native = &emptySurface;
    dropPalette(paletteRef);
    dropArea(clip);
}

void Surface::detach() {
    iface->removeSurface(this);
    iface = &placeholderBackEnd;
}
