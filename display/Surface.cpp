#include "display/Surface.h"

#include "backends/Dummy.h"
#include "backends/Null.h"
#include "backends/Software.h"
#include "display/BackEndHolder.h"
#include "display/Image.h"
#include "display/Palette.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

// The placeholders an empty surface points at. Constant-initialised, so they exist before any
// dynamic initialiser of any file runs; held in unions whose destructors do nothing, so they
// are never destroyed and static surfaces destroyed late still find them working.
union PlaceholderBackEnd {
    IDummy object;
    constexpr PlaceholderBackEnd() : object() {}
    ~PlaceholderBackEnd() {}
};
union PlaceholderSurface {
    IDummy::SURFACE object;
    constexpr PlaceholderSurface() : object() {}
    ~PlaceholderSurface() {}
};
constinit PlaceholderBackEnd placeholderBackEnd;
constinit PlaceholderSurface defaultSurface;

Interface* placeholder() {
    return &placeholderBackEnd.object;
}
SURFACE* emptySurface() {
    return &defaultSurface.object;
}

// A PTC stands for its back end, or for none while it is closed.
Interface* backEndOf(BackEndHolder& ptc) {
    Interface* iface = ptc.backEnd();
    return iface == &staticDummy ? nullptr : iface;
}

int32_t saturate(int64_t value) {
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void dropArea(ClipArea*& area) {
    if (area && --area->references <= 0) delete area;
    area = nullptr;
}

} // namespace

// --- ClipArea ---

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

// --- Construction ---

Surface::Surface() : paletteRef(&defaultPalette()), iface(placeholder()), native(emptySurface()) {}

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

Surface::Surface(BackEndHolder& ptc, int32_t width, int32_t height, const Format& format,
                 int32_t kind, int32_t orientation, int32_t advance, int32_t variant)
    : Surface() {
    create(ptc, width, height, format, kind, orientation, advance, variant);
}

Surface::Surface(BackEndHolder& ptc, const char* fileName, int32_t kind, int32_t orientation,
                 int32_t advance, int32_t variant)
    : Surface() {
    load(ptc, fileName, kind, orientation, advance, variant);
}

Surface::Surface(BackEndHolder& ptc, int32_t kind) : Surface() {
    createCompatible(ptc, kind);
}

Surface::~Surface() {
    close();
    detach();
}

// --- Initialisers ---

bool Surface::create(int32_t width, int32_t height, const Format& format, int32_t kind,
                     int32_t orientation, int32_t advance, int32_t variant) {
    return create(&softwareInterface(), width, height, format, kind, orientation, advance, variant);
}

bool Surface::create(BackEndHolder& ptc, int32_t width, int32_t height, const Format& format,
                     int32_t kind, int32_t orientation, int32_t advance, int32_t variant) {
    return create(backEndOf(ptc), width, height, format, kind, orientation, advance, variant);
}

