#pragma once
#include "backends/Interface.h"

// The back end that stands for no display: every operation has a fixed, harmless result.
// The console keyboard is its only working part.
class IDummy : public Interface {
  public:
    // The back-end surface of nothing: every operation fails.
    class SURFACE : public ::SURFACE {
      public:
        constexpr SURFACE() = default;
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

    constexpr IDummy() = default;
    ReservedRecord reservedRecord() override { return {}; }
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
    int reservedB(int32_t& first, int32_t& second) override;
    int reservedC() override { return 0; }
    int reservedD() override { return 0; }
    int reservedE() override { return 0; }
    int readKey() override;
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
                             int32_t&) override;
    int addSurface(Surface*) override { return 1; }
    int removeSurface(Surface*) override { return 1; }
};

// Placeholders for display hardware this platform never has; never ok.
class IVGA : public IDummy {
  public:
    ~IVGA() override;
};

class IVESA : public IDummy {
  public:
    ~IVESA() override;
};

// The back end of every closed PTC. Constant-initialised, so it exists before any other
// static initialiser runs.
extern constinit IDummy staticDummy;

// The placeholders every platform's factory offers as candidates 2 (IVESA) and 3 (IVGA); null
// for any other index.
Interface* placeholderBackEnd(int index);
