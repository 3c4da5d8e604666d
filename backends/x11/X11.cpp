#include "backends/x11/X11.h"

#include "backends/x11/Connection.h"
#include "backends/x11/Errors.h"
#include "backends/x11/Geometry.h"
#include "display/Surface.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <new>

namespace {

constexpr char BACK_END_NAME[] = "X11";
// How long an open waits for the window manager (or the server) to show the window.
constexpr int viewableLimitMs = 2000;
// Window and image sizes are 16-bit in the X protocol.
constexpr int32_t largestSide = 32767;
// The pixels of the back end's image as a surface: memory it does not own.
class ImagePixels : public IMemory::SURFACE {
  public:
    explicit ImagePixels(uint8_t* row0) { pixels = row0; }
    int valid() override { return pixels ? 1 : 0; }
};

Format formatOf(Display* display, Visual* visual, int depth) {
    if (!visual || (visual->c_class != TrueColor && visual->c_class != DirectColor))
        return Format();
    XImage* probe =
        XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr, 1, 1, 32, 0);
    if (!probe) return Format();
    const Format format = x11::imageFormat(probe->bits_per_pixel, uint32_t(probe->red_mask),
                                           uint32_t(probe->green_mask), uint32_t(probe->blue_mask));
    XDestroyImage(probe);
    return format;
}

// Whether a window manager that follows the EWMH runs: the root names a window that names
// itself.
bool windowManagerRuns(Display* display, Window root) {
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    const auto named = [&](Window window) -> Window {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        Window result = 0;
        if (XGetWindowProperty(display, window, check, 0, 1, False, XA_WINDOW, &type, &format,
                               &count, &after, &data) == Success &&
            data && format == 32 && count == 1)
            result = *reinterpret_cast<Window*>(data);
        if (data) XFree(data);
        return result;
    };
    const Window child = named(root);
    const bool runs = child && named(child) == child;
    x11::takeErrors(display); // a window manager gone leaves a stale child
    return runs;
}

void storeTitle(Display* display, Window window, const char* text) {
    XStoreName(display, window, text);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text), int(std::strlen(text)));
    XFlush(display);
}

Cursor invisibleCursor(Display* display, Window window) {
    const char blank = 0;
    const Pixmap shape = XCreateBitmapFromData(display, window, &blank, 1, 1);
    XColor black{};
    const Cursor cursor = XCreatePixmapCursor(display, shape, shape, &black, &black, 0, 0);
    XFreePixmap(display, shape);
    return cursor;
}

} // namespace

// ---- surfaces

::SURFACE* IX11::createNativeSurface(int32_t&, int32_t&, Format&, int32_t& kind,
                                     int32_t& orientation, int32_t& advance, int32_t& variant) {
    if (!imagePixels) return nullptr;
    ::SURFACE* made = new (std::nothrow) ImagePixels(imagePixels);
    if (!made) return nullptr;
    kind = KIND_MEMORY;
    orientation = TOP_DOWN;
    if (advance == -1) advance = 0;
    variant = VARIANT_DEFAULT;
    return made;
}

// ---- construction

IX11::IX11(Role offered, WindowHandle window) : role(offered) {
    connection = x11::Connection::open();
    if (!connection) return;
    connection->input = input;
    Display* server = connection->display;
    nativeDisplay = server;
    if (window) {
        attached = true;
        if (!attach(windowNumberOf(window))) return;
    } else {
        visual = DefaultVisual(server, connection->screen);
        depth = DefaultDepth(server, connection->screen);
    }
    displayFormat = formatOf(server, static_cast<Visual*>(visual), depth);
    if (!displayFormat.ok() || !input || !input->valid()) return;
    okFlag = 1;
    if (!attached)
        addMode(modeRecord(DisplayWidth(server, connection->screen),
                           DisplayHeight(server, connection->screen), displayFormat,
                           role == Role::FULL_SCREEN ? FULLSCREEN_OUTPUT : WINDOW_OUTPUT, 0));
    if (attached) {
        {
            std::lock_guard paint(connection->paintLock);
            displayWidth = connection->windowWidth;
            displayHeight = connection->windowHeight;
        }
        outputOption = WINDOW_OUTPUT;
        if (!createDisplaySurface() || !createStagingSurface(TOP_DOWN)) okFlag = 0;
    }
}

