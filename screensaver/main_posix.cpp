#include "backends/x11/X11.h"
#include "screensaver/PictureFrames.h"
#include "screensaver/Preview.h"
#include "screensaver/Screensaver.h"
#include "screensaver/Switches.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Run plainly, the program takes the screen as on Windows. XScreenSaver runs it with -root and
// names the window to draw into in XSCREENSAVER_WINDOW; -window-id draws into any window.
int main(int argc, char** argv) {
    const NativeSwitches chosen =
        readNativeSwitches(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
    PictureFrames frames;
    switch (chosen.target) {
    case NativeTarget::BAD_WINDOW:
        std::fprintf(stderr, "kelmor: %s\n", chosen.problem);
        return 1;
    case NativeTarget::WINDOW:
        return runPreview(frames, windowHandleOf(uintptr_t(chosen.window)));
    case NativeTarget::ROOT:
        return runPreview(frames, IX11::rootWindow());
    case NativeTarget::FULL_SCREEN:
        break;
    }
    return runScreensaver(frames);
}
