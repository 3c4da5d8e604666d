#include "backends/x11/Errors.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace x11 {

namespace {

struct Count {
    Display* display;
    int errors;
};

// Few connections live at once; a fixed table needs no allocation inside the handler. Plain
// data, never destroyed: a handler may run while the process ends.
constexpr int watchedLimit = 64;
Count watched[watchedLimit];
std::mutex* watchLock;
XErrorHandler previousHandler; // set once, before any connection is watched

int countError(Display* display, XErrorEvent* error) {
    {
        std::lock_guard hold(*watchLock);
        for (Count& c : watched)
            if (c.display == display) {
                ++c.errors;
                return 0;
            }
    }
    // Another part of the program made this request: its errors are not the back end's to hide.
    return previousHandler ? previousHandler(display, error) : 0;
}

// Not the standard library's exit: its static destructors would run under the feet of the
// program's other threads. stdio is flushed first, so nothing written so far is lost.
int endOnLostConnection(Display* display) {
    std::fflush(stdout);
    char message[200];
    const char* name = display ? DisplayString(display) : "";
    std::snprintf(message, sizeof message, "ptc error: lost the connection to the X display %s\n",
                  name ? name : "");
    std::fflush(stderr);
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, message, std::strlen(message));
    _exit(1);
}

} // namespace

void prepareXlib() {
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        watchLock = new std::mutex; // never destroyed, as the table
        previousHandler = XSetErrorHandler(countError);
        XSetIOErrorHandler(endOnLostConnection);
    });
}

bool watchErrors(Display* display) {
    std::lock_guard hold(*watchLock);
    for (Count& c : watched)
        if (!c.display) {
            c = {display, 0};
            return true;
        }
    return false;
}

void forgetErrors(Display* display) {
    std::lock_guard hold(*watchLock);
    for (Count& c : watched)
        if (c.display == display) c = {nullptr, 0};
}

int takeErrors(Display* display) {
    XSync(display, False);
    std::lock_guard hold(*watchLock);
    int errors = 0;
    for (Count& c : watched)
        if (c.display == display) {
            errors += c.errors;
            c.errors = 0;
        }
    return errors;
}

} // namespace x11
