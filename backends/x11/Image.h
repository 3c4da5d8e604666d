#pragma once
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>

namespace x11 {

// An image in the server's pixel layout that the back end writes into and puts into a window:
// in memory shared with the server (MIT-SHM), where the server offers it and can reach this
// process's memory, else in this process's memory, sent with every put.
class ServerImage {
  public:
    ServerImage() = default;
    ~ServerImage() { release(); }
    ServerImage(const ServerImage&) = delete;
    ServerImage& operator=(const ServerImage&) = delete;

    // Makes a width x height image; shared memory is tried first when shared is true. False,
    // with no image, when neither can be had.
    bool create(Display* display, Visual* visual, int depth, int32_t width, int32_t height,
                bool shared);
    void release();

    bool ok() const { return image != nullptr; }
    bool isShared() const { return segment.shmaddr != nullptr; }
    int32_t width() const { return image ? image->width : 0; }
    int32_t height() const { return image ? image->height : 0; }
    int32_t pitch() const { return image ? image->bytes_per_line : 0; }
    // Row 0. Write only after waitForServer: the server may still be reading a put.
    uint8_t* pixels() const { return image ? reinterpret_cast<uint8_t*>(image->data) : nullptr; }

    // Puts width x height pixels from (x, y) of the image at (toX, toY) of drawable.
    void put(Drawable drawable, GC gc, int32_t x, int32_t y, int32_t toX, int32_t toY,
             int32_t width, int32_t height);
    // Returns once the server has read every shared put made so far.
    void waitForServer();

  private:
    bool createShared(Visual* visual, int depth, int32_t width, int32_t height);
    bool createPlain(Visual* visual, int depth, int32_t width, int32_t height);

    Display* display = nullptr;
    XImage* image = nullptr;
    XShmSegmentInfo segment{};
    bool putPending = false;
};

} // namespace x11