IX11::~IX11() {
    close();
    // The connection frees its graphics context when its last share goes; a given window's
    // connection goes only once its event thread has stopped.
    if (attached && connection) connection->stopEvents();
    connection.reset();
}

bool IX11::attach(unsigned long id) {
    x11::Connection& c = *connection;
    Display* server = c.display;
    XWindowAttributes attributes{};
    const Status got = XGetWindowAttributes(server, id, &attributes);
    if (x11::takeErrors(server) != 0 || !got) return false;
    visual = attributes.visual;
    depth = attributes.depth;
    // Events of its own selection only: the window's owner keeps every event it asked for.
    XSelectInput(server, id, StructureNotifyMask | ExposureMask);
    if (x11::takeErrors(server) != 0) return false;
    c.window = id;
    c.ownsWindow = false;
    c.gc = XCreateGC(server, id, 0, nullptr);
    {
        std::lock_guard paint(c.paintLock);
        c.windowWidth = attributes.width;
        c.windowHeight = attributes.height;
    }
    return c.gc && c.startEvents();
}

WindowHandle IX11::rootWindow() {
    x11::prepareXlib();
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    const Window root = DefaultRootWindow(display);
    XCloseDisplay(display);
    return windowHandleOf(root);
}

IX11::Presence IX11::windowPresence(WindowHandle window) {
    x11::prepareXlib();
    Display* display = XOpenDisplay(nullptr);
    if (!display) return Presence::NO_SERVER;
    if (!x11::watchErrors(display)) {
        XCloseDisplay(display);
        return Presence::NO_SERVER;
    }
    XWindowAttributes attributes{};
    // A window that does not exist answers with an error (counted, not fatal).
    const Status got = XGetWindowAttributes(display, windowNumberOf(window), &attributes);
    const bool exists = x11::takeErrors(display) == 0 && got;
    x11::forgetErrors(display);
    XCloseDisplay(display);
    return exists ? Presence::EXISTS : Presence::MISSING;
}

// ---- opening and closing

int IX11::ok() {
    return okFlag && connection && !(attached && connection->gone) ? 1 : 0;
}

WindowHandle IX11::window() {
    return connection && connection->window ? windowHandleOf(connection->window) : nullptr;
}

int IX11::getModes(List<MODE>& out) {
    if (ownsWindow() && ok()) return IWindowed::getModes(out);
    out.clear();
    return 1;
}

bool IX11::reconnect() {
    std::shared_ptr<x11::Connection> fresh = x11::Connection::open();
    if (!fresh) return false;
    Visual* freshVisual = DefaultVisual(fresh->display, fresh->screen);
    const int freshDepth = DefaultDepth(fresh->display, fresh->screen);
    // The surfaces and the caller know the display by its format: it must not change.
    if (formatOf(fresh->display, freshVisual, freshDepth) != displayFormat) return false;
    fresh->input = input;
    connection = std::move(fresh);
    nativeDisplay = connection->display;
    visual = freshVisual;
    depth = freshDepth;
    okFlag = 1;
    return true;
}

int IX11::openDisplay(int32_t width, int32_t height, int32_t output, int32_t second,
                      int32_t third) {
    // A close whose event thread did not end left this object without a connection: a window of
    // its own can have a new one.
    if (!connection && ownsWindow() && displayFormat.ok() && !reconnect()) return 0;
    // Options first: a refused open leaves an open display as it was.
    if (!ok()) return 0;
    const int32_t offered = attached || role == Role::WINDOW ? WINDOW_OUTPUT : FULLSCREEN_OUTPUT;
    if (!acceptOptions(offered, output, second, third)) return 0;
    if (width <= 0 || height <= 0 || width > largestSide || height > largestSide) return 0;
    close();
    displayWidth = width;
    displayHeight = height;
    outputOption = output;
    secondOptionValue = second;
    if ((ownsWindow() && !createWindow(output == FULLSCREEN_OUTPUT, width, height)) ||
        !createDisplaySurface() || !createStagingSurface(TOP_DOWN)) {
        close();
        return 0;
    }
    return 1;
}

