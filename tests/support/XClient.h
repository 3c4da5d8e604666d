#pragma once
// The test's own connection to its private X server: reads a window's pixels back, finds and
// makes windows, and sends what a user or a window manager would.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Polls condition until it holds or limitMs pass; whether it held.
inline bool waitUntil(int limitMs, const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

class XClient {
  public:
    // Threads first: the program's back end reads events on threads of its own.
    XClient() : display((XInitThreads(), XOpenDisplay(nullptr))) {
        if (display) ignoreErrors(display, true);
    }
    ~XClient() {
        if (!display) return;
        XSync(display, False);
        ignoreErrors(display, false);
        XCloseDisplay(display);
    }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool ok() const { return display != nullptr; }
    Window root() const { return DefaultRootWindow(display); }

    // Pixel values in the server's format, row by row.
    std::vector<uint32_t> pixels(Window window, int x, int y, int width, int height) {
        std::vector<uint32_t> values;
        XSync(display, False);
        XImage* image =
            XGetImage(display, window, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        if (!image) return values;
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column)
                values.push_back(uint32_t(XGetPixel(image, column, row)));
        XDestroyImage(image);
        return values;
    }

    // The first top-level window with this name, or 0.
    Window find(const char* name) {
        Window rootReturn, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (!XQueryTree(display, root(), &rootReturn, &parent, &children, &count)) return 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            char* title = nullptr;
            if (XFetchName(display, children[i], &title) && title) {
                if (std::strcmp(title, name) == 0) found = children[i];
                XFree(title);
            }
        }
        if (children) XFree(children);
        return found;
    }

    // Every window on the server below the root.
    int windowCount(Window from = 0) {
        Window rootReturn, parent, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, from ? from : root(), &rootReturn, &parent, &children, &count))
            return 0;
        int total = int(count);
        for (unsigned i = 0; i < count; ++i) total += windowCount(children[i]);
        if (children) XFree(children);
        return total;
    }

    // A mapped top-level window of the test's, white.
    Window makeWindow(int width, int height) {
        const int screen = DefaultScreen(display);
        const Window window =
            XCreateSimpleWindow(display, root(), 0, 0, unsigned(width), unsigned(height), 0,
                                BlackPixel(display, screen), WhitePixel(display, screen));
        XSelectInput(display, window, StructureNotifyMask);
        XMapWindow(display, window);
        XEvent event;
        do XWindowEvent(display, window, StructureNotifyMask, &event);
        while (event.type != MapNotify);
        return window;
    }

    // A key press, as the server delivers it to the window.
    void pressKey(Window window) {
        XEvent event{};
        event.xkey.type = KeyPress;
        event.xkey.display = display;
        event.xkey.window = window;
        event.xkey.root = root();
        event.xkey.keycode = XKeysymToKeycode(display, XK_space);
        event.xkey.same_screen = True;
        XSendEvent(display, window, True, KeyPressMask, &event);
        XFlush(display);
    }

    // What a window manager sends when the user closes the window.
    void askToClose(Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    }

    Display* const display;

  private:
    // Windows come and go under the test's feet, and a request about one that went fails with
    // an error, which Xlib ends the process for: the test's connections ignore their errors.
    // Xlib has one handler for the process, so the errors of other connections go on to the
    // handler that was there before (the back end's, or Xlib's own).
    static void ignoreErrors(Display* client, bool ignore) {
        static std::mutex lock;
        static std::vector<Display*> ignored;
        static XErrorHandler previous = XSetErrorHandler([](Display* from, XErrorEvent* error) {
            {
                std::lock_guard hold(lock);
                for (Display* d : ignored)
                    if (d == from) return 0;
            }
            return previous ? previous(from, error) : 0;
        });
        std::lock_guard hold(lock);
        if (ignore)
            ignored.push_back(client);
        else
            std::erase(ignored, client);
    }
};
