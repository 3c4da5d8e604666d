#pragma once
#include "backends/Interface.h"
#include "display/List.h"

#include <cstdint>

class RASTER;

// The back end with no display: plain memory surfaces, the list of surfaces registered with it,
// and the library's only copies with format conversion, which the window back ends inherit.
class ISoftware : public Interface {
  public:
    // Pixels in one zero-filled heap block; row 0 is its first row (top-down) or its last
    // (bottom-up).
    class SURFACE : public ::SURFACE {
      public:
        SURFACE() = default;
        ~SURFACE() override;
        void* lock(int wait) override;
        void unlock() override;
        int lockCount() override { return locks; }
        int lockable() override { return 1; }
        int restore() override { return 0; }
        int reservedA(Surface&, int) override { return 0; }
        int reservedB(Surface&, int, int) override { return 0; }
        int copy(Surface& source, Surface& destination, int flags, const void* lookup) override;
        int copyArea(Surface& source, const Rect& sourceRect, Surface& destination,
                     const Rect& destinationRect, int flags, const void* lookup) override;
        int transfer(Surface&, Surface&, int, const void*) override { return 0; }
        int transferArea(Surface&, const Rect&, Surface&, const Rect&, int, const void*) override {
            return 0;
        }
        int nativeType() override { return 0; }
        void* nativeData() override { return nullptr; }
        int valid() override { return buffer && pixels ? 1 : 0; }

      protected:
        uint8_t* buffer = nullptr; // owned; freed by the destructor
        uint8_t* pixels = nullptr; // row 0
        int32_t locks = 0;

        friend class ISoftware;
    };

    ISoftware() = default;
    // Closes every registered surface, then detaches them all.
    ~ISoftware() override;

    ReservedRecord reservedRecord() override { return ReservedRecord(); }
    int getModes(List<MODE>& modes) override;
    int openMode(const MODE&) override { return 0; }
    int open(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) override { return 0; }
    int openFormat(int32_t, int32_t, const Format&, int32_t, int32_t, int32_t) override {
        return 0;
    }
    MODE getMode() override;
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
    void name(char* buffer) override;
    int width() override { return 0; }
    int height() override { return 0; }
    int bits() override { return 0; }
    int bytes() override { return 0; }
    int output() override { return 0; }
    int secondOption() override { return 0; }
    int thirdOption() override { return 0; }
    Format format() override { return Format(); }
    WindowHandle window() override { return nullptr; }
    int ok() override { return 1; }
    ::SURFACE* createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                             int32_t& orientation, int32_t& advance, int32_t& variant) override;
    int addSurface(Surface* surface) override;
    int removeSurface(Surface* surface) override;

  protected:
    // The list owns its records, not the surfaces they name.
    struct Registration {
        Surface* surface;
    };
    // Registered surfaces, oldest first.
    List<Registration> surfaces;
};

// The process-wide software interface, alive from static initialisation until exit.
ISoftware& softwareInterface();
// The process-wide RASTER whose life keeps the converter tables built.
RASTER& softwareRaster();
