#include "screensaver/PictureFrames.h"
#include "screensaver/Screensaver.h"

#include <windows.h>

// The command line is not read: screensaver switches behave like a plain start.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    PictureFrames frames;
    return runScreensaver(frames);
}
