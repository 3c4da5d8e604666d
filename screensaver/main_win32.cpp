#include "screensaver/NoFrames.h"
#include "screensaver/Screensaver.h"

#include <windows.h>

// The command line is not read: screensaver switches behave like a plain start.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    NoFrames frames;
    return runScreensaver(frames);
}
