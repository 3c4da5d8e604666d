#include "screensaver/PictureFrames.h"
#include "screensaver/Preview.h"
#include "screensaver/Screensaver.h"
#include "screensaver/Switches.h"

#include <windows.h>

#include <cstdint>

namespace {

// The window a switch names, or null when it names none (its number fits 32 bits).
HWND windowOf(const ScreensaverSwitch& chosen) {
    return chosen.window ? windowHandleOf(uintptr_t(chosen.window)) : nullptr;
}

// The settings page shows the preview on every visit: a box over it each time would be worse
// than a preview that quietly ends, so its failures close the display and show nothing.
int preview(HWND parent) {
    FrameServices quiet;
    quiet.report = [](PTC& display, const char*) { display.close(); };
    PictureFrames frames(std::move(quiet));
    return runPreview(frames, parent);
}

int configure(HWND owner) {
    if (!owner || !IsWindow(owner)) owner = GetForegroundWindow();
    MessageBoxA(owner, "This screensaver has no options to set.", "Kelmor screensaver",
                MB_OK | MB_ICONINFORMATION);
    return 0;
}

} // namespace

// Windows starts a screensaver with /s to run it, /p WINDOW to draw the preview in the settings
// page, /c for the Settings button and /a for the old password change; a plain start and
// switches not known here run it as /s does.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    const ScreensaverSwitch chosen = readSwitch(commandLine);
    switch (chosen.action) {
    case ScreensaverAction::PREVIEW:
        return preview(windowOf(chosen));
    case ScreensaverAction::CONFIGURE:
        return configure(windowOf(chosen));
    case ScreensaverAction::PASSWORD:
        return 0;
    case ScreensaverAction::RUN:
        break;
    }
    PictureFrames frames;
    return runScreensaver(frames);
}
