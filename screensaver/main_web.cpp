#include "platform/Platform.h"
#include "screensaver/PictureFrames.h"
#include "screensaver/Screensaver.h"

#include <emscripten.h>

#include <cstdint>

namespace {

// The page hears of every frame drawn: how many so far, the clock it was drawn at and the
// picture's orbit, enough to draw the same frame anywhere else.
EM_JS(void, page_frame_drawn, (int count, uint32_t clock, double radius, int picture), {
    if (typeof Module.ptcFrameDrawn == "function")
        Module.ptcFrameDrawn(count, clock >>> 0, radius, picture);
});

// The page hears how the program ended: 0 after a key, 1 after a failure it showed.
EM_JS(void, page_ended, (int status), {
    if (typeof Module.ptcEnded == "function") Module.ptcEnded(status);
});

class ReportedFrames : public Frames {
  public:
    bool setup(PTC& display, int32_t width, int32_t height, bool upscale) override {
        return inner.setup(display, width, height, upscale);
    }
    bool frame(PTC& display, bool upscale, uint8_t rowOffset) override {
        if (!inner.frame(display, upscale, rowOffset)) return false;
        const Orbit& orbit = inner.orbit();
        page_frame_drawn(++drawn, orbit.lastTick, orbit.radius, orbit.pictureChoice);
        return true;
    }
    void teardown() override { inner.teardown(); }

  private:
    PictureFrames inner;
    int drawn = 0;
};

} // namespace

// A page runs the program as a person starts it plainly: full screen, until a key.
int main() {
    ReportedFrames frames;
    const int status = runScreensaver(frames);
    page_ended(status);
    return status;
}
