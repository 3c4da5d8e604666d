#pragma once
#include "display/List.h"
#include "display/MODE.h"
#include "format/Codes.h"
#include "format/Format.h"
#include "platform/Platform.h"

#include <cstdint>

class Surface;
class Palette;
struct Rect;
class SURFACE;

// A record no back end gives a meaning; every back end returns it zeroed.
struct ReservedRecord {
    int32_t a = 0, b = 0, c = 0;
};

// A display back end. The order of the operations is part of the contract.
class Interface {
  public:
    virtual ~Interface() = default;
    virtual ReservedRecord reservedRecord() = 0;
    virtual int getModes(List<MODE>& modes) = 0;
    virtual int openMode(const MODE& mode) = 0;
    virtual int open(int32_t width, int32_t height, int32_t mode, int32_t output,
                     int32_t secondOption, int32_t thirdOption) = 0;
    virtual int openFormat(int32_t width, int32_t height, const Format& format, int32_t output,
                           int32_t secondOption, int32_t thirdOption) = 0;
    virtual MODE getMode() = 0;
    virtual int setPalette(Palette& palette) = 0;
    virtual int getPalette(Palette& palette) = 0;
    virtual int waitRetrace() = 0;
    virtual int reservedSurface(Surface& surface) = 0;
    virtual Surface* displaySurface() = 0;
    virtual int reservedA() = 0;
    virtual int reservedB(int32_t& first, int32_t& second) = 0;
    virtual int reservedC() = 0;
    virtual int reservedD() = 0;
    virtual int reservedE() = 0;
    virtual int readKey() = 0;
    virtual int keyPressed() = 0;
    virtual int setTitle(const char* title) = 0;
    virtual int getTitle(char* buffer) = 0;
    virtual int nativeType() = 0;
    virtual void* nativeData() = 0;
    // Writes the NUL-terminated name into a buffer of 8 characters.
    virtual void name(char* buffer) = 0;
    virtual int width() = 0;
    virtual int height() = 0;
    virtual int bits() = 0;
    virtual int bytes() = 0;
    virtual int output() = 0;
    virtual int secondOption() = 0;
    virtual int thirdOption() = 0;
    virtual Format format() = 0;
    virtual WindowHandle window() = 0;
    virtual int ok() = 0;
    // Makes the back-end half of a Surface; may write its choices back into the arguments.
    virtual SURFACE* createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                                   int32_t& orientation, int32_t& advance, int32_t& variant) = 0;
    virtual int addSurface(Surface* surface) = 0;
    virtual int removeSurface(Surface* surface) = 0;

  protected:
    constexpr Interface() = default;
    Interface(const Interface&) = delete;
    Interface& operator=(const Interface&) = delete;
};

// The back-end half of a Surface: its pixels. The order of the operations is part of the
// contract. lookup is a palette translation table, null for sources that are not indexed.
class SURFACE {
  public:
    virtual ~SURFACE() = default;
    virtual void* lock(int wait) = 0;
    virtual void unlock() = 0;
    virtual int lockCount() = 0;
    virtual int lockable() = 0;
    virtual int restore() = 0;
    virtual int reservedA(Surface& owner, int value) = 0;
    virtual int reservedB(Surface& owner, int first, int second) = 0;
    virtual int copy(Surface& source, Surface& destination, int flags, const void* lookup) = 0;
    virtual int copyArea(Surface& source, const Rect& sourceRect, Surface& destination,
                         const Rect& destinationRect, int flags, const void* lookup) = 0;
    virtual int transfer(Surface& source, Surface& destination, int flags, const void* lookup) = 0;
    virtual int transferArea(Surface& source, const Rect& sourceRect, Surface& destination,
                             const Rect& destinationRect, int flags, const void* lookup) = 0;
    virtual int nativeType() = 0;
    virtual void* nativeData() = 0;
    virtual int valid() = 0;

  protected:
    constexpr SURFACE() = default;
    SURFACE(const SURFACE&) = delete;
    SURFACE& operator=(const SURFACE&) = delete;
};
