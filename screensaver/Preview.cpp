#include "screensaver/Preview.h"

#include "front/PTC.h"

int drawPaced(Frames& frames, PTC& display, PreviewWindow& window) {
    int status = 0;
    if (frames.setup(display, display.width(), display.height(), false)) {
        uint32_t due = platform::milliseconds();
        while (!window.gone()) {
            if (!frames.frame(display, false, 0)) {
                status = 1;
                break;
            }
            due += previewFramePeriod;
            const uint32_t now = platform::milliseconds();
            // Behind time (a slow frame, a suspended process) starts afresh instead of
            // catching up.
            if (int32_t(due - now) < 0) due = now;
            window.wait(due - now);
        }
    } else {
        status = 1;
    }
    frames.teardown(); // before the display its surfaces belong to
    return status;
}
