#pragma once
#include "backends/Interface.h"
#include "display/Rect.h"
#include "format/Codes.h"
#include "format/Format.h"

#include <cstdint>

class BackEndHolder;
class Palette;

// A reference-counted pair of clip rectangles: copies out of a surface are clipped against its
// source rectangle, copies into it against its destination rectangle. Both stay normalised.
class ClipArea {
  public:
    ClipArea(const Rect& source, const Rect& destination);

    void setSource(const Rect& r);
    void setDestination(const Rect& r);
    void set(const Rect& source, const Rect& destination);
    Rect source() const { return sourceRect; }
    Rect destination() const { return destinationRect; }
    // Clips r in place; false when they do not overlap (touching edges overlap).
    bool clipSource(Rect& r) const { return clip(r, sourceRect); }
    bool clipDestination(Rect& r) const { return clip(r, destinationRect); }
    static bool clip(Rect& r, const Rect& against);

    int32_t references = 0;

  private:
    Rect sourceRect, destinationRect;
};

// A rectangle of pixels in one format whose memory belongs to a back end. Unset parts point at
// do-nothing objects, so every operation on an empty surface is harmless and reports failure.
class Surface {
  public:
    Surface();
    Surface(int32_t width, int32_t height, const Format& format, int32_t kind, int32_t orientation,
            int32_t advance, int32_t variant);
    Surface(const char* fileName, int32_t kind, int32_t orientation, int32_t advance,
            int32_t variant);
    Surface(Interface* iface, int32_t width, int32_t height, const Format& format, int32_t kind,
            int32_t orientation, int32_t advance, int32_t variant);
    Surface(Interface* iface, const char* fileName, int32_t kind, int32_t orientation,
            int32_t advance, int32_t variant);
    Surface(Interface* iface, int32_t kind);
    Surface(BackEndHolder& ptc, int32_t width, int32_t height, const Format& format, int32_t kind,
            int32_t orientation, int32_t advance, int32_t variant);
    Surface(BackEndHolder& ptc, const char* fileName, int32_t kind, int32_t orientation,
            int32_t advance, int32_t variant);
    Surface(BackEndHolder& ptc, int32_t kind);
    ~Surface();

    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    bool create(int32_t width, int32_t height, const Format& format, int32_t kind,
                int32_t orientation, int32_t advance, int32_t variant);
    bool create(Interface* iface, int32_t width, int32_t height, const Format& format, int32_t kind,
                int32_t orientation, int32_t advance, int32_t variant);
    bool create(BackEndHolder& ptc, int32_t width, int32_t height, const Format& format,
                int32_t kind, int32_t orientation, int32_t advance, int32_t variant);
    bool load(const char* fileName, int32_t kind, int32_t orientation, int32_t advance,
              int32_t variant);
    bool load(Interface* iface, const char* fileName, int32_t kind, int32_t orientation,
              int32_t advance, int32_t variant);
    bool load(BackEndHolder& ptc, const char* fileName, int32_t kind, int32_t orientation,
              int32_t advance, int32_t variant);
    bool createCompatible(Interface* iface, int32_t kind);
    bool createCompatible(BackEndHolder& ptc, int32_t kind);

    void* lock(int wait);
    void unlock();
    int lockCount();

    int32_t pitch() const { return pitchBytes; }
    int32_t width() const { return widthPixels; }
    int32_t height() const { return heightPixels; }
    int32_t kind() const { return kindValue; }
    int32_t orientation() const { return orientationValue; }
    int32_t advance() const { return advanceBytes; }
    int32_t variant() const { return variantValue; }
    int64_t pixels() const { return int64_t(widthPixels) * heightPixels; }
    int32_t bits() const { return pixelFormat.bits; }
    int32_t bytes() const { return pixelFormat.bytes; }
    Format format() const { return pixelFormat; }
    Rect rect() const { return Rect(0, 0, widthPixels, heightPixels); }
    // Null for the software interface and the placeholder.
    Interface* backEnd() const;
    bool ok() const;
    int nativeType();
    void* nativeData();

    bool copy(Surface& destination, int flags);
    bool copy(Surface& destination, int32_t x, int32_t y, int flags);
    bool copy(Surface& destination, const Rect& source, const Rect& target, int flags);
    bool update();
    bool update(const Rect& r);
    bool update(const Rect& source, const Rect& target);
    bool update(BackEndHolder& ptc);
    bool update(BackEndHolder& ptc, const Rect& r);
    bool update(BackEndHolder& ptc, const Rect& source, const Rect& target);
    // Onto the display of a back end other than the surface's own.
    bool update(Interface& backEnd);

    bool convert(const Format& format);
    bool migrate(Interface* iface);
    bool migrate(BackEndHolder& ptc);
    bool migrateToMemory();
    bool reconfigure(int32_t kind, int32_t orientation, int32_t advance, int32_t variant);
    bool setOrientation(int32_t orientation);
    bool restore();

    // Null unless the format is indexed and a palette other than the default is attached.
    Palette* palette() const;
    // Attaches a private copy of palette.
    bool setPalette(const Palette& palette);
    // Shares a heap palette: the surface holds one reference and the last holder deletes it.
    bool attachPalette(Palette* palette);

    ClipArea* area() const { return clip; }
    bool setArea(const ClipArea& area);

    // Called by back ends: close drops the pixels, palette and area but stays registered;
    // detach leaves the back end for the placeholder.
    void close();
    void detach();

  private:
    bool copyAll(Surface& destination);
    // A copy into a display whose own surface has no pixels: converted into the surface its
    // back end names, then shown. False when destination is no such display (handled is then
    // false too).
    bool presentOn(Surface& display, const Rect& source, const Rect& target, bool& handled);
    void dropPalette();

    int32_t widthPixels = 0;
    int32_t heightPixels = 0;
    int32_t kindValue = 0;
    int32_t variantValue = 0;
    int32_t orientationValue = 0;
    int32_t advanceBytes = 0;
    int32_t pitchBytes = 0;
    Format pixelFormat;
    ClipArea* clip = nullptr;
    Palette* paletteRef;
    Interface* iface;
    SURFACE* native;
};
