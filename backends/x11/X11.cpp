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
// readKey looks for the end the window manager asked for this often while it waits.
constexpr auto keyWaitStep = std::chrono::milliseconds(100);

// The pixels of the back end's image as a surface: memory it does not own.
class ImagePixels : public ISoftware::SURFACE {
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

::SURFACE* IX11::createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                               int32_t& orientation, int32_t& advance, int32_t& variant) {
    if (making == Making::NOTHING)
        return ISoftware::createSurface(width, height, format, kind, orientation, advance, variant);
    ::SURFACE* made = making == Making::PRIMARY
                          ? static_cast<::SURFACE*>(new (std::nothrow) PRIMARY(this))
                          : new (std::nothrow) ImagePixels(imagePixels);
    if (!made) return nullptr;
    kind = making == Making::PRIMARY ? KIND_PRIMARY : KIND_MEMORY;
    orientation = TOP_DOWN;
    if (advance == -1) advance = 0;
    variant = VARIANT_DEFAULT;
    return made;
}

// ---- construction

IX11::IX11(Role offered, WindowHandle window) : role(offered) {
    connection = x11::Connection::open();
    if (!connection) return;
    Display* display = connection->display;
    nativeDisplay = display;
    if (window) {
        attached = true;
        if (!attach(windowNumberOf(window))) return;
    } else {
        visual = DefaultVisual(display, connection->screen);
        depth = DefaultDepth(display, connection->screen);
    }
    serverFormat = formatOf(display, static_cast<Visual*>(visual), depth);
    if (!serverFormat.ok() || !connection->keys.valid()) return;
    okFlag = 1;
    if (attached) {
        {
            std::lock_guard paint(connection->paintLock);
            displayWidth = connection->windowWidth;
            displayHeight = connection->windowHeight;
        }
        outputOption = WINDOW_OUTPUT;
        if (!createDisplaySurfaces()) okFlag = 0;
    }
}

IX11::~IX11() {
    close();
    // The connection frees its graphics context when its last share goes; a given window's
    // connection goes only once its event thread has stopped.
    if (attached && connection) connection->stopEvents();
    connection.reset();
    delete[] title;
}