void IX11::close() {
    imageSurface.reset();
    destroyDisplaySurfaces();
    closeWindow();
    if (ownsWindow()) {
        displayWidth = displayHeight = 0;
        outputOption = secondOptionValue = 0;
    }
}

bool IX11::createWindow(bool fullScreenWindow, int32_t width, int32_t height) {
    x11::Connection& c = *connection;
    Display* server = c.display;
    const int32_t windowWidth = fullScreenWindow ? DisplayWidth(server, c.screen) : width;
    const int32_t windowHeight = fullScreenWindow ? DisplayHeight(server, c.screen) : height;
    const bool managed = windowManagerRuns(server, c.root);

    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(server, c.screen); // around the shown server
    attributes.event_mask = KeyPressMask | ExposureMask | StructureNotifyMask;
    const Window window = XCreateWindow(
        server, c.root, 0, 0, unsigned(windowWidth), unsigned(windowHeight), 0, depth, InputOutput,
        static_cast<Visual*>(visual), CWBackPixel | CWEventMask, &attributes);
    if (!window) return false;
    XSetWMProtocols(server, window, &c.deleteWindow, 1);
    if (XSizeHints* hints = XAllocSizeHints()) {
        if (fullScreenWindow) {
            hints->flags = USPosition | PPosition;
        } else {
            // The server does not follow the window's size: the window keeps it.
            hints->flags = PMinSize | PMaxSize;
            hints->min_width = hints->max_width = windowWidth;
            hints->min_height = hints->max_height = windowHeight;
        }
        XSetWMNormalHints(server, window, hints);
        XFree(hints);
    }
    char className[] = "PTC", instanceName[] = "ptc";
    XClassHint classHint{instanceName, className};
    XSetClassHint(server, window, &classHint);
    if (fullScreenWindow) {
        const Cursor cursor = invisibleCursor(server, window);
        XDefineCursor(server, window, cursor);
        XFreeCursor(server, cursor);
        if (managed) {
            Atom fullScreenState = XInternAtom(server, "_NET_WM_STATE_FULLSCREEN", False);
            XChangeProperty(server, window, XInternAtom(server, "_NET_WM_STATE", False), XA_ATOM,
                            32, PropModeReplace, reinterpret_cast<unsigned char*>(&fullScreenState),
                            1);
        }
    }
    storeTitle(server, window, titleText());
    c.gc = XCreateGC(server, window, 0, nullptr);
    {
        std::lock_guard paint(c.paintLock);
        c.windowWidth = windowWidth;
        c.windowHeight = windowHeight;
        c.shown = false;
    }
    c.window = window;
    c.ownsWindow = true;
    c.focusOnMap = fullScreenWindow && !managed;
    c.gone = false;
    if (!c.gc || !c.startEvents()) {
        if (c.gc) XFreeGC(server, c.gc);
        c.gc = nullptr;
        c.window = 0;
        XDestroyWindow(server, window);
        XSync(server, False);
        return false;
    }
    XMapRaised(server, window);
    XFlush(server);
    // Not a failure when it takes longer: the first exposure shows the last presented frame.
    c.waitViewable(viewableLimitMs);
    return true;
}

void IX11::closeWindow() {
    if (!connection || !ownsWindow() || !connection->window) return;
    x11::Connection& c = *connection;
    if (!c.stopEvents()) {
        // The event thread keeps its share of the connection, window included, and closes it
        // when it ends; the next open makes a connection of its own.
        connection.reset();
        nativeDisplay = nullptr;
        okFlag = 0;
        return;
    }
    {
        std::lock_guard paint(c.paintLock);
        c.image.release();
        c.shown = false;
        c.placement = {};
    }
    XFreeGC(c.display, c.gc);
    c.gc = nullptr;
    XDestroyWindow(c.display, c.window);
    XSync(c.display, False);
    c.window = 0;
}

