#include "screensaver/Preview.h"

#include "backends/x11/X11.h"
#include "front/PTC.h"
#include "screensaver/Rays.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

// SIGTERM (XScreenSaver ending its program) and SIGINT write a byte here; the paced wait polls
// it, so an end asked for between two frames is seen at once. A lock-free atomic and a write are
// all the handler touches, both safe in a signal handler, and the atomic is safe to read on the
// drawing thread whichever thread the signal lands on.
int endPipe[2] = {-1, -1};
std::atomic<bool> endAsked{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void askToEnd(int) {
    endAsked = true;
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(endPipe[1], &byte, 1);
}

bool handleEndSignals() {
    if (endPipe[0] < 0 && pipe2(endPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = askToEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

// XScreenSaver's window, gone when it is destroyed or the process is asked to end.
class GivenWindow : public PreviewWindow {
  public:
    explicit GivenWindow(PTC& shown) : display(shown) {}
    bool gone() override { return endAsked || !display.isOpen(); }
    void wait(uint32_t milliseconds) override {
        pollfd ended = {endPipe[0], POLLIN, 0};
        poll(&ended, 1, int(milliseconds));
    }

  private:
    PTC& display;
};

} // namespace

int runPreview(Frames& frames, WindowHandle window) {
    PTC display;
    if (!handleEndSignals()) {
        display.error("could not initialize!");
        return 1;
    }
    // A display of the frames' size, stretched over the whole window.
    if (window)
        display.init("X11", window, rayAreaWidth, rayAreaHeight, FUZZY32, WINDOW_OUTPUT, -1, -1);
    if (!display.isOpen()) {
        char message[100] = "could not initialize!";
        if (window && IX11::windowPresence(window) == IX11::Presence::MISSING)
            std::snprintf(message, sizeof message, "there is no window 0x%lx on the X display",
                          static_cast<unsigned long>(windowNumberOf(window)));
        display.error(message);
        return 1;
    }
    GivenWindow given(display);
    return drawPaced(frames, display, given);
}
