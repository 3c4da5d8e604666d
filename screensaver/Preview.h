#pragma once
#include "platform/Platform.h"
#include "screensaver/Screensaver.h"

#include <cstdint>

// Class name of the preview's window, a child of the window given on the command line.
constexpr const char previewClassName[] = "KELMOR_PREVIEW";

// About 30 frames a second: the motion comes from the clock, and the settings page the preview
// sits in must stay responsive.
constexpr uint32_t previewFramePeriod = 33; // milliseconds

// The screensaver's small picture in the settings page: frames of 320x200 scaled into a child
// window that fills parent's client area, drawn by the window back end into a window it did not
// create. Never changes the display mode, loads DirectDraw or takes the focus; shows nothing
// but the frames, so frames should report their failures quietly.
// 0 once parent or the child window is destroyed or the child is sent WM_CLOSE, and at once
// when parent is no window; 1 when the child window, the display or the frames fail.
int runPreview(Frames& frames, WindowHandle parent);
