#pragma once
#include "backends/Windowed.h"
#include "display/List.h"
#include "display/MODE.h"
#include "display/Rect.h"
#include "format/Format.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class Surface;

namespace x11 {
class Connection;
}

// The X11 back end: displays in a window of its own, full screen or not, or in a window another
// program made (an X window id carried in the window handle, see Platform.h). The display has
// the server's pixel format; copies into the display surface convert into an image in that
// format, scale it when the window shows it larger, and put it into the window, through shared
// memory where the server offers it.
//
// Full screen is a borderless window over the whole screen (X has no display modes to change):
// the display keeps the size asked for and shows at the largest whole scale that fits, centred
// on black. In a window of its own the display shows at its size; in a caller's window it is
// stretched over the whole window.
//
// A thread per window reads its events: keys are queued, exposures repainted from the last
// presented image, a window destroyed by its owner makes ok() 0. When the window manager asks a
// window of its own to close, the process ends with status 0: at the application thread's next
// call into the back end (keyPressed, readKey, a presentation), or from the event thread when
// none comes within a second (IWindowed's close policy); either way without running a static
// destructor under another thread's feet. A lost connection ends the process with a message on
// standard error and status 1.
class IX11 : public IWindowed {
  public:
    // The output a back end made without a window offers (the factory's two candidates).
    enum class Role { FULL_SCREEN, WINDOW };

    // role: the output offered when making windows. window: a caller's window to draw into at
    // its size, or null. ok() is 0 when no X server answers, its visual is not 16 to 32 bits of
    // direct colour, or the caller's window does not exist.
    IX11(Role role, WindowHandle window);
    ~IX11() override;

    int getModes(List<MODE>& modes) override;
    int nativeType() override { return NATIVE_XLIB; }
    void* nativeData() override { return &nativeDisplay; }
    void name(char* buffer) override;
    WindowHandle window() override;
    int ok() override;

    // Closes a window of its own and drops the display surface; a caller's window stays. When
    // the window's event thread does not end within its limit, the window and the connection
    // are left to it (they go when it ends), ok() is 0 and the next open makes a new connection.
    void close();

    // The default screen's root window of the server DISPLAY names, or null.
    static WindowHandle rootWindow();
    // Whether the server DISPLAY names has this window.
    enum class Presence { EXISTS, MISSING, NO_SERVER };
    static Presence windowPresence(WindowHandle window);

  protected:
    // In the server's format (the codes and format of IWindowed::open).
    int openDisplay(int32_t width, int32_t height, int32_t output, int32_t second,
                    int32_t third) override;
    bool readsWindowKeys() override;
    int showTitle(const char* text) override;
    // The image's own pixels while the image surface is made.
    ::SURFACE* createNativeSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                                   int32_t& orientation, int32_t& advance,
                                   int32_t& variant) override;
    // Under paintLock from begin to finish: the image is made to match where the display shows
    // now, and the conversion goes straight into it when it shows at the display's size, else
    // into the staging surface, which finish scales into the image. Then the image is put.
    Surface* beginPresentation(Surface& source, const Rect& sourceArea, const Rect& destinationArea,
                               int& result) override;
    int finishPresentation(Surface& shown, const Rect& shownArea,
                           const Rect& destinationArea) override;
    void cancelPresentation() override;

  private:
    // A new connection in place of one left to an event thread that did not stop.
    bool reconnect();
    bool attach(unsigned long window);
    bool createWindow(bool fullScreen, int32_t width, int32_t height);
    void closeWindow();
    // Under paintLock: makes the image match where the display shows now; false when it
    // cannot be had.
    bool prepareImage();
    bool ownsWindow() const { return !attached; }

    Role role;
    bool attached = false;
    std::shared_ptr<x11::Connection> connection;
    void* nativeDisplay = nullptr;
    void* visual = nullptr; // the window's Visual
    int depth = 0;
    // The image's own pixels, when it shows at the display's size; else the staging surface
    // holds the display in the server's format.
    std::unique_ptr<Surface> imageSurface;
    uint8_t* imagePixels = nullptr;          // what imageSurface is made over, while it is made
    std::unique_lock<std::mutex> presenting; // paintLock, from begin to finish of a presentation
    Rect presentedArea;                      // the part of the display the presentation shows

    std::vector<int32_t> scaleColumns; // scaleBlock's scratch, under paintLock
};