bool IX11::attach(unsigned long id) {
    x11::Connection& c = *connection;
    Display* display = c.display;
    XWindowAttributes attributes{};
    const Status got = XGetWindowAttributes(display, id, &attributes);
    if (x11::takeErrors(display) != 0 || !got) return false;
    visual = attributes.visual;
    depth = attributes.depth;
    // Events of its own selection only: the window's owner keeps every event it asked for.
    XSelectInput(display, id, StructureNotifyMask | ExposureMask);
    if (x11::takeErrors(display) != 0) return false;
    c.window = id;
    c.ownsWindow = false;
    c.gc = XCreateGC(display, id, 0, nullptr);
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

int IX11::getModes(List<MODE>& modes) {
    List<MODE> offered;
    if (ownsWindow() && ok()) {
        MODE* mode = new (std::nothrow) MODE;
        if (!mode) return 0;
        name(mode->interfaceName);
        mode->width = DisplayWidth(connection->display, connection->screen);
        mode->height = DisplayHeight(connection->display, connection->screen);
        mode->format = serverFormat;
        mode->output = role == Role::FULL_SCREEN ? FULLSCREEN_OUTPUT : WINDOW_OUTPUT;
        mode->secondOption = 0;
        mode->thirdOption = THIRD_OPTION;
        if (!offered.append(mode)) {
            delete mode;
            return 0;
        }
    }
    modes.clear();
    offered.moveAllTo(modes);
    return 1;
}

int IX11::open(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t second,
               int32_t third) {
    switch (mode) {
    case FUZZY8:
    case FUZZY16:
    case FUZZY32:
    case DIRECT:
        return openDisplay(width, height, output, second, third);
    default:
        return openFormat(width, height, Format(mode), output, second, third);
    }
}

int IX11::openFormat(int32_t width, int32_t height, const Format& format, int32_t output,
                     int32_t second, int32_t third) {
    if (!format.ok() || format != serverFormat) return 0;
    return openDisplay(width, height, output, second, third);
}

bool IX11::reconnect() {
    std::shared_ptr<x11::Connection> fresh = x11::Connection::open();
    if (!fresh || !fresh->keys.valid()) return false;
    Visual* freshVisual = DefaultVisual(fresh->display, fresh->screen);
    const int freshDepth = DefaultDepth(fresh->display, fresh->screen);
    // The surfaces and the caller know the display by its format: it must not change.
    if (formatOf(fresh->display, freshVisual, freshDepth) != serverFormat) return false;
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
    if (!connection && ownsWindow() && serverFormat.ok() && !reconnect()) return 0;
    // Options first: a refused open leaves an open display as it was.
    if (!ok()) return 0;
    const int32_t offered = attached || role == Role::WINDOW ? WINDOW_OUTPUT : FULLSCREEN_OUTPUT;
    if (output == -1) output = offered;
    if (output != offered) return 0;
    if (second == -1) second = 0;
    if (third != -1 && third != THIRD_OPTION) return 0;
    if (width <= 0 || height <= 0 || width > largestSide || height > largestSide) return 0;
    close();
    displayWidth = width;
    displayHeight = height;
    outputOption = output;
    secondValue = second;
    if ((ownsWindow() && !createWindow(output == FULLSCREEN_OUTPUT, width, height)) ||
        !createDisplaySurfaces()) {
        close();
        return 0;
    }
    return 1;
}

void IX11::close() {
    destroyDisplaySurfaces();
    closeWindow();
    if (ownsWindow()) {
        displayWidth = displayHeight = 0;
        outputOption = secondValue = 0;
    }
}

bool IX11::createWindow(bool fullScreenWindow, int32_t width, int32_t height) {
    x11::Connection& c = *connection;
    Display* display = c.display;
    const int32_t windowWidth = fullScreenWindow ? DisplayWidth(display, c.screen) : width;
    const int32_t windowHeight = fullScreenWindow ? DisplayHeight(display, c.screen) : height;
    const bool managed = windowManagerRuns(display, c.root);

    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, c.screen); // around the shown display
    attributes.event_mask = KeyPressMask | ExposureMask | StructureNotifyMask;
    const Window window = XCreateWindow(
        display, c.root, 0, 0, unsigned(windowWidth), unsigned(windowHeight), 0, depth, InputOutput,
        static_cast<Visual*>(visual), CWBackPixel | CWEventMask, &attributes);
    if (!window) return false;
    XSetWMProtocols(display, window, &c.deleteWindow, 1);
    if (XSizeHints* hints = XAllocSizeHints()) {
        if (fullScreenWindow) {
            hints->flags = USPosition | PPosition;
        } else {
            // The display does not follow the window's size: the window keeps it.
            hints->flags = PMinSize | PMaxSize;
            hints->min_width = hints->max_width = windowWidth;
            hints->min_height = hints->max_height = windowHeight;
        }
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }
    char className[] = "PTC", instanceName[] = "ptc";
    XClassHint classHint{instanceName, className};
    XSetClassHint(display, window, &classHint);
    if (fullScreenWindow) {
        const Cursor cursor = invisibleCursor(display, window);
        XDefineCursor(display, window, cursor);
        XFreeCursor(display, cursor);
        if (managed) {
            Atom fullScreenState = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
            XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM,
                            32, PropModeReplace, reinterpret_cast<unsigned char*>(&fullScreenState),
                            1);
        }
    }
    storeTitle(display, window, title ? title : "");
    c.gc = XCreateGC(display, window, 0, nullptr);
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
        if (c.gc) XFreeGC(display, c.gc);
        c.gc = nullptr;
        c.window = 0;
        XDestroyWindow(display, window);
        XSync(display, False);
        return false;
    }
    XMapRaised(display, window);
    XFlush(display);
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

bool IX11::createDisplaySurfaces() {
    making = Making::PRIMARY;
    primary = new (std::nothrow)
        Surface(this, displayWidth, displayHeight, serverFormat, KIND_PRIMARY, -1, -1, -1);
    making = Making::NOTHING;
    staging = new (std::nothrow)
        Surface(this, displayWidth, displayHeight, serverFormat, KIND_MEMORY, TOP_DOWN, -1, -1);
    return primary && primary->ok() && staging && staging->ok();
}

