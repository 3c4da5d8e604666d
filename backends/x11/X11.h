#pragma once
#include "backends/Software.h"
#include "display/List.h"
#include "display/MODE.h"
#include "display/Rect.h"
#include "format/Format.h"

#include <cstdint>
#include <memory>
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
// none comes within a second; either way with _exit after flushing stdio, so no static
// destructor runs under another thread's feet. A lost connection ends the process with a
// message on standard error and status 1.
class IX11 : public ISoftware {
  public:
    // The output a back end made without a window offers (the factory's two candidates).
    enum class Role { FULL_SCREEN, WINDOW };

    // The display's own surface. It has no pixels: copies into it are presentations.
    class PRIMARY : public PresentingSurface {
      public:
        explicit PRIMARY(IX11* display) : owner(display) {}
        int valid() override { return owner ? 1 : 0; }

      protected:
        Surface* display() override { return owner ? owner->primary : nullptr; }
        int present(Surface& source, const Rect& sourceRect, const Rect& destinationRect) override {
            return owner->present(source, sourceRect, destinationRect);
        }

      private:
        IX11* owner;
    };

    // role: the output offered when making windows. window: a caller's window to draw into at
    // its size, or null. ok() is 0 when no X server answers, its visual is not 16 to 32 bits of
    // direct colour, or the caller's window does not exist.
    IX11(Role role, WindowHandle window);
    ~IX11() override;

    int getModes(List<MODE>& modes) override;
    // Mode codes FUZZY8/16/32 and DIRECT, or the id of the server's format.
    int open(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t secondOption,
             int32_t thirdOption) override;
    // Only the server's format.
    int openFormat(int32_t width, int32_t height, const Format& format, int32_t output,
                   int32_t secondOption, int32_t thirdOption) override;
    Surface* displaySurface() override { return primary; }
    // A window of its own: blocks until a key is queued, returns 1. Otherwise the console.
    int readKey() override;
    // A window of its own: whether a key is queued; never blocks or takes a key.
    int keyPressed() override;
    int setTitle(const char* title) override;
    int getTitle(char* buffer) override;
    int nativeType() override { return NATIVE_XLIB; }
    void* nativeData() override { return &nativeDisplay; }
    void name(char* buffer) override;
    int width() override { return displayWidth; }
    int height() override { return displayHeight; }
    int bits() override { return serverFormat.bits; }
    int bytes() override { return serverFormat.bytes; }
    int output() override { return outputOption; }
    int secondOption() override { return secondValue; }
    int thirdOption() override { return THIRD_OPTION; }
    Format format() override { return serverFormat; }
    WindowHandle window() override;
    int ok() override;
    ::SURFACE* createSurface(int32_t& width, int32_t& height, Format& format, int32_t& kind,
                             int32_t& orientation, int32_t& advance, int32_t& variant) override;

    // Closes a window of its own and drops the display surface; a caller's window stays. When
    // the window's event thread does not end within its limit, the window and the connection
    // are left to it (they go when it ends), ok() is 0 and the next open makes a new connection.
    void close();

    // Converts the source area into the server's format, scales it to the window and puts it
    // there. Non-zero on success.
    int present(Surface& source, const Rect& sourceArea, const Rect& destinationArea);

    // The default screen's root window of the server DISPLAY names, or null.
    static WindowHandle rootWindow();
    // Whether the server DISPLAY names has this window.
    enum class Presence { EXISTS, MISSING, NO_SERVER };
    static Presence windowPresence(WindowHandle window);

  private:
    int openDisplay(int32_t width, int32_t height, int32_t output, int32_t second, int32_t third);
    // A new connection in place of one left to an event thread that did not stop.
    bool reconnect();
    bool attach(unsigned long window);
    bool createWindow(bool fullScreen, int32_t width, int32_t height);
    void closeWindow();
    bool createDisplaySurfaces();
    void destroyDisplaySurfaces();
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
    Format serverFormat;
    int32_t displayWidth = 0, displayHeight = 0;
    int32_t outputOption = 0, secondValue = 0;
    char* title = nullptr;
    Surface* primary = nullptr;      // owned
    Surface* staging = nullptr;      // owned: the display in the server's format, when scaled
    Surface* imageSurface = nullptr; // owned: the image's own pixels, when not scaled
    enum class Making { NOTHING, PRIMARY, IMAGE } making = Making::NOTHING;
    uint8_t* imagePixels = nullptr; // what imageSurface is made over
    int32_t okFlag = 0;

    std::vector<int32_t> scaleColumns; // scaleBlock's scratch, under paintLock
};