// ---- presentation

bool IX11::prepareImage() {
    x11::Connection& c = *connection;
    const x11::Placement wanted =
        attached ? x11::Placement{0, 0, c.windowWidth, c.windowHeight}
                 : x11::wholeScale(displayWidth, displayHeight, c.windowWidth, c.windowHeight);
    if (wanted.width <= 0 || wanted.height <= 0) return false;
    if (c.image.ok() && c.image.width() == wanted.width && c.image.height() == wanted.height) {
        c.placement = wanted;
        return true;
    }
    imageSurface.reset();
    c.shown = false;
    if (!c.image.create(c.display, static_cast<Visual*>(visual), depth, wanted.width, wanted.height,
                        true))
        return false;
    c.placement = wanted;
    if (wanted.width != displayWidth || wanted.height != displayHeight) return true;
    // Shown at its own size: the conversion writes straight into the image.
    imagePixels = c.image.pixels();
    imageSurface.reset(new (std::nothrow) Surface(
        this, displayWidth, displayHeight, displayFormat, KIND_MEMORY, TOP_DOWN,
        c.image.pitch() - displayWidth * displayFormat.bytes, -1));
    imagePixels = nullptr;
    if (imageSurface && imageSurface->ok()) return true;
    imageSurface.reset();
    return false;
}

Surface* IX11::beginPresentation(Surface&, const Rect& sourceArea, const Rect& destinationArea,
                                 int& result) {
    result = 0;
    if (!connection) return nullptr;
    x11::Connection& c = *connection;
    if (ownsWindow()) endIfCloseRequested();
    if (!c.window || c.gone || !staging) return nullptr;
    if (!visibleArea(sourceArea, destinationArea, presentedArea)) {
        result = 1; // nothing to show is no failure
        return nullptr;
    }
    presenting = std::unique_lock(c.paintLock);
    if (!prepareImage()) {
        presenting.unlock();
        return nullptr;
    }
    // The server may still be reading the image for the last put.
    c.image.waitForServer();
    return imageSurface ? imageSurface.get() : staging;
}

void IX11::cancelPresentation() {
    if (presenting.owns_lock()) presenting.unlock();
}

int IX11::finishPresentation(Surface&, const Rect&, const Rect&) {
    x11::Connection& c = *connection;
    {
        std::unique_lock paint = std::move(presenting);
        Rect shown = presentedArea;
        if (!imageSurface) {
            shown = x11::scaledArea(presentedArea, displayWidth, displayHeight, c.image.width(),
                                    c.image.height());
            auto* pixels = static_cast<uint8_t*>(staging->lock(1));
            if (!pixels) return 0;
            x11::scaleBlock({pixels, staging->pitch(), displayWidth, displayHeight},
                            {c.image.pixels(), c.image.pitch(), c.image.width(), c.image.height()},
                            shown, displayFormat.bytes, scaleColumns);
            staging->unlock();
        }
        c.image.put(c.window, c.gc, shown.x1, shown.y1, c.placement.x + shown.x1,
                    c.placement.y + shown.y1, shown.width(), shown.height());
        c.shown = true;
    }
    // Waiting for the server may have queued events the event thread has not seen.
    if (XEventsQueued(c.display, QueuedAlready) > 0) c.nudgeEvents();
    return 1;
}

// ---- keys, title, name

bool IX11::readsWindowKeys() {
    return connection && ownsWindow() && connection->window;
}

int IX11::showTitle(const char* text) {
    if (!connection || !ownsWindow() || !connection->window) return 0;
    storeTitle(connection->display, connection->window, text);
    return 1;
}

void IX11::name(char* buffer) {
    std::memcpy(buffer, BACK_END_NAME, sizeof(BACK_END_NAME));
}