bool Surface::create(Interface* backEnd, int32_t width, int32_t height, const Format& format,
                     int32_t kind, int32_t orientation, int32_t advance, int32_t variant) {
    if (!backEnd || width <= 0 || height <= 0 || !format.ok() || advance < -1) return false;

    int32_t answeredWidth = width, answeredHeight = height;
    Format answeredFormat = format;
    int32_t answeredKind = kind, answeredOrientation = orientation;
    int32_t answeredAdvance = advance, answeredVariant = variant;
    std::unique_ptr<SURFACE> made(
        backEnd->createSurface(answeredWidth, answeredHeight, answeredFormat, answeredKind,
                               answeredOrientation, answeredAdvance, answeredVariant));
    // A back-end surface that is not usable (a closed display's) is a failure, not a surface.
    if (!made || !made->valid()) return false;

    auto answered = [](int32_t request, int32_t answer) {
        return request == -1 || request == answer;
    };
    if (answeredWidth != width || answeredHeight != height || answeredFormat != format ||
        !answered(orientation, answeredOrientation) || !answered(advance, answeredAdvance) ||
        !answered(variant, answeredVariant))
        return false;
    if (kind == KIND_ANY ? answeredKind != KIND_MEMORY && answeredKind != KIND_PRIMARY
                         : !answered(kind, answeredKind))
        return false;
    if (answeredOrientation != TOP_DOWN && answeredOrientation != BOTTOM_UP) return false;
    const int64_t rowBytes = int64_t(width) * format.bytes + answeredAdvance;
    if (answeredAdvance < 0 || rowBytes > INT32_MAX) return false;

    // Everything that can fail is had before the surface changes, so a failure leaves it as it
    // was.
    std::unique_ptr<ClipArea> newArea(
        new (std::nothrow) ClipArea(Rect(0, 0, width, height), Rect(0, 0, width, height)));
    if (!newArea) return false;
    std::unique_ptr<Palette> ramp;
    if (format.model == GREY_MODEL) {
        ramp.reset(new (std::nothrow) Palette);
        uint32_t* colours = ramp ? ramp->lock() : nullptr;
        if (!colours) return false;
        for (uint32_t i = 0; i < 256; ++i) colours[i] = (i << 16) + (i << 8) + i;
        ramp->unlock();
    }
    const bool moving = backEnd != iface;
    if (moving && !backEnd->addSurface(this)) return false;

    close();
    if (moving) {
        iface->removeSurface(this);
        iface = backEnd;
    }
    native = made.release();
    widthPixels = width;
    heightPixels = height;
    pixelFormat = format;
    kindValue = answeredKind;
    orientationValue = answeredOrientation;
    advanceBytes = answeredAdvance;
    variantValue = answeredVariant;
    pitchBytes = int32_t(answeredOrientation == BOTTOM_UP ? -rowBytes : rowBytes);
    if (ramp && attachPalette(ramp.get())) ramp.release();
    clip = newArea.release();
    clip->references = 1;
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

bool Surface::createCompatible(BackEndHolder& ptc, int32_t kind) {
    return createCompatible(backEndOf(ptc), kind);
}

bool Surface::load(const char* fileName, int32_t kind, int32_t orientation, int32_t advance,
                   int32_t variant) {
    return load(&softwareInterface(), fileName, kind, orientation, advance, variant);
}

bool Surface::load(BackEndHolder& ptc, const char* fileName, int32_t kind, int32_t orientation,
                   int32_t advance, int32_t variant) {
    return load(backEndOf(ptc), fileName, kind, orientation, advance, variant);
}

bool Surface::load(Interface* backEnd, const char* fileName, int32_t kind, int32_t orientation,
                   int32_t advance, int32_t variant) {
    if ((advance != 0 && advance != -1) || (variant != -1 && variant != VARIANT_DEFAULT))
        return false;
    if (!backEnd || !fileName) return false;
    Image image(fileName, 1);
    if (!image.ok()) return false;
    int imageWidth = 0, imageHeight = 0, hasPalette = 0;
    Format imageFormat;
    if (!image.info(imageWidth, imageHeight, imageFormat, hasPalette)) return false;
    if (!create(backEnd, imageWidth, imageHeight, imageFormat, kind, orientation, advance, variant))
        return false;

    void* pixels = lock(1);
    if (!pixels) {
        close();
        return false;
    }
    bool read = false;
    if (hasPalette) {
        Palette* colours = new (std::nothrow) Palette;
        uint32_t* entries = colours ? colours->lock() : nullptr;
        if (entries) {
            read = image.read(pixels, orientationValue, pitchBytes, entries);
            colours->unlock();
            read = read && attachPalette(colours);
        }
        if (!read) delete colours;
    } else {
        read = image.read(pixels, orientationValue, pitchBytes, nullptr);
    }
    unlock();
    if (!read) close();
    return read;
}

// --- Access ---

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
    return iface == &softwareInterface() || iface == placeholder() ? nullptr : iface;
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

// --- Copies ---

namespace {

// The lookup an indexed source needs to reach the destination's format; null for others.
const void* lookupFor(Palette& palette, const Format& source, const Format& destination) {
    return source.type == INDEXED ? palette.lookup(destination, Palette::AUTOMATIC) : nullptr;
}

// s against the source surface's area, t against the destination's, then both cut to the part
// visible in both at one size. False when nothing of it remains.
bool clipCopy(const ClipArea* sourceArea, const ClipArea* destinationArea, Rect& s, Rect& t) {
    if (!sourceArea || !destinationArea) {
        if (sourceArea) return sourceArea->clipSource(s);
        if (destinationArea) return destinationArea->clipDestination(t);
        return true;
    }
    s.normalise();
    t.normalise();
    Rect sc = s;
    if (!sourceArea->clipSource(sc)) return false;
    // 64-bit sums: a corner far out may move by more than the 32-bit range.
    const int64_t tx1 = int64_t(t.x1) + (int64_t(sc.x1) - s.x1);
    const int64_t ty1 = int64_t(t.y1) + (int64_t(sc.y1) - s.y1);
    if (tx1 > t.x2 || ty1 > t.y2) return false;
    t.x1 = int32_t(tx1);
    t.y1 = int32_t(ty1);
    Rect tc = t;
    if (!destinationArea->clipDestination(tc)) return false;
    const int64_t sx1 = int64_t(sc.x1) + (int64_t(tc.x1) - t.x1);
    const int64_t sy1 = int64_t(sc.y1) + (int64_t(tc.y1) - t.y1);
    if (sx1 > sc.x2 || sy1 > sc.y2) return false;
    sc.x1 = int32_t(sx1);
    sc.y1 = int32_t(sy1);
    const int64_t w = std::min(int64_t(sc.x2) - sc.x1, int64_t(tc.x2) - tc.x1);
    const int64_t h = std::min(int64_t(sc.y2) - sc.y1, int64_t(tc.y2) - tc.y1);
    s = Rect(sc.x1, sc.y1, int32_t(sc.x1 + w), int32_t(sc.y1 + h));
    t = Rect(tc.x1, tc.y1, int32_t(tc.x1 + w), int32_t(tc.y1 + h));
    return true;
}

} // namespace

bool Surface::presentOn(Surface& display, const Rect& source, const Rect& target, bool& handled) {
    auto* presenting = dynamic_cast<PresentingSurface*>(display.native);
    handled = presenting != nullptr;
    // Nothing is read out of a display, not even into itself.
    if (!presenting || dynamic_cast<PresentingSurface*>(native)) return false;
    int result = 0;
    Surface* into = presenting->beginPresentation(*this, source, target, result);
    if (!into) return result != 0;
    if (into == this) return presenting->finishPresentation(*this, source, target) != 0;
    if (!copy(*into, source, target, 0)) {
        presenting->cancelPresentation();
        return false;
    }
    return presenting->finishPresentation(*into, target, target) != 0;
}

bool Surface::copy(Surface& destination, int flags) {
    if (widthPixels == destination.widthPixels && heightPixels == destination.heightPixels &&
        advanceBytes == 0 && destination.advanceBytes == 0 &&
        orientationValue == destination.orientationValue) {
        bool presented = false;
        if (presentOn(destination, rect(), destination.rect(), presented)) return true;
        if (presented) return false;
        const void* lookup = lookupFor(*paletteRef, pixelFormat, destination.pixelFormat);
        if (destination.native->copy(*this, destination, flags, lookup)) return true;
        return native->copy(*this, destination, flags, lookup) != 0;
    }
    const Rect whole = rect();
    return copy(destination, whole, whole, flags);
}

bool Surface::copy(Surface& destination, int32_t x, int32_t y, int flags) {
    const Rect target(x, y, saturate(int64_t(x) + widthPixels),
                      saturate(int64_t(y) + heightPixels));
    return copy(destination, rect(), target, flags);
}

bool Surface::copy(Surface& destination, const Rect& source, const Rect& target, int flags) {
    Rect s = source, t = target;
    if (!clipCopy(clip, destination.clip, s, t)) return true; // nothing visible
    bool presented = false;
    if (presentOn(destination, s, t, presented)) return true;
    if (presented) return false;
    const void* lookup = lookupFor(*paletteRef, pixelFormat, destination.pixelFormat);
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

bool Surface::update(BackEndHolder& ptc) {
    Interface* display = backEndOf(ptc);
    return display && update(*display);
}

bool Surface::update(Interface& backEnd) {
    Surface* screen = backEnd.displaySurface();
    return screen && copy(*screen, 0);
}

bool Surface::update(BackEndHolder& ptc, const Rect& r) {
    return update(ptc, r, r);
}

bool Surface::update(BackEndHolder& ptc, const Rect& source, const Rect& target) {
    Interface* display = backEndOf(ptc);
    Surface* screen = display ? display->displaySurface() : nullptr;
    return screen && copy(*screen, source, target, 0);
}

// --- Re-creation ---

// Every pixel into a fresh surface of the same size. Unlike a copy it ignores the clip areas:
// re-creating a surface never loses the pixels outside them.
bool Surface::copyAll(Surface& destination) {
    if (widthPixels == destination.widthPixels && heightPixels == destination.heightPixels &&
        advanceBytes == 0 && destination.advanceBytes == 0 &&
        orientationValue == destination.orientationValue)
        return copy(destination, 0);
    const Rect whole = rect();
    const void* lookup = lookupFor(*paletteRef, pixelFormat, destination.pixelFormat);
    if (destination.native->copyArea(*this, whole, destination, whole, 0, lookup)) return true;
    return native->copyArea(*this, whole, destination, whole, 0, lookup) != 0;
}

bool Surface::convert(const Format& format) {
    if (!ok()) return false;
    if (format == pixelFormat) return true;
    Surface temporary;
    if (!temporary.create(iface, widthPixels, heightPixels, format, kindValue, orientationValue,
                          advanceBytes, variantValue) ||
        !temporary.ok() || !copyAll(temporary))
        return false;
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
    if (!backEnd || !ok()) return false;
    if (backEnd == iface) return true;
    Surface temporary;
    if (!temporary.create(backEnd, widthPixels, heightPixels, pixelFormat, kindValue,
                          orientationValue, advanceBytes, variantValue) ||
        !temporary.ok() || !copyAll(temporary))
        return false;
    // Registered with the new back end before anything else changes, so running out of memory
    // there leaves this surface as it was.
    if (!backEnd->addSurface(this)) return false;
    backEnd->removeSurface(&temporary);
    iface->removeSurface(this);
    std::swap(native, temporary.native);
    temporary.iface = placeholder(); // registered nowhere now: its detach has nothing to do
    iface = backEnd;
    return true;
}

bool Surface::migrate(BackEndHolder& ptc) {
    return migrate(backEndOf(ptc));
}

bool Surface::migrateToMemory() {
    return migrate(&softwareInterface());
}

bool Surface::reconfigure(int32_t kind, int32_t orientation, int32_t advance, int32_t variant) {
    if (!ok()) return false;
    Surface temporary;
    if (!temporary.create(iface, widthPixels, heightPixels, pixelFormat, kind, orientation, advance,
                          variant) ||
        !temporary.ok() || !copyAll(temporary))
        return false;
    // Both stay registered with the same back end; the temporary leaves it when destroyed.
    std::swap(native, temporary.native);
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
    Surface temporary;
    if (!temporary.create(iface, widthPixels, heightPixels, pixelFormat, kindValue, orientation,
                          advanceBytes, variantValue) ||
        !temporary.ok() || !copyAll(temporary))
        return false;
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

// --- Palettes ---

Palette* Surface::palette() const {
    return pixelFormat.type == INDEXED && paletteRef != &defaultPalette() ? paletteRef : nullptr;
}

bool Surface::setPalette(const Palette& source) {
    if (!source.ok() || pixelFormat.type != INDEXED) return false;
    Palette* copied = new (std::nothrow) Palette(source);
    if (!copied) return false;
    if (!attachPalette(copied)) {
        delete copied;
        return false;
    }
    return true;
}

bool Surface::attachPalette(Palette* shared) {
    if (!ok() || pixelFormat.type != INDEXED || !shared || !shared->ok()) return false;
    if (shared == paletteRef) return true;
    dropPalette();
    paletteRef = shared;
    shared->addReference();
    return true;
}

void Surface::dropPalette() {
    if (paletteRef != &defaultPalette() && paletteRef->release() == 0) delete paletteRef;
    paletteRef = &defaultPalette();
}

// --- Clip area ---

bool Surface::setArea(const ClipArea& given) {
    if (!ok()) return false;
    ClipArea* copied = new (std::nothrow) ClipArea(given.source(), given.destination());
    if (!copied) return false;
    // Only this surface holds the copy, whatever count the original had: it goes with the last
    // reference.
    copied->references = 1;
    dropArea(clip);
    clip = copied;
    return true;
}

// --- Back-end side ---

void Surface::close() {
    if (native != emptySurface()) delete native;
    native = emptySurface();
    dropPalette();
    dropArea(clip);
}

void Surface::detach() {
    iface->removeSurface(this);
    iface = placeholder();
}
