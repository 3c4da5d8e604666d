#pragma once
#include "backends/Interface.h"

// The results every back end gives for what it cannot do, written once. A back end derives from
// these and overrides only what it does.

// A back end without a display: every operation reports failure or emptiness (0, null, an empty
// name, record, list or format). Keys come from the process's console, the only keyboard a back
// end without a window has.
class NullInterface : public Interface {
  public:
    constexpr NullInterface() = default;
    ReservedRecord reservedRecord() override { return {}; }
    // Empties the list.
    int getModes(List<MODE>& modes) override;
    int openMode(const MODE&) override { return 0; }
    int open(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) override { return 0; }
    int openFormat(int32_t, int32_t, const Format&, int32_t, int32_t, int32_t) override {
        return 0;
    }
    MODE getMode() override { return {}; }
    int setPalette(Palette&) override { return 0; }
    int getPalette(Palette&) override { return 0; }
    int waitRetrace() override { return 0; }
    int reservedSurface(Surface&) override { return 0; }
    Surface* displaySurface() override { return nullptr; }
    int reservedA() override { return 0; }
    // Sets both to 0.
    int reservedB(int32_t& first, int32_t& second) override;
    int reservedC() override { return 0; }
    int reservedD() override { return 0; }
    int reservedE() override { return 0; }
    // Waits for a key on the console and returns its code.
    int readKey() override;
    // Whether the console holds a key, without taking it.
    int keyPressed() override;
    int setTitle(const char*) override { return 0; }
    int getTitle(char*) override { return 0; }
    int nativeType() override { return 0; }
    void* nativeData() override { return nullptr; }
    void name(char* buffer) override { buffer[0] = '\0'; }
    int width() override { return 0; }
    int height() override { return 0; }
    int bits() override { return 0; }
    int bytes() override { return 0; }
    int output() override { return 0; }
    int secondOption() override { return 0; }
    int thirdOption() override { return 0; }
    Format format() override { return Format(); }
    WindowHandle window() override { return nullptr; }
    int ok() override { return 0; }
    ::SURFACE* createSurface(int32_t&, int32_t&, Format&, int32_t&, int32_t&, int32_t&,
                             int32_t&) override {
        return nullptr;
    }
    int addSurface(Surface*) override { return 0; }
    int removeSurface(Surface*) override { return 0; }
};

// A back-end surface without pixels: every operation fails.
class NullSurface : public SURFACE {
  public:
    constexpr NullSurface() = default;
    void* lock(int) override { return nullptr; }
    void unlock() override {}
    int lockCount() override { return 0; }
    int lockable() override { return 0; }
    int restore() override { return 0; }
    int reservedA(Surface&, int) override { return 0; }
    int reservedB(Surface&, int, int) override { return 0; }
    int copy(Surface&, Surface&, int, const void*) override { return 0; }
    int copyArea(Surface&, const Rect&, Surface&, const Rect&, int, const void*) override {
        return 0;
    }
    int transfer(Surface&, Surface&, int, const void*) override { return 0; }
    int transferArea(Surface&, const Rect&, Surface&, const Rect&, int, const void*) override {
        return 0;
    }
    int nativeType() override { return 0; }
    void* nativeData() override { return nullptr; }
    int valid() override { return 0; }
};

// A display's own surface that has no pixels: a copy into that display (and only into it) is a
// presentation; a copy out of it has nothing to read.
class PresentingSurface : public NullSurface {
  public:
    int copy(Surface& source, Surface& destination, int flags, const void* lookup) override;
    int copyArea(Surface& source, const Rect& sourceRect, Surface& destination,
                 const Rect& destinationRect, int flags, const void* lookup) override;

  protected:
    // The display this surface stands for; null until that display has it, and after.
    virtual Surface* display() = 0;
    virtual int present(Surface& source, const Rect& sourceRect, const Rect& destinationRect) = 0;
};
