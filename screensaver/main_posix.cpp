#include "screensaver/PictureFrames.h"
#include "screensaver/Screensaver.h"

int main() {
    PictureFrames frames;
    return runScreensaver(frames);
}
