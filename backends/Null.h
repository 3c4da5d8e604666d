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

// A display's own surface that has no pixels: a copy into it is a presentation, run by the
// surface that is copied (Surface::copy) in three steps. beginPresentation names the surface to
// convert into: one in the display's format and of its size, whose destination area is then
// converted into, or the source itself when the display shows it as it is. The copy converts,
// then finishPresentation shows the area; cancelPresentation ends one whose conversion failed.
// Between begin and its end the back end may hold its own lock. A copy out of the display has
// nothing to read.
class PresentingSurface : public NullSurface {
  public:
    // Null when nothing is to be shown: result then tells whether that is a success.
    virtual Surface* beginPresentation(Surface& source, const Rect& sourceArea,
                                       const Rect& destinationArea, int& result) = 0;
    // Shows shownArea of shown at destinationArea of the display; non-zero on success.
    virtual int finishPresentation(Surface& shown, const Rect& shownArea,
                                   const Rect& destinationArea) = 0;
    virtual void cancelPresentation() = 0;
};