void IX11::destroyDisplaySurfaces() {
    delete imageSurface;
    imageSurface = nullptr;
    delete staging;
    staging = nullptr;
    delete primary;
    primary = nullptr;
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
    delete imageSurface;
    imageSurface = nullptr;
    c.shown = false;
    if (!c.image.create(c.display, static_cast<Visual*>(visual), depth, wanted.width, wanted.height,
                        true))
        return false;
    c.placement = wanted;
    if (wanted.width != displayWidth || wanted.height != displayHeight) return true;
    // Shown at its own size: the conversion writes straight into the image.
    imagePixels = c.image.pixels();
    making = Making::IMAGE;
    imageSurface = new (std::nothrow)
        Surface(this, displayWidth, displayHeight, serverFormat, KIND_MEMORY, TOP_DOWN,
                c.image.pitch() - displayWidth * serverFormat.bytes, -1);
    making = Making::NOTHING;
    if (imageSurface && imageSurface->ok()) return true;
    delete imageSurface;
    imageSurface = nullptr;
    return false;
}

int IX11::present(Surface& source, const Rect& sourceArea, const Rect& destinationArea) {
    if (!connection) return 0;
    x11::Connection& c = *connection;
    if (ownsWindow()) c.endIfAsked();
    if (!c.window || c.gone || !staging) return 0;
    const Rect area(std::max(0, destinationArea.x1), std::max(0, destinationArea.y1),
                    std::min(displayWidth, destinationArea.x1 + sourceArea.width()),
                    std::min(displayHeight, destinationArea.y1 + sourceArea.height()));
    if (area.x2 <= area.x1 || area.y2 <= area.y1) return 1; // nothing to show is no failure
    {
        std::lock_guard paint(c.paintLock);
        if (!prepareImage()) return 0;
        // The server may still be reading the image for the last put.
        c.image.waitForServer();
        Surface& converted = imageSurface ? *imageSurface : *staging;
        if (!source.copy(converted, sourceArea, destinationArea, 0)) return 0;
        Rect shown = area;
        if (!imageSurface) {
            shown = x11::scaledArea(area, displayWidth, displayHeight, c.image.width(),
                                    c.image.height());
            auto* pixels = static_cast<uint8_t*>(staging->lock(1));
            if (!pixels) return 0;
            x11::scaleBlock({pixels, staging->pitch(), displayWidth, displayHeight},
                            {c.image.pixels(), c.image.pitch(), c.image.width(), c.image.height()},
                            shown, serverFormat.bytes, scaleColumns);
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

int IX11::readKey() {
    if (!connection || !ownsWindow() || !connection->window) return ISoftware::readKey();
    x11::Connection& c = *connection;
    for (;;) {
        c.endIfAsked();
        std::unique_lock hold(c.keyLock);
        int32_t value = 0;
        if (c.keys.pop(value)) return value;
        c.keyArrived.wait_for(hold, keyWaitStep);
    }
}

int IX11::keyPressed() {
    if (!connection || !ownsWindow() || !connection->window) return ISoftware::keyPressed();
    connection->endIfAsked();
    std::lock_guard hold(connection->keyLock);
    return connection->keys.empty() ? 0 : 1;
}

int IX11::setTitle(const char* text) {
    if (!text) return 0;
    const size_t length = std::strlen(text);
    char* copy = new (std::nothrow) char[length + 1];
    if (!copy) return 0;
    std::memcpy(copy, text, length + 1);
    delete[] title;
    title = copy;
    if (!connection || !ownsWindow() || !connection->window) return 0;
    storeTitle(connection->display, connection->window, title);
    return 1;
}

int IX11::getTitle(char* buffer) {
    if (!buffer) return 0;
    const char* text = title ? title : "";
    std::memcpy(buffer, text, std::strlen(text) + 1);
    return 1;
}

void IX11::name(char* buffer) {
    std::memcpy(buffer, BACK_END_NAME, sizeof(BACK_END_NAME));
}
