#include "screensaver/NoFrames.h"
#include "screensaver/Screensaver.h"

int main() {
    NoFrames frames;
    return runScreensaver(frames);
}
