#pragma once
#include "backends/Null.h"
#include "display/List.h"

#include <cstdint>
#include <new>

class RASTER;

// What every back end that keeps surfaces in memory shares: plain memory surfaces, the list of
// surfaces registered with it, and the library's only copies with format conversion. Everything
// else reports that there is no display.
class IMemory : public NullInterface {
  public:
    // Pixels in one zero-filled heap block that starts on a cache line, so that the
    // conversions' whole-line stores into it need no head when the pitch is a multiple of 64;
    // row 0 is its first row (top-down) or its last (bottom-up).
    class SURFACE : public NullSurface {
      public:
        SURFACE() = default;
        ~SURFACE() override;
        void* lock(int wait) override;
        void unlock() override;
        int lockCount() override { return locks; }
        int lockable() override { return 1; }
        int copy(Surface& source, Surface& destination, int flags, const void* lookup) override;
        int copyArea(Surface& source, const Rect& sourceRect, Surface& destination,
                     const Rect& destinationRect, int flags, const void* lookup) override;
        int valid() override { return buffer && pixels ? 1 : 0; }

      protected:
        static constexpr std::align_val_t PIXEL_ALIGNMENT{64};
        uint8_t* buffer = nullptr; // owned; freed by the destructor
        uint8_t* pixels = nullptr; // row 0
        int32_t locks = 0;

        friend class IMemory;
    };

    IMemory() = default;
    // Closes every registered surface, then detaches them all.
    ~IMemory() override;

    int ok() override { return 1; }
    // When the record names this back end (ignoring case): openFormat with its fields.
    int openMode(const MODE& mode) override;
    // The record of what is open, from name() and the size, format and option accessors.
    MODE getMode() override;
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

// The back end with no display: the one every surface made without a display belongs to.
class ISoftware : public IMemory {};

// The process-wide software interface, alive from static initialisation until exit.
ISoftware& softwareInterface();
// The process-wide RASTER whose life keeps the converter tables built.
RASTER& softwareRaster();
