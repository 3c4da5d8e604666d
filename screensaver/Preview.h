#pragma once
#include "platform/Platform.h"
#include "screensaver/Screensaver.h"

#include <cstdint>

// Class name of the Windows preview's window, a child of the window given on the command line.
constexpr const char previewClassName[] = "KELMOR_PREVIEW";

// About 30 frames a second: the motion comes from the clock, and the settings page the preview
// sits in must stay responsive.
constexpr uint32_t previewFramePeriod = 33; // milliseconds

// The screensaver drawn into a window another program made: frames of 320x200 scaled to the
// window, about 30 a second, until it goes. Never changes the display mode or takes the focus.
//
// On Windows it is the settings page's small picture: a child window that fills parent's client
// area, drawn by the window back end; it shows nothing but the frames, so frames should report
// their failures quietly. 0 once parent or the child window is destroyed or the child is sent
// WM_CLOSE, and at once when parent is no window; 1 when the child window, the display or the
// frames fail.
//
// Natively it is XScreenSaver's window (or the root window), drawn into directly. 0 once that
// window is destroyed or the process gets SIGTERM or SIGINT; 1, with the message on standard
// error, when the display cannot be opened in it or the frames fail.
int runPreview(Frames& frames, WindowHandle parent);

// The window the paced frames draw into, as they see it.
class PreviewWindow {
  public:
    virtual ~PreviewWindow() = default;
    // Whether it went, or the program was asked to end.
    virtual bool gone() = 0;
    // Waits this long, or less when it goes meanwhile.
    virtual void wait(uint32_t milliseconds) = 0;
};

// Sets frames up on the open display, draws one every previewFramePeriod until window goes, then
// tears them down. 0 once it went; 1 when the set-up or a frame fails.
int drawPaced(Frames& frames, PTC& display, PreviewWindow& window);
