#include "backends/x11/Connection.h"

#include "backends/x11/Errors.h"
#include "platform/Platform.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace x11 {

namespace {

// The event thread also looks for events every so often by itself: Xlib may have read some
// into its queue while answering a request of the application's thread, and then the
// connection's socket has nothing to wake the poll with.
constexpr int pollLimitMs = 100;

} // namespace

std::shared_ptr<Connection> Connection::open() {
    prepareXlib();
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    // An error on a connection nobody watches would end the process.
    if (!watchErrors(display)) {
        XCloseDisplay(display);
        return nullptr;
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        forgetErrors(display);
        XCloseDisplay(display);
        return nullptr;
    }
    std::shared_ptr<Connection> made(new (std::nothrow) Connection(display, wake[0], wake[1]));
    if (!made) {
        close(wake[0]);
        close(wake[1]);
        forgetErrors(display);
        XCloseDisplay(display);
    }
    return made;
}

Connection::Connection(Display* server, int readEnd, int writeEnd)
    : display(server), screen(DefaultScreen(server)), root(RootWindow(server, screen)),
      wakeRead(readEnd), wakeWrite(writeEnd) {
    protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
}

Connection::~Connection() {
    // Only a thread left running past its limit gives back the last share: it cannot join itself.
    if (eventThread.joinable()) eventThread.detach();
    {
        std::lock_guard paint(paintLock);
        image.release();
    }
    // A connection given up with its window still open (a thread that did not stop) still has
    // its graphics context: the display's closing frees it on the server, not in this process.
    if (gc) XFreeGC(display, gc);
    forgetErrors(display);
    XCloseDisplay(display);
    close(wakeRead);
    close(wakeWrite);
}

bool Connection::startEvents() {
    std::unique_lock hold(threadLock);
    if (running) return true;
    stopping = false;
    viewable = false;
    running = true;
    hold.unlock();
    try {
        eventThread = std::thread(eventMain, shared_from_this());
    } catch (...) {
        hold.lock();
        running = false;
        return false;
    }
    return true;
}

void Connection::eventMain(std::shared_ptr<Connection> self) {
    self->readEvents();
    self->finished();
}

void Connection::finished() {
    std::lock_guard hold(threadLock);
    running = false;
    threadChanged.notify_all();
}

bool Connection::stopEvents() {
    std::unique_lock hold(threadLock);
    stopping = true;
    hold.unlock();
    // Closing the display is an end of its own: the program goes on without it.
    if (input) input->cancelClose();
    nudgeEvents();
    hold.lock();
    const bool ended = threadChanged.wait_for(hold, std::chrono::milliseconds(stopLimitMs),
                                              [this] { return !running; });
    hold.unlock();
    if (!eventThread.joinable()) return true;
    // Ended: the join returns at once. Not ended: the thread keeps its share and ends later.
    if (ended)
        eventThread.join();
    else
        eventThread.detach();
    return ended;
}

bool Connection::waitViewable(int limitMs) {
    std::unique_lock hold(threadLock);
    return threadChanged.wait_for(hold, std::chrono::milliseconds(limitMs), [this] {
        return viewable || !running;
    }) && viewable;
}

void Connection::nudgeEvents() {
    const char byte = 0;
    // A full pipe has a wake-up in it already.
    [[maybe_unused]] const ssize_t written = write(wakeWrite, &byte, 1);
}

void Connection::readEvents() {
    const int socket = ConnectionNumber(display);
    for (;;) {
        {
            std::lock_guard hold(threadLock);
            if (stopping) return;
        }
        // A pending close request is ended here when its grace period runs out.
        const uint32_t graceLeft = input ? input->closeGraceLeft() : 0;
        const int limitMs =
            graceLeft > 0 && graceLeft < uint32_t(pollLimitMs) ? int(graceLeft) : pollLimitMs;
        pollfd ready[2] = {{socket, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        poll(ready, 2, limitMs);
        char drain[64];
        while (read(wakeRead, drain, sizeof drain) > 0) {
        }
        // A lost connection shows here: Xlib calls the handler that ends the process.
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            handle(event);
        }
        int status = 0;
        if (input && input->closeDue(status)) platform::endProcess(status);
    }
}

void Connection::handle(const XEvent& event) {
    switch (event.type) {
    case KeyPress:
        if (ownsWindow && input) input->pushKey(1); // a full queue drops the key
        break;
    case Expose:
        if (event.xexpose.count == 0) repaint(); // the last of a series
        break;
    case ConfigureNotify:
        if (event.xconfigure.window == window) {
            std::lock_guard paint(paintLock);
            windowWidth = event.xconfigure.width;
            windowHeight = event.xconfigure.height;
        }
        break;
    case MapNotify:
        if (event.xmap.window != window) break;
        // Without a window manager the keys go to whichever window the pointer is over.
        if (focusOnMap) XSetInputFocus(display, window, RevertToParent, CurrentTime);
        {
            std::lock_guard hold(threadLock);
            viewable = true;
        }
        threadChanged.notify_all();
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == window) gone = true;
        break;
    case ClientMessage:
        // Only for the window now open: one closed meanwhile may have left its request queued.
        if (ownsWindow && event.xclient.window == window &&
            event.xclient.message_type == protocols && event.xclient.format == 32 &&
            Atom(event.xclient.data.l[0]) == deleteWindow && input)
            input->askToClose(0);
        break;
    default:
        break;
    }
}

void Connection::repaint() {
    std::lock_guard paint(paintLock);
    if (!shown || !image.ok() || !window) return;
    image.waitForServer();
    image.put(window, gc, 0, 0, placement.x, placement.y, image.width(), image.height());
}

} // namespace x11
