#pragma once
#include "backends/Null.h"

// The back end that stands for no display: every operation has a fixed, harmless result.
// The console keyboard is its only working part.
class IDummy : public NullInterface {
  public:
    // The back-end surface of nothing: every operation fails.
    class SURFACE : public NullSurface {
      public:
        constexpr SURFACE() = default;
    };

    constexpr IDummy() = default;
    // A surface whose every operation fails, so a Surface made for a closed display is never ok.
    ::SURFACE* createSurface(int32_t&, int32_t&, Format&, int32_t&, int32_t&, int32_t&,
                             int32_t&) override;
    // Succeed without remembering anything.
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
