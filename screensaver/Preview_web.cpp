#include "screensaver/Preview.h"

// A page holds no other program's windows to draw into.
int runPreview(Frames&, WindowHandle) {
    return 1;
}
