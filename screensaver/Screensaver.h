#pragma once
#include "front/PTC.h"

#include <cstdint>

// What the program draws: set up once the display is open, one frame per loop, torn down at a
// normal end. A failing set-up or frame has shown its message through display.error already.
class Frames {
  public:
    virtual ~Frames() = default;
    virtual bool setup(PTC& display, int32_t width, int32_t height, bool upscale) = 0;
    virtual bool frame(PTC& display, bool upscale, uint8_t rowOffset) = 0;
    virtual void teardown() = 0;
};

// One display configuration the program tries, in order.
struct DisplayTry {
    int32_t width, height, output;
    bool upscale;
    uint8_t rowOffset;
};

constexpr DisplayTry displayTries[] = {
    {320, 200, FULLSCREEN_OUTPUT, false, 0},
    {640, 400, FULLSCREEN_OUTPUT, true, 0},
    {640, 480, FULLSCREEN_OUTPUT, true, 40}, // the 400 doubled rows sit centred
    {320, 200, WINDOW_OUTPUT, false, 0},
};

// The program: opens the display, runs frames until a key is waiting. 0 after a normal end,
// 1 after a failure (already shown in a box).
int runScreensaver(Frames& frames);
