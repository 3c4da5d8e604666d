#include "backends/x11/Image.h"

#include "backends/x11/Errors.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>

namespace x11 {

bool ServerImage::create(Display* server, Visual* visual, int depth, int32_t width, int32_t height,
                         bool shared) {
    release();
    if (!server || width <= 0 || height <= 0) return false;
    display = server;
    if (shared && XShmQueryExtension(display) && createShared(visual, depth, width, height))
        return true;
    return createPlain(visual, depth, width, height);
}

bool ServerImage::createShared(Visual* visual, int depth, int32_t width, int32_t height) {
    XImage* made = XShmCreateImage(display, visual, unsigned(depth), ZPixmap, nullptr, &segment,
                                   unsigned(width), unsigned(height));
    if (!made) return false;
    const size_t size = size_t(made->bytes_per_line) * size_t(made->height);
    segment.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    void* address = segment.shmid >= 0 ? shmat(segment.shmid, nullptr, 0) : nullptr;
    if (address == reinterpret_cast<void*>(-1)) address = nullptr;
    // Marked for removal as soon as this process holds it, before any round trip to the server:
    // the segment goes when both sides have let it go, even if this process is killed meanwhile.
    // Linux lets the server still attach a marked segment while this process holds it; a system
    // that does not makes the attach below fail, and the image falls back to plain memory.
    if (segment.shmid >= 0) shmctl(segment.shmid, IPC_RMID, nullptr);
    bool attached = false;
    if (address) {
        segment.shmaddr = made->data = static_cast<char*>(address);
        segment.readOnly = False;
        takeErrors(display);
        // A server on another machine cannot reach the segment; it says so with an error.
        attached = XShmAttach(display, &segment) && takeErrors(display) == 0;
    }
    if (!attached) {
        if (address) shmdt(address);
        made->data = nullptr;
        XDestroyImage(made);
        segment = {};
        return false;
    }
    image = made;
    return true;
}

bool ServerImage::createPlain(Visual* visual, int depth, int32_t width, int32_t height) {
    XImage* made = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr,
                                unsigned(width), unsigned(height), 32, 0);
    if (!made) return false;
    made->data =
        static_cast<char*>(std::calloc(size_t(made->bytes_per_line) * size_t(made->height), 1));
    if (!made->data) {
        XDestroyImage(made);
        return false;
    }
    // The pixels are written in this machine's byte order; Xlib reorders them for a server of
    // the other order as it sends them.
    made->byte_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
    image = made;
    return true;
}

void ServerImage::release() {
    if (!image) return;
    if (isShared()) {
        XShmDetach(display, &segment);
        // The server lets the segment go before this process does, so none outlives both.
        XSync(display, False);
        shmdt(segment.shmaddr);
        image->data = nullptr;
        segment = {};
    }
    XDestroyImage(image); // frees the plain image's pixels
    image = nullptr;
    putPending = false;
}

void ServerImage::put(Drawable drawable, GC gc, int32_t x, int32_t y, int32_t toX, int32_t toY,
                      int32_t width, int32_t height) {
    if (!image || width <= 0 || height <= 0) return;
    if (isShared()) {
        XShmPutImage(display, drawable, gc, image, x, y, toX, toY, unsigned(width),
                     unsigned(height), False);
        putPending = true;
    } else {
        // Xlib copies the pixels into its request: the image is free again at once.
        XPutImage(display, drawable, gc, image, x, y, toX, toY, unsigned(width), unsigned(height));
    }
    XFlush(display);
}

void ServerImage::waitForServer() {
    if (!putPending) return;
    XSync(display, False);
    putPending = false;
}

} // namespace x11
