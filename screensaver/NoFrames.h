#pragma once
#include "screensaver/Screensaver.h"

// Draws nothing: the frames until the picture frames are built.
class NoFrames : public Frames {
  public:
    bool setup(PTC&, int32_t, int32_t, bool) override { return true; }
    bool frame(PTC&, bool, uint8_t) override { return true; }
    void teardown() override {}
};
