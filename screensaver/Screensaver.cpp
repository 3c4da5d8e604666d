#include "screensaver/Screensaver.h"

int runScreensaver(Frames& frames) {
    PTC display;
    bool upscale = false;
    uint8_t rowOffset = 0;
    bool opened = false;
    for (const DisplayTry& t : displayTries) {
        display.init(t.width, t.height, FUZZY32, t.output, -1, -1);
        // init's own result is not trusted: the back end must be real and still ok.
        if (display.isOpen()) {
            upscale = t.upscale;
            rowOffset = t.rowOffset;
            opened = true;
            break;
        }
    }
    if (!opened) {
        display.error("could not initialize!");
        return 1;
    }
    display.setTitle("Kelmor screensaver");
    const int32_t displayWidth = display.width();
    const int32_t displayHeight = display.height();
    if (!frames.setup(display, displayWidth, displayHeight, upscale)) return 1;
    while (!display.keyPressed())
        if (!frames.frame(display, upscale, rowOffset)) return 1;
    frames.teardown();
    return 0;
}
